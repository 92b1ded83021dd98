// The journal tab as the operator uses it: rows from the journal, filters, the exchange's exact
// bytes, the export and the package-status request, all through the real controls.
#include "ModalHandler.h"
#include "ScriptedDialogs.h"
#include "support/PrintQt.h"

#include "app/JournalTab.h"
#include "foundation/KeyValueFile.h"
#include "journal/Journal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QByteArray Request =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<soap:Envelope "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><a><b>Б</b></a>"
    "</soap:Body></soap:Envelope>";

qint64 Record(Journal& journal, const QString& operation, ExchangeOutcome outcome, const QString& bill,
              const QString& package)
{
    ExchangeStart start;
    start.operation = operation;
    start.request = Request;
    start.identifiers.supplierBillId = bill;
    start.identifiers.amountKopecks = bill.isEmpty() ? std::nullopt : std::optional<qint64>(123450);
    const qint64 id = journal.begin(start);
    ExchangeEnd end;
    end.outcome = outcome;
    end.reply = "not XML at all";
    end.identifiers.packageId = package;
    journal.complete(id, end);
    return id;
}

// A control of the tab, found by its name as the operator's tools see it.
template <class Control> Control* Find(const JournalTab& tab, const char* name)
{
    auto* control = tab.findChild<Control*>(QLatin1String(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

QStringList Column(const JournalTab& tab, int column)
{
    QStringList texts;
    const QAbstractItemModel* model = Find<QTableView>(tab, "tvJournal")->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, column).data().toString();
    return texts;
}

void SelectRow(JournalTab& tab, int row)
{
    Find<QTableView>(tab, "tvJournal")->selectRow(row);
}

} // namespace

TEST(JournalTab, ShowsFiltersOpensAndExports)
{
    QTemporaryDir dir;
    Journal journal(dir.path());
    for (int i = 0; i < 150; ++i)
        Record(journal, QStringLiteral("charges"), ExchangeOutcome::accepted, {}, {});
    const qint64 unknown = Record(journal, QStringLiteral("payment"), ExchangeOutcome::unknown,
                                  QStringLiteral("18810000000000000002"), {});
    Record(journal, QStringLiteral("payment"), ExchangeOutcome::accepted,
           QStringLiteral("18810000000000000001"), QStringLiteral("pkg-1"));

    ScriptedDialogs dialogs;
    // The tab asks the window it sits in for its dialogs.
    struct Host final : QWidget, DialogsOwner {
        explicit Host(IDialogs& dialogs) : dialogs_(dialogs) {}
        IDialogs& dialogs() const override { return dialogs_; }
        IDialogs& dialogs_;
    } host(dialogs);
    JournalTab tab(&host);
    tab.setJournal(&journal);
    host.show();
    EXPECT_EQ(tab.objectName(), u"tsJournal");

    // Newest first, one page fetched; the unknown payment looks unlike the rows around it.
    const QAbstractItemModel* model = Find<QTableView>(tab, "tvJournal")->model();
    EXPECT_EQ(model->rowCount(), 100);
    EXPECT_EQ(
        Column(tab, 3).mid(0, 3),
        (QStringList{QStringLiteral("18810000000000000001"), QStringLiteral("18810000000000000002"), {}}));
    EXPECT_EQ(model->index(0, 4).data().toString(), u"1234.50");
    const QVariant unknownColour = model->index(1, 0).data(Qt::BackgroundRole);
    EXPECT_TRUE(unknownColour.isValid());
    EXPECT_NE(unknownColour, model->index(0, 0).data(Qt::BackgroundRole));
    EXPECT_NE(unknownColour, model->index(2, 0).data(Qt::BackgroundRole));
    EXPECT_FALSE(Find<QLabel>(tab, "laUnknown")->text().isEmpty());
    Find<QTableView>(tab, "tvJournal")->scrollToBottom();
    EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount() == 152; }, 5000)) << model->rowCount();

    // The status request only for a payment with a package.
    QSignalSpy statusRequests(&tab, &JournalTab::packageStatusRequested);
    SelectRow(tab, 1);
    EXPECT_FALSE(Find<QPushButton>(tab, "buJournalStatus")->isEnabled());
    SelectRow(tab, 0);
    QTest::mouseClick(Find<QPushButton>(tab, "buJournalStatus"), Qt::LeftButton);
    ASSERT_EQ(statusRequests.size(), 1);
    EXPECT_EQ(statusRequests[0][0].toString(), u"pkg-1");

    auto* outcome = Find<QComboBox>(tab, "cbOutcome");
    outcome->setCurrentIndex(outcome->findData(QStringLiteral("unknown")));
    EXPECT_EQ(Column(tab, 3), QStringList{QStringLiteral("18810000000000000002")});
    outcome->setCurrentIndex(0);
    Find<QLineEdit>(tab, "edSearch")->setText(QStringLiteral("PKG-1"));
    QTest::mouseClick(Find<QPushButton>(tab, "buFind"), Qt::LeftButton);
    EXPECT_EQ(Column(tab, 3), QStringList{QStringLiteral("18810000000000000001")});

    // «Открыть»: the request indented, the reply that is no XML as it came, the exact bytes saved.
    const QString saved = dir.filePath(QStringLiteral("request.xml"));
    dialogs.answerFile(saved);
    QString requestShown;
    QString replyShown;
    ModalHandler open([&](QWidget* dialog) {
        requestShown = dialog->findChild<QPlainTextEdit*>(QStringLiteral("mmRequest"))->toPlainText();
        replyShown = dialog->findChild<QPlainTextEdit*>(QStringLiteral("mmReply"))->toPlainText();
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("buSaveRequest")), Qt::LeftButton);
        dialog->close();
    });
    SelectRow(tab, 0);
    QTest::mouseClick(Find<QPushButton>(tab, "buOpen"), Qt::LeftButton);
    ASSERT_TRUE(open.done());
    EXPECT_TRUE(requestShown.contains(u"\n  <soap:Body>\n    <a>\n      <b>Б</b>"))
        << requestShown.toStdString();
    EXPECT_EQ(replyShown, u"not XML at all");
    EXPECT_EQ(ReadFileBytes(saved), Request);

    // «Экспорт…» writes what the filters show.
    Find<QLineEdit>(tab, "edSearch")->clear();
    auto* operation = Find<QComboBox>(tab, "cbOperation");
    operation->setCurrentIndex(operation->findData(QStringLiteral("payment")));
    const QString csv = dir.filePath(QStringLiteral("journal.csv"));
    dialogs.answerFile(csv);
    QTest::mouseClick(Find<QPushButton>(tab, "buExport"), Qt::LeftButton);
    const QByteArray exported = ReadFileBytes(csv);
    EXPECT_TRUE(exported.startsWith("\xEF\xBB\xBF")) << exported.left(20).toStdString();
    const QList<QByteArray> lines = exported.split('\n');
    ASSERT_EQ(lines.size(), 4) << exported.toStdString(); // a heading, two payments, the end
    EXPECT_TRUE(lines[2].startsWith('"' + QByteArray::number(unknown) + "\";")) << lines[2].toStdString();
}
