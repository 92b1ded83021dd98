// The field files of the four data tabs, through the real window and its buttons: what is written,
// what comes back, files written by hand, failures, and start-up from the current folder.
#include "PressButton.h"
#include "ScriptedDialogs.h"
#include "TestWindow.h"

#include "support/FileSizeLimit.h"
#include "support/ReadOnlyFolder.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

namespace {

using Kind = ScriptedDialogs::Kind;

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void PutFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray Cp1251(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// The start-up of every window reads the current folder, so each test gets an empty one.
class FieldFiles : public ::testing::Test {
  protected:
    FieldFiles() : FOldFolder(QDir::currentPath()) { QDir::setCurrent(FFolder.path()); }
    ~FieldFiles() override { QDir::setCurrent(FOldFolder); }

    QString Path(const QString& name) const { return FFolder.filePath(name); }

    TestWindow& Window()
    {
        if (!FWindow)
            FWindow = std::make_unique<TestWindow>(TestWindowSetup().dialogs(dialogs));
        return *FWindow;
    }

    void Press(const char* button) { PressButton(Window(), QLatin1String(button)); }

    // Opens `bytes` as a field file with the tab's open button.
    void Open(const char* button, const QByteArray& bytes)
    {
        PutFile(Path(QStringLiteral("opened.txt")), bytes);
        dialogs.answerFile(Path(QStringLiteral("opened.txt")));
        Press(button);
    }

    // Saves with the tab's save button and returns the file.
    QByteArray Save(const char* button, const QString& name = QStringLiteral("saved.txt"))
    {
        dialogs.answerFile(Path(name));
        Press(button);
        return FileBytes(Path(name));
    }

    QLineEdit* Edit(const char* name) { return Window().control<QLineEdit>(QLatin1String(name)); }
    QComboBox* Combo(const char* name) { return Window().control<QComboBox>(QLatin1String(name)); }
    QPlainTextEdit* Memo(const char* name) { return Window().control<QPlainTextEdit>(QLatin1String(name)); }

    QStringList Errors() const
    {
        QStringList texts;
        for (const auto& shown : dialogs.shown(Kind::Error))
            texts << shown.text;
        return texts;
    }
    std::string ErrorsShown() const { return Errors().join(u'|').toStdString(); }

    QTemporaryDir FFolder;
    QString FOldFolder;
    ScriptedDialogs dialogs;
    std::unique_ptr<TestWindow> FWindow;
};

// Every field of a tab, found on the tab itself, so a field the file forgets shows up.
struct TTabFields {
    QList<QLineEdit*> edits;
    QList<QPlainTextEdit*> memos;
    QList<QComboBox*> editableCombos;
    QList<QComboBox*> fixedLists;
};

TTabFields FieldsOf(QWidget* tab)
{
    TTabFields fields;
    for (auto* edit : tab->findChildren<QLineEdit*>())
        if (edit->objectName().startsWith(QStringLiteral("ed")))
            fields.edits << edit;
    for (auto* memo : tab->findChildren<QPlainTextEdit*>())
        fields.memos << memo;
    for (auto* combo : tab->findChildren<QComboBox*>())
        (combo->isEditable() ? fields.editableCombos : fields.fixedLists) << combo;
    return fields;
}

// What the test types into a tab, and the check that it all came back.
struct TTabState {
    QMap<QString, QString> texts;
    QMap<QString, int> indexes;
};

TTabState FillEverything(const TTabFields& fields)
{
    TTabState state;
    int day = 0;
    for (auto* edit : fields.edits) {
        // Dates have to be dates: the payment and order files propose names made from them.
        if (edit->objectName().contains(QStringLiteral("Date")))
            edit->setText(QStringLiteral("%1.02.2016").arg(++day, 2, 10, QChar(u'0')));
        else
            edit->setText(QStringLiteral("ё ") + edit->objectName() + QStringLiteral(" = x"));
        state.texts[edit->objectName()] = edit->text();
    }
    for (auto* memo : fields.memos) {
        memo->setPlainText(QStringLiteral("первая ") + memo->objectName() +
                           QStringLiteral("\nвторая=2\n#тре"));
        state.texts[memo->objectName()] = memo->toPlainText();
    }
    for (auto* combo : fields.editableCombos) {
        combo->setEditText(QStringLiteral("набрано ") + combo->objectName());
        state.texts[combo->objectName()] = combo->currentText();
    }
    // The last item: never the default of any list.
    for (auto* combo : fields.fixedLists) {
        combo->setCurrentIndex(combo->count() - 1);
        state.indexes[combo->objectName()] = combo->currentIndex();
    }
    return state;
}

void ExpectState(const TTabFields& fields, const TTabState& state)
{
    for (auto* edit : fields.edits)
        EXPECT_EQ(edit->text().toStdString(), state.texts[edit->objectName()].toStdString());
    for (auto* memo : fields.memos)
        EXPECT_EQ(memo->toPlainText().toStdString(), state.texts[memo->objectName()].toStdString());
    for (auto* combo : fields.editableCombos)
        EXPECT_EQ(combo->currentText().toStdString(), state.texts[combo->objectName()].toStdString());
    for (auto* combo : fields.fixedLists)
        EXPECT_EQ(combo->currentIndex(), state.indexes[combo->objectName()])
            << combo->objectName().toStdString();
}

bool InTabOrder(QWidget* control)
{
    return control->focusPolicy() & Qt::TabFocus;
}

} // namespace

TEST_F(FieldFiles, EveryFieldOfEveryTabComesBackThroughItsFile)
{
    const struct {
        const char* tab;
        const char* save;
        const char* open;
        const char* clear;
    } tabs[] = {
        {"tsGISGMPPayment", "buPaymentSave", "buPaymentOpen", "buPaymentClear"},
        {"tsGISGMPCharges", "buChargeSave", "buChargeOpen", "buChargeClear"},
        {"tsGISGKXPayment", "buOrderSave", "buOrderOpen", "buOrderClear"},
        {"tsGISGKXCharges", "buDocumentDetailsSave", "buDocumentDetailsOpen", "buDocumentDetailsClear"},
    };
    for (const auto& t : tabs) {
        SCOPED_TRACE(t.tab);
        const TTabFields fields = FieldsOf(Window().control<QWidget>(QLatin1String(t.tab)));
        ASSERT_FALSE(fields.edits.isEmpty());
        const TTabState state = FillEverything(fields);
        const QString path = Path(QLatin1String(t.tab) + QStringLiteral(".txt"));
        dialogs.answerFile(path);
        Press(t.save);
        EXPECT_EQ(Window().status().toStdString(), ("Данные записаны в файл " + path).toStdString())
            << ErrorsShown();

        Press(t.clear);
        for (auto* edit : fields.edits)
            EXPECT_TRUE(edit->text().isEmpty()) << edit->objectName().toStdString();
        for (auto* memo : fields.memos)
            EXPECT_TRUE(memo->toPlainText().isEmpty()) << memo->objectName().toStdString();
        EXPECT_TRUE(Window().status().isEmpty());

        dialogs.answerFile(path);
        Press(t.open);
        ExpectState(fields, state);
    }
    EXPECT_EQ(ErrorsShown(), "");
}

TEST_F(FieldFiles, ChargeFileHoldsTheKeysThenTheResultText)
{
    Combo("cbChargeSearchType")->setCurrentIndex(2);
    Edit("edSupplierBillID")->setText(QStringLiteral("18810"));
    Edit("edPayerIdentifiers")->setText(QStringLiteral("A;B"));
    Combo("cbChargeKind")->setCurrentIndex(3);
    Memo("mmCharges")->setPlainText(QStringLiteral("\n\nПлательщик=Иванов\nСумма=10\n\n"));
    // The keys, one empty line, then the memo as it stands.
    EXPECT_EQ(Save("buChargeSave").toHex(' ').toStdString(),
              (QByteArray("SearchType=2\r\nSupplierBillID=18810\r\nPayerIdentifiers=A;B\r\n"
                          "ChargeKind=3\r\n\r\n\r\n\r\n") +
               QByteArray::fromHex("cfebe0f2e5ebfcf9e8ea") + "=" + Cp1251("c8e2e0edeee2") + "\r\n" +
               Cp1251("d1f3ecece0") + "=10\r\n\r\n\r\n")
                  .toHex(' ')
                  .toStdString());

    // Blank lines around the result text do not survive the way through the file.
    Press("buChargeClear");
    EXPECT_TRUE(Memo("mmCharges")->toPlainText().isEmpty());
    dialogs.answerFile(Path(QStringLiteral("saved.txt")));
    Press("buChargeOpen");
    EXPECT_EQ(Memo("mmCharges")->toPlainText(), QStringLiteral("Плательщик=Иванов\nСумма=10"));

    // An empty memo leaves no tail, and opening such a file empties the memo.
    Memo("mmCharges")->setPlainText(QStringLiteral("  \n \n"));
    EXPECT_EQ(Save("buChargeSave", QStringLiteral("notail.txt")),
              QByteArray("SearchType=2\r\nSupplierBillID=18810\r\nPayerIdentifiers=A;B\r\nChargeKind=3\r\n"));
    Memo("mmCharges")->setPlainText(QStringLiteral("old result"));
    dialogs.answerFile(Path(QStringLiteral("notail.txt")));
    Press("buChargeOpen");
    EXPECT_TRUE(Memo("mmCharges")->toPlainText().isEmpty());
    EXPECT_EQ(ErrorsShown(), "");
}

TEST_F(FieldFiles, ChargeFileWrittenByHand)
{
    // An unknown search type position and a file without an empty line.
    Memo("mmCharges")->setPlainText(QStringLiteral("old result"));
    Open("buChargeOpen", "SearchType=9\r\nChargeKind=-1\r\nnot a key line\r\n");
    EXPECT_EQ(Combo("cbChargeSearchType")->currentIndex(), 1);
    EXPECT_EQ(Combo("cbChargeKind")->currentIndex(), -1);
    EXPECT_TRUE(Memo("mmCharges")->toPlainText().isEmpty());
    // The dependent fields follow the search type read: position 1 searches by bill identifier.
    EXPECT_TRUE(InTabOrder(Edit("edSupplierBillID")));
    EXPECT_FALSE(InTabOrder(Edit("edPayerIdentifiers")));

    Open("buChargeOpen", "chargekind=2\nSEARCHTYPE=2\n\n  tail with LF only\nsecond\n");
    EXPECT_EQ(Combo("cbChargeSearchType")->currentIndex(), 2);
    EXPECT_EQ(Combo("cbChargeKind")->currentIndex(), 2);
    EXPECT_EQ(Memo("mmCharges")->toPlainText(), QStringLiteral("tail with LF only\nsecond"));
    EXPECT_FALSE(InTabOrder(Edit("edSupplierBillID")));
    EXPECT_TRUE(InTabOrder(Edit("edPayerIdentifiers")));

    // Without the key, the default position.
    Open("buChargeOpen", "SupplierBillID=1\r\n");
    EXPECT_EQ(Combo("cbChargeSearchType")->currentIndex(), 1);
    EXPECT_EQ(Combo("cbChargeKind")->currentIndex(), 0);
    EXPECT_EQ(ErrorsShown(), "");
}

TEST_F(FieldFiles, PaymentFileLinesAndSelections)
{
    // Typed as the operator does: a non-breaking space, and a line broken with Shift+Enter.
    QPlainTextEdit* narrative = Memo("mmNarrative");
    narrative->setPlainText(QStringLiteral("a\u00A0b"));
    narrative->moveCursor(QTextCursor::End);
    QTest::keyClick(narrative, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(narrative, QStringLiteral("c"));
    Combo("cbChangeStatus")->setCurrentIndex(1);
    Combo("cbPaytCondition")->setCurrentIndex(0);
    Combo("cbSupplierBillID")->setEditText(QStringLiteral("18810000000000000001"));
    Edit("edPackage")->setText(QStringLiteral("pkg"));
    const QStringList lines =
        QString::fromLatin1(Save("buPaymentSave", QStringLiteral("Pay.txt"))).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 44) << "43 lines, each ended by CR LF";
    EXPECT_EQ(lines.first(), QStringLiteral("SupplierBillID=18810000000000000001"));
    EXPECT_EQ(lines[42], QStringLiteral("PackageID=pkg"));
    EXPECT_EQ(lines.last(), QString());
    EXPECT_TRUE(lines.contains(QStringLiteral("Narrative=a\u00A0b#13#10c")));
    EXPECT_TRUE(lines.contains(QStringLiteral("ChangeStatus=2")));
    EXPECT_TRUE(lines.contains(QStringLiteral("PaytCondition=")));

    // Read back: the code selects; 0 is a position; a code no item has and no position leaves none.
    const struct {
        QByteArray value;
        int index;
    } statuses[] = {{"2", 1}, {"0", 0}, {"3", 2}, {"7", -1}, {"", -1}, {"abc", -1}};
    for (const auto& s : statuses) {
        SCOPED_TRACE(s.value.toStdString());
        Combo("cbChangeStatus")->setCurrentIndex(2);
        Open("buPaymentOpen", "ChangeStatus=" + s.value + "\r\n");
        EXPECT_EQ(Combo("cbChangeStatus")->currentIndex(), s.index);
    }
    Combo("cbPaytCondition")->setCurrentIndex(1);
    Open("buPaymentOpen", "PaytCondition=\r\n");
    EXPECT_EQ(Combo("cbPaytCondition")->currentIndex(), -1);
    Open("buPaymentOpen", "PaytCondition=2\r\n");
    EXPECT_EQ(Combo("cbPaytCondition")->currentText(),
              QStringLiteral("(2) требуется получение акцепта плательщика"));
    EXPECT_EQ(ErrorsShown(), "");
}

TEST_F(FieldFiles, PaymentFileWrittenByHandInWindows1251)
{
    Edit("edPayeeINN")->setText(QStringLiteral("will be emptied"));
    // Keys in any case, the first of two equal keys, "=" and "#13#10" in values, unknown keys.
    Open("buPaymentOpen", QByteArray("supplierbillid=123\r\n"
                                     "SupplierBillID=456\r\n"
                                     "Narrative=a=b#13#10") +
                              Cp1251("c8e2e0edeee2") + "#10#13x\r\n" +
                              "PAYERNAME=" + Cp1251("cece ce20 abd0eeece0f8eae0bb") + "\r\n" +
                              "Amount=12.50\r\nNoSuchKey=1\r\n");
    EXPECT_EQ(Combo("cbSupplierBillID")->currentText(), QStringLiteral("123"));
    EXPECT_EQ(Memo("mmNarrative")->toPlainText(), QStringLiteral("a=b\nИванов\n\nx"));
    EXPECT_EQ(Edit("edPayerName")->text(), QStringLiteral("ООО «Ромашка»"));
    EXPECT_EQ(Edit("edAmount")->text(), QStringLiteral("12.50"));
    EXPECT_TRUE(Edit("edPayeeINN")->text().isEmpty()) << "a missing key empties its field";
    EXPECT_EQ(ErrorsShown(), "");
}

TEST_F(FieldFiles, ListsReadBackByText)
{
    Open("buDocumentDetailsOpen", QByteArray("Year=2017\r\nMonth=") + Cp1251("ccc0d0d2") + "\r\n");
    EXPECT_EQ(Combo("cbYear")->currentText(), QStringLiteral("2017"));
    EXPECT_EQ(Combo("cbMonth")->currentText(), QStringLiteral("Март"));
    EXPECT_EQ(Combo("cbChargeSearchType2")->currentIndex(), 2);

    Open("buDocumentDetailsOpen", "Year=1999\r\nMonth=Smarch\r\nSearchType=4\r\n");
    EXPECT_EQ(Combo("cbYear")->currentIndex(), 0);
    EXPECT_EQ(Combo("cbMonth")->currentIndex(), 0);
    EXPECT_EQ(Combo("cbChargeSearchType2")->currentIndex(), 4);
    EXPECT_TRUE(InTabOrder(Edit("edServiceID")));
    EXPECT_FALSE(InTabOrder(Edit("edPaymentDocumentID")));
    EXPECT_EQ(ErrorsShown(), "");
}

TEST_F(FieldFiles, ClearingTheOrderTabRestoresTypesAndFields)
{
    Combo("cbOrderType")->setCurrentIndex(6);
    Combo("cbChangeStatus2")->setCurrentIndex(1);
    Edit("edOrderNum")->setText(QStringLiteral("7"));
    Memo("mmComment")->setPlainText(QStringLiteral("x"));
    Press("buOrderClear");
    EXPECT_EQ(Combo("cbOrderType")->currentText(),
              QStringLiteral("Оплата по идентификатору платежного документа"));
    EXPECT_EQ(Combo("cbChangeStatus2")->currentText(), QStringLiteral("новое"));
    EXPECT_TRUE(Edit("edOrderNum")->text().isEmpty());
    EXPECT_TRUE(Memo("mmComment")->toPlainText().isEmpty());
    EXPECT_EQ(Combo("cbYear2")->currentIndex(), 0);
    EXPECT_TRUE(InTabOrder(Combo("cbPaymentDocumentID")));
    EXPECT_FALSE(InTabOrder(Edit("edUnifiedAccountNumber2")));
    EXPECT_FALSE(InTabOrder(Edit("edConsumerINN")));
    EXPECT_FALSE(InTabOrder(Edit("edChangeStatusReason2")));
    EXPECT_TRUE(InTabOrder(Edit("edSupplierName")));

    // A cancellation read from a file freezes all but the order identifier's fields.
    Open("buOrderOpen", "OrderType=2\r\nChangeStatus=1\r\n");
    EXPECT_EQ(Combo("cbChangeStatus2")->currentIndex(), 1);
    EXPECT_TRUE(InTabOrder(Edit("edChangeStatusReason2")));
    EXPECT_TRUE(InTabOrder(Edit("edOrderNum")));
    EXPECT_FALSE(InTabOrder(Edit("edSupplierName")));
    EXPECT_EQ(ErrorsShown(), "");
}

TEST_F(FieldFiles, ProposedNamesAndFilter)
{
    const QString filter = QStringLiteral("Текстовые файлы|*.txt");
    EXPECT_EQ(QtFileFilter(filter), QStringLiteral("Текстовые файлы (*.txt)"));

    Edit("edPaymentBankBIK")->setText(QStringLiteral("44525225"));
    Edit("edSubSystem")->setText(QStringLiteral("1"));
    Edit("edPaymentDate")->setText(QStringLiteral("01.02.2016 10:00:00"));
    Edit("edPaymentDayNumber")->setText(QStringLiteral("7"));
    Save("buPaymentSave", QStringLiteral("a.txt"));
    Edit("edSubSystem2")->setText(QStringLiteral("12"));
    Edit("edOrderDate")->setText(QStringLiteral("05.03.2016"));
    Edit("edOrderNum")->setText(QStringLiteral("7"));
    Save("buOrderSave", QStringLiteral("b.txt"));
    Save("buChargeSave", QStringLiteral("c.txt"));
    Save("buDocumentDetailsSave", QStringLiteral("d.txt"));
    for (const char* open : {"buPaymentOpen", "buChargeOpen", "buOrderOpen", "buDocumentDetailsOpen"}) {
        dialogs.answerFile(std::nullopt);
        Press(open);
    }

    QStringList proposed;
    for (const auto& shown : dialogs.shown()) {
        EXPECT_EQ(shown.caption, filter) << shown.text.toStdString();
        proposed << QStringLiteral("%1 %2").arg(shown.kind == Kind::Save ? u"save" : u"open", shown.text);
    }
    EXPECT_EQ(proposed, (QStringList{
                            QStringLiteral("save Pay10445252250000010102201600000007.txt"),
                            QStringLiteral("save Order12000000000005032016000000000007.txt"),
                            QStringLiteral("save Charge.txt"),
                            QStringLiteral("save DocumentDetails.txt"),
                            QStringLiteral("open Pay.txt"),
                            QStringLiteral("open Charge.txt"),
                            QStringLiteral("open Order.txt"),
                            QStringLiteral("open DocumentDetails.txt"),
                        }));
}

TEST_F(FieldFiles, UnreadableDateEndsTheSaveBeforeAnyQuestion)
{
    Edit("edPaymentDate")->setText(QStringLiteral("31.02.2016"));
    Press("buPaymentSave");
    Edit("edOrderDate")->setText(QStringLiteral("завтра"));
    Press("buOrderSave");
    EXPECT_TRUE(dialogs.shown(Kind::Save).isEmpty());
    EXPECT_EQ(Errors(), (QStringList{QStringLiteral("'31.02.2016' is not a valid date and time"),
                                     QStringLiteral("'завтра' is not a valid date and time")}));
    EXPECT_TRUE(QDir(FFolder.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(FieldFiles, CancelledOrFailedOpenChangesNothing)
{
    Edit("edSupplierName")->setText(QStringLiteral("kept"));
    Combo("cbOrderType")->setCurrentIndex(3);
    // On the tab already, so that pressing its buttons does not change tabs and clear the status.
    Window().control<QTabWidget>("pcMain")->setCurrentWidget(Window().control<QWidget>("tsGISGKXPayment"));
    Window().setStatus(QStringLiteral("status"));

    dialogs.answerFile(std::nullopt);
    Press("buOrderOpen");
    EXPECT_EQ(ErrorsShown(), "");

    // A file that cannot be read: a folder by the chosen name.
    ASSERT_TRUE(QDir(FFolder.path()).mkdir(QStringLiteral("Order.txt")));
    dialogs.answerFile(Path(QStringLiteral("Order.txt")));
    Press("buOrderOpen");
    const QStringList errors = Errors();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("Order.txt"))) << errors[0].toStdString();

    EXPECT_EQ(Edit("edSupplierName")->text(), QStringLiteral("kept"));
    EXPECT_EQ(Combo("cbOrderType")->currentIndex(), 3);
    EXPECT_EQ(Window().status().toStdString(), "status");
}

TEST_F(FieldFiles, CharactersOutsideWindows1251SurviveAndInvalidBytesDoNotStopReading)
{
    const QString name = QString::fromUtf8("Ωmega \xF0\x9F\x98\x80 Ёж");
    Edit("edPayerName")->setText(name);
    const QByteArray saved = Save("buPaymentSave");
    EXPECT_EQ(saved.left(3).toHex(), QByteArray("efbbbf"));
    Press("buPaymentClear");
    dialogs.answerFile(Path(QStringLiteral("saved.txt")));
    Press("buPaymentOpen");
    EXPECT_EQ(Edit("edPayerName")->text(), name);

    dialogs.clear();
    Open("buPaymentOpen", QByteArray::fromHex("efbbbf") + "Amount=1\r\nPayerName=A\xff\xfe"
                                                          "B\r\nPayeeINN=7707083893\r\n");
    EXPECT_EQ(Edit("edPayerName")->text(), QString::fromUtf16(u"A\uFFFD\uFFFDB"));
    EXPECT_EQ(Edit("edPayeeINN")->text(), QStringLiteral("7707083893"));
    EXPECT_EQ(ErrorsShown(), "");
    // Read all the same, but the operator is told which line to look at before sending.
    const QString opened = QDir::toNativeSeparators(Path(QStringLiteral("opened.txt")));
    ASSERT_EQ(dialogs.shown(Kind::Warning).size(), 1);
    EXPECT_EQ(dialogs.shown(Kind::Warning)[0].text,
              QStringLiteral("Файл \"%1\" поврежден:\nстрока 2: байты, недопустимые в кодировке UTF-8\n"
                             "Проверьте значения, прежде чем отправлять сообщение.")
                  .arg(opened));

    // Random bytes: control characters all over, and no key of the tab.
    dialogs.clear();
    Open("buOrderOpen", QByteArray::fromHex("8f1b00c3ff0d0a7a02"));
    ASSERT_EQ(dialogs.shown(Kind::Warning).size(), 1);
    EXPECT_TRUE(dialogs.shown(Kind::Warning)[0].text.endsWith(
        QStringLiteral("строки 1, 2: байты, недопустимые в кодировке Windows-1251\nнет ни одного известного "
                       "ключа\nПроверьте значения, прежде чем отправлять сообщение.")))
        << dialogs.shown(Kind::Warning)[0].text.toStdString();
}

TEST_F(FieldFiles, SaveOnAFullDiskOrIntoALockedFolderKeepsTheOldFile)
{
    const QString folder = Path(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = QDir(folder).filePath(QStringLiteral("Charge.txt"));
    const QByteArray old = "SearchType=1\r\n";
    PutFile(path, old);
    Edit("edSupplierBillID")->setText(QStringLiteral("new"));
    Window().setStatus(QString());
    {
        // A save of normal size on a disk that is full after a few octets.
        ScopedFileSizeLimit disk(8);
        dialogs.answerFile(path);
        Press("buChargeSave");
    }
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_EQ(
        Errors()[0],
        QStringLiteral("Ошибка записи в файл \"%1\".\nFile too large").arg(QDir::toNativeSeparators(path)));
    EXPECT_EQ(FileBytes(path), old);
    EXPECT_TRUE(Window().status().isEmpty()) << "no success reported";

    dialogs.clear();
    {
        ReadOnlyFolder locked(folder);
        if (!locked.isReadOnly())
            GTEST_SKIP() << "this file system lets the folder be written whatever its permissions";
        dialogs.answerFile(path);
        Press("buChargeSave");
    }
    const QStringList errors = Errors();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(path)) << errors[0].toStdString();
    EXPECT_EQ(FileBytes(path), old);
    EXPECT_TRUE(Window().status().isEmpty()) << "no success reported";
}

TEST_F(FieldFiles, StartUpFillsTheTabsFromTheCurrentFolder)
{
    PutFile(Path(QStringLiteral("Pay.txt")), "PayerName=payer\r\n");
    PutFile(Path(QStringLiteral("Charge.txt")), "SearchType=2\r\nPayerIdentifiers=X\r\n\r\nresult\r\n");
    PutFile(Path(QStringLiteral("Order.txt")), "OrderNum=42\r\nChangeStatus=1\r\n");
    PutFile(Path(QStringLiteral("DocumentDetails.txt")), "SearchType=3\r\nFIASHouseGuid=g\r\n");
    EXPECT_EQ(Edit("edPayerName")->text(), QStringLiteral("payer"));
    EXPECT_EQ(Combo("cbChargeSearchType")->currentIndex(), 2);
    EXPECT_EQ(Edit("edPayerIdentifiers")->text(), QStringLiteral("X"));
    EXPECT_EQ(Memo("mmCharges")->toPlainText(), QStringLiteral("result"));
    EXPECT_EQ(Edit("edOrderNum")->text(), QStringLiteral("42"));
    EXPECT_EQ(Combo("cbChangeStatus2")->currentIndex(), 1);
    EXPECT_FALSE(InTabOrder(Edit("edSupplierName")));
    EXPECT_EQ(Combo("cbChargeSearchType2")->currentIndex(), 3);
    EXPECT_EQ(Edit("edFIASHouseGuid")->text(), QStringLiteral("g"));
    EXPECT_TRUE(Window().status().isEmpty());
    EXPECT_EQ(ErrorsShown(), "");
}

TEST_F(FieldFiles, StartUpWithoutFilesShowsTheDefaults)
{
    EXPECT_EQ(Combo("cbChargeSearchType")->currentIndex(), 1);
    EXPECT_EQ(Combo("cbChargeKind")->currentIndex(), 0);
    EXPECT_EQ(Combo("cbOrderType")->currentIndex(), 1);
    EXPECT_EQ(Combo("cbChangeStatus2")->currentIndex(), 0);
    EXPECT_EQ(Combo("cbChargeSearchType2")->currentIndex(), 2);
    EXPECT_EQ(Combo("cbChangeStatus")->currentIndex(), -1);
    EXPECT_EQ(Combo("cbPaytCondition")->currentIndex(), -1);
    EXPECT_TRUE(Memo("mmCharges")->toPlainText().isEmpty());
    EXPECT_EQ(ErrorsShown(), "");
}
