// The payer identifier dialog as the operator uses it: pick the kind, fill the page, press "Да";
// errors are shown and the dialog stays open; the main window's three buttons take the result.
#include "ModalHandler.h"
#include "PressButton.h"
#include "ScriptedDialogs.h"
#include "TestWindow.h"

#include "app/fPayerIdentifier.h"
#include "foundation/TextHelper.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>

namespace {

using Kind = ScriptedDialogs::Kind;

template <class T> T* Child(QWidget* dialog, const char* name)
{
    T* found = dialog->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QStringList Items(const QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// What the operator types on the dialog; fields left out stay as the dialog opened.
struct TEntry {
    int kind = 0;
    std::optional<QString> citizenship;
    int documentType = 0;
    QString number, inn2, kpp2, kio3, kpp3, inn4;
};

void Fill(QWidget* dialog, const TEntry& entry)
{
    Child<QComboBox>(dialog, "cbFace")->setCurrentIndex(entry.kind);
    if (entry.citizenship)
        Child<QComboBox>(dialog, "cbCountry1")->setEditText(*entry.citizenship);
    Child<QComboBox>(dialog, "cbDocType1")->setCurrentIndex(entry.documentType);
    Child<QLineEdit>(dialog, "edDocNumber1")->setText(entry.number);
    Child<QLineEdit>(dialog, "edINN2")->setText(entry.inn2);
    Child<QLineEdit>(dialog, "edKPP2")->setText(entry.kpp2);
    Child<QLineEdit>(dialog, "edKIO3")->setText(entry.kio3);
    Child<QLineEdit>(dialog, "edKPP3")->setText(entry.kpp3);
    Child<QLineEdit>(dialog, "edINN4")->setText(entry.inn4);
}

void PressOk(QWidget* dialog)
{
    QTest::mouseClick(Child<QPushButton>(dialog, "buOk"), Qt::LeftButton);
}

// Runs the dialog; each entry is typed and "Да" pressed in turn, and after each press the test
// records what the operator sees: the error shown (empty when none) and whether the dialog is open.
struct TRun {
    bool accepted = false;
    QStringList identifiers;
    QStringList errors;
    QList<bool> stillOpen;
};

TRun RunDialog(const QList<TEntry>& entries)
{
    ScriptedDialogs dialogs;
    ScriptedOwner owner(dialogs);
    owner.show();
    TRun run;
    TfmPayerIdentifier dialog(&owner);
    ModalHandler handler([&](QWidget* modal) {
        for (const TEntry& entry : entries) {
            const qsizetype before = dialogs.shown(Kind::Error).size();
            Fill(modal, entry);
            PressOk(modal);
            const QList<ScriptedDialogs::Shown> errors = dialogs.shown(Kind::Error);
            run.errors << (errors.size() > before ? errors.last().text : QString());
            run.stillOpen << modal->isVisible();
            if (!modal->isVisible())
                return;
        }
        QTest::mouseClick(Child<QPushButton>(modal, "buCancel"), Qt::LeftButton);
    });
    run.accepted = dialog.Execute();
    EXPECT_TRUE(handler.done());
    run.identifiers = dialog.PayerIdentifiers();
    return run;
}

const QString kIncomplete = QStringLiteral("Невозможно вычислить идентификатор плательщика.\r"
                                           "Данные неполные или неверные.");

} // namespace

TEST(PayerIdentifierDialog, OpensWithTheListsAndFirstItems)
{
    QWidget owner;
    TfmPayerIdentifier dialog(&owner);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Плательщик"));

    auto* face = Child<QComboBox>(&dialog, "cbFace");
    EXPECT_FALSE(face->isEditable());
    EXPECT_EQ(Items(face), (QStringList{QStringLiteral("(1) Физлицо"), QStringLiteral("(2) Юрлицо-резидент"),
                                        QStringLiteral("(3) Юрлицо-нерезидент"), QStringLiteral("(4) ИП")}));
    EXPECT_EQ(face->currentIndex(), 0);

    auto* country = Child<QComboBox>(&dialog, "cbCountry1");
    EXPECT_TRUE(country->isEditable());
    EXPECT_EQ(Items(country),
              (QStringList{QStringLiteral("(643) РФ"), QStringLiteral("(999) лицо без гражданства ")}));
    EXPECT_EQ(country->currentText(), QStringLiteral("(643) РФ"));

    auto* type = Child<QComboBox>(&dialog, "cbDocType1");
    EXPECT_FALSE(type->isEditable());
    EXPECT_EQ(type->currentIndex(), 0);
    EXPECT_GE(type->view()->minimumWidth(), 700);
    const QStringList types = Items(type);
    QStringList codes;
    for (const QString& item : types)
        codes << ItemCode(item);
    EXPECT_EQ(codes, (QStringList{"01", "02", "03", "04", "05", "06", "07", "08", "09", "10",
                                  "11", "12", "13", "14", "15", "21", "22", "24", "25", "26"}));
    ASSERT_EQ(types.size(), 20);
    EXPECT_EQ(types[0], QStringLiteral("(01) Паспорт гражданина Российской Федерации"));
    EXPECT_EQ(types[3], QStringLiteral("(04) Удостоверение личности военнослужащего "));
    EXPECT_EQ(types[8], QStringLiteral("(09) Вид на жительство "));
    // Its first letter is a Latin C, as the list has always had it.
    EXPECT_EQ(types[13], QStringLiteral("(14) CНИЛС"));
    EXPECT_EQ(types[13].at(5).unicode(), 0x43);
    EXPECT_EQ(types[15], QStringLiteral("(21) ИНН"));
    {
        // Whichever document type is chosen, the operator reads all of its name in the dialog.
        dialog.show();
        auto* name = Child<QLabel>(&dialog, "laDocTypeName1");
        for (int i = 0; i < type->count(); ++i) {
            type->setCurrentIndex(i);
            dialog.layout()->activate();
            EXPECT_EQ(name->text(), type->currentText());
            EXPECT_TRUE(name->isVisible());
            EXPECT_GE(name->height(), name->heightForWidth(name->width())) << name->text().toStdString();
            EXPECT_LE(dialog.width(), 800) << "the dialog stays narrower than a small screen";
        }
        dialog.hide();
        type->setCurrentIndex(0);
    }

    for (const char* name : {"edDocNumber1", "edINN2", "edKPP2", "edKIO3", "edKPP3", "edINN4"})
        EXPECT_TRUE(Child<QLineEdit>(&dialog, name)->text().isEmpty()) << name;
    EXPECT_TRUE(Child<QPushButton>(&dialog, "buOk")->isDefault());
    EXPECT_TRUE(dialog.PayerIdentifiers().isEmpty());

    // The page follows the kind.
    auto* pages = Child<QStackedWidget>(&dialog, "nbFace");
    const char* const pageFields[] = {"edDocNumber1", "edINN2", "edKIO3", "edINN4"};
    for (int kind = 3; kind >= 0; --kind) {
        face->setCurrentIndex(kind);
        EXPECT_TRUE(pages->currentWidget()->isAncestorOf(Child<QWidget>(&dialog, pageFields[kind])))
            << pageFields[kind];
    }
}

TEST(PayerIdentifierDialog, ComputesTheIdentifierOfEachKind)
{
    const auto entry = [](int kind, std::optional<QString> citizenship, int type, const char* number,
                          const char* first, const char* second) {
        TEntry e;
        e.kind = kind;
        e.citizenship = std::move(citizenship);
        e.documentType = type;
        e.number = QLatin1String(number);
        // Every other page holds values that must not be used.
        e.inn2 = e.kpp2 = e.kio3 = e.kpp3 = e.inn4 = QStringLiteral("99");
        switch (kind) {
        case 1:
            e.inn2 = QLatin1String(first);
            e.kpp2 = QLatin1String(second);
            break;
        case 2:
            e.kio3 = QLatin1String(first);
            e.kpp3 = QLatin1String(second);
            break;
        case 3:
            e.inn4 = QLatin1String(first);
            break;
        }
        return e;
    };
    const struct {
        TEntry entry;
        const char* identifier;
    } cases[] = {
        {entry(0, std::nullopt, 0, "1234567890", "", ""), "0100000000001234567890643"},
        // A citizenship typed without parentheses is taken as typed; the document code from the list.
        {entry(0, QStringLiteral("112"), 15, "500100732259", "", ""), "2100000000500100732259112"},
        // An empty citizenship is Russia; the list's own "(999) ..." gives 999.
        {entry(0, QString(), 0, "1234567890", "", ""), "0100000000001234567890643"},
        {entry(0, QStringLiteral("(999) лицо без гражданства "), 0, "1", "", ""),
         "0100000000000000000001999"},
        {entry(1, std::nullopt, 0, "", "7707083893", "773601001"), "27707083893773601001"},
        {entry(2, std::nullopt, 0, "", "12345", "773601001"), "312345773601001"},
        {entry(3, std::nullopt, 0, "", "500100732259", ""), "4500100732259"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identifier);
        const TRun run = RunDialog({c.entry});
        EXPECT_TRUE(run.accepted);
        EXPECT_EQ(run.identifiers.join(u'|').toStdString(), c.identifier);
        EXPECT_EQ(run.errors.join(u'|').toStdString(), "");
    }
}

TEST(PayerIdentifierDialog, ErrorsAreShownAndTheDialogStaysOpenForACorrection)
{
    TEntry noNumber; // kind 1 without a document number
    TEntry longInn;
    longInn.kind = 1;
    longInn.inn2 = QStringLiteral("770708389312");
    longInn.kpp2 = QStringLiteral("773601001");
    TEntry fixed = longInn;
    fixed.inn2 = QStringLiteral("7707083893");

    const TRun run = RunDialog({noNumber, longInn, fixed});
    EXPECT_EQ(run.errors,
              (QStringList{kIncomplete,
                           QStringLiteral("Неверная длина идентификатора плательщика: 22. Ожидалось: 20"),
                           QString()}));
    EXPECT_EQ(run.stillOpen, (QList<bool>{true, true, false}));
    EXPECT_TRUE(run.accepted);
    EXPECT_EQ(run.identifiers, QStringList{QStringLiteral("27707083893773601001")});
}

TEST(PayerIdentifierDialog, CancelReturnsNothing)
{
    TEntry noNumber;
    const TRun run = RunDialog({noNumber});
    EXPECT_EQ(run.errors, QStringList{kIncomplete});
    EXPECT_FALSE(run.accepted);
    EXPECT_TRUE(run.identifiers.isEmpty());
}

namespace {

// Answers the next payer identifier dialog with a sole trader's INN, or cancels it.
std::unique_ptr<ModalHandler> AnswerTrader(const QString& inn, bool cancel = false)
{
    return std::make_unique<ModalHandler>([inn, cancel](QWidget* modal) {
        EXPECT_NE(qobject_cast<TfmPayerIdentifier*>(modal), nullptr) << modal->metaObject()->className();
        TEntry trader;
        trader.kind = 3;
        trader.inn4 = inn;
        Fill(modal, trader);
        QTest::mouseClick(Child<QPushButton>(modal, cancel ? "buCancel" : "buOk"), Qt::LeftButton);
    });
}

} // namespace

TEST(PayerIdentifierButtons, FillThePayerAndSupplierFields)
{
    ScriptedDialogs dialogs;
    TestWindow window(TestWindowSetup().dialogs(dialogs));
    window->show();

    auto handler = AnswerTrader(QStringLiteral("500100732259"));
    PressButton(window, QStringLiteral("buPayerIdentifier"));
    EXPECT_TRUE(handler->done());
    EXPECT_EQ(window.control<QComboBox>("cbPayerIdentifier")->currentText(), QStringLiteral("4500100732259"));

    handler = AnswerTrader(QStringLiteral("770708389312"));
    PressButton(window, QStringLiteral("buSupplierID"));
    EXPECT_TRUE(handler->done());
    EXPECT_EQ(window.control<QComboBox>("cbSupplierID")->currentText(), QStringLiteral("4770708389312"));

    // A cancelled dialog changes nothing.
    handler = AnswerTrader(QStringLiteral("111111111111"), true);
    PressButton(window, QStringLiteral("buSupplierID"));
    EXPECT_TRUE(handler->done());
    EXPECT_EQ(window.control<QComboBox>("cbSupplierID")->currentText(), QStringLiteral("4770708389312"));
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST(PayerIdentifierButtons, AddedIdentifiersAccumulate)
{
    ScriptedDialogs dialogs;
    TestWindow window(TestWindowSetup().dialogs(dialogs));
    window->show();
    auto* field = window.control<QLineEdit>("edPayerIdentifiers");
    field->clear();

    auto handler = AnswerTrader(QStringLiteral("500100732259"));
    PressButton(window, QStringLiteral("buAddIdentifier"));
    EXPECT_TRUE(handler->done());
    EXPECT_EQ(field->text(), QStringLiteral("4500100732259")) << "no leading \";\"";

    handler = AnswerTrader(QStringLiteral("770708389312"));
    PressButton(window, QStringLiteral("buAddIdentifier"));
    EXPECT_TRUE(handler->done());
    EXPECT_EQ(field->text(), QStringLiteral("4500100732259;4770708389312"));

    handler = AnswerTrader(QStringLiteral("111111111111"), true);
    PressButton(window, QStringLiteral("buAddIdentifier"));
    EXPECT_EQ(field->text(), QStringLiteral("4500100732259;4770708389312"));
    EXPECT_TRUE(dialogs.shown().isEmpty());
}
