// The field files of the four data tabs: the operator's templates of a message, kept as key=value
// lines that hold the raw texts of the controls.

#include "app/fZelvan.h"

#include "ui_fZelvan.h"

#include "app/Dialogs.h"
#include "foundation/Exceptions.h"
#include "foundation/KeyValueFile.h"
#include "foundation/TextHelper.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <span>
#include <utility>

namespace {

// How a control's state is kept in a field file.
enum class TStoredAs {
    saText,     // the text as it stands (edits, editable combo boxes)
    saMemo,     // a memo's text on one line, line breaks escaped
    saIndex,    // the selected position; read back by code or position
    saCode,     // the code of the selected item; read back by code or position
    saListText, // the selected item's text; read back by text
};

struct TFieldKey {
    const char* key;
    const char* control;
    TStoredAs storedAs;
    int defaultIndex;
};

constexpr TStoredAs saText = TStoredAs::saText;
constexpr TStoredAs saMemo = TStoredAs::saMemo;
constexpr TStoredAs saIndex = TStoredAs::saIndex;
constexpr TStoredAs saCode = TStoredAs::saCode;
constexpr TStoredAs saListText = TStoredAs::saListText;

// Keys in the order in which they are written; files of earlier versions rely on the names.
constexpr TFieldKey kPaymentKeys[] = {
    {"SupplierBillID", "cbSupplierBillID", saText, -1},
    {"PaymentBankName", "edPaymentBankName", saText, -1},
    {"SubSystem", "edSubSystem", saText, -1},
    {"PaymentBankCorrAccount", "edPaymentBankCorrAccount", saText, -1},
    {"PaymentBankBIK", "edPaymentBankBIK", saText, -1},
    {"Narrative", "mmNarrative", saMemo, -1},
    {"Amount", "edAmount", saText, -1},
    {"PaymentDate", "edPaymentDate", saText, -1},
    {"PaymentDayNumber", "edPaymentDayNumber", saText, -1},
    {"BudgetStatus", "cbBudgetIndexStatus", saText, -1},
    {"BudgetPurpose", "cbBudgetIndexPurpose", saText, -1},
    {"BudgetTaxPeriod", "cbBudgetIndexTaxPeriod", saText, -1},
    {"BudgetTaxDocNumber", "cbBudgetIndexTaxDocNumber", saText, -1},
    {"BudgetTaxDocDate", "cbBudgetIndexTaxDocDate", saText, -1},
    {"PayerIdentifier", "cbPayerIdentifier", saText, -1},
    {"PayerName", "edPayerName", saText, -1},
    {"PayeeName", "mmPayeeName", saMemo, -1},
    {"PayeeINN", "edPayeeINN", saText, -1},
    {"PayeeKPP", "edPayeeKPP", saText, -1},
    {"PayeeBankAcc", "edPayeeBankAcc", saText, -1},
    {"PayeeBankName", "edPayeeBankName", saText, -1},
    {"PayeeBankBIK", "edPayeeBankBIK", saText, -1},
    {"PayeeBankCorrAccount", "edPayeeBankCorrAccount", saText, -1},
    {"KBK", "cbKBK", saText, -1},
    {"OKTMO", "cbOKTMO", saText, -1},
    {"ReceiptDate", "edReceiptDate", saText, -1},
    {"AccDocNo", "edAccDocNo", saText, -1},
    {"AccDocDate", "edAccDocDate", saText, -1},
    {"TransKind", "cbTransKind", saText, -1},
    {"TransContent", "edTransContent", saText, -1},
    {"PaytCondition", "cbPaytCondition", saCode, -1},
    {"AcptTerm", "edAcptTerm", saText, -1},
    {"MaturityDate", "edMaturityDate", saText, -1},
    {"DocDispatchDate", "edDocDispatchDate", saText, -1},
    {"PartialPaytNo", "edPartialPaytNo", saText, -1},
    {"PartialTransKind", "cbPartialTransKind", saText, -1},
    {"PartialSumResidualPayt", "edPartialSumResidualPayt", saText, -1},
    {"PartialAccDocNo", "edPartialAccDocNo", saText, -1},
    {"PartialAccDocDate", "edPartialAccDocDate", saText, -1},
    {"Priority", "cbPriority", saText, -1},
    {"ChangeStatus", "cbChangeStatus", saCode, -1},
    {"ChangeStatusReason", "edChangeStatusReason", saText, -1},
    {"PackageID", "edPackage", saText, -1},
};

constexpr TFieldKey kChargeKeys[] = {
    {"SearchType", "cbChargeSearchType", saIndex, 1},
    {"SupplierBillID", "edSupplierBillID", saText, -1},
    {"PayerIdentifiers", "edPayerIdentifiers", saText, -1},
    {"ChargeKind", "cbChargeKind", saIndex, 0},
};

constexpr TFieldKey kOrderKeys[] = {
    {"OrderType", "cbOrderType", saIndex, 1},
    {"SupplierID", "cbSupplierID", saText, -1},
    {"SupplierName", "edSupplierName", saText, -1},
    {"RecipientSurname", "edRecipientSurname", saText, -1},
    {"RecipientFirstName", "edRecipientFirstName", saText, -1},
    {"RecipientPatronymic", "edRecipientPatronymic", saText, -1},
    {"RecipientINN", "edRecipientINN", saText, -1},
    {"RecipientKPP", "edRecipientKPP", saText, -1},
    {"RecipientName", "edRecipientName", saText, -1},
    {"PaymentRecipientINN", "edPaymentRecipientINN", saText, -1},
    {"PaymentRecipientKPP", "edPaymentRecipientKPP", saText, -1},
    {"PaymentBankName", "edPaymentBankName2", saText, -1},
    {"PaymentRecipient", "mmPaymentRecipient", saMemo, -1},
    {"PaymentBankBIK", "edPaymentBankBIK2", saText, -1},
    {"PaymentOperatingAccountNumber", "edPaymentOperatingAccountNumber", saText, -1},
    {"PaymentCorrespondentBankAccount", "edPaymentCorrespondentBankAccount", saText, -1},
    {"OrderDate", "edOrderDate", saText, -1},
    {"OrderNum", "edOrderNum", saText, -1},
    {"SubSystem", "edSubSystem2", saText, -1},
    {"Amount", "edAmount2", saText, -1},
    {"PaymentPurpose", "mmPaymentPurpose", saMemo, -1},
    {"Comment", "mmComment", saMemo, -1},
    {"PaymentDocumentID", "cbPaymentDocumentID", saText, -1},
    {"PaymentDocumentNumber", "edPaymentDocumentNumber2", saText, -1},
    {"Year", "cbYear2", saListText, 0},
    {"Month", "cbMonth2", saListText, 0},
    {"UnifiedAccountNumber", "edUnifiedAccountNumber2", saText, -1},
    {"FIASHouseGuid", "edFIASHouseGuid2", saText, -1},
    {"HouseApartment", "edHouseApartment", saText, -1},
    {"HousePlacement", "edHousePlacement", saText, -1},
    {"ConsumerSurname", "edConsumerSurname", saText, -1},
    {"ConsumerFirstName", "edConsumerFirstName", saText, -1},
    {"ConsumerPatronymic", "edConsumerPatronymic", saText, -1},
    {"ConsumerINN", "edConsumerINN", saText, -1},
    {"ServiceID", "edServiceID2", saText, -1},
    {"AccountNumber", "edAccountNumber2", saText, -1},
    {"CancellationComment", "edChangeStatusReason2", saText, -1},
    {"ChangeStatus", "cbChangeStatus2", saIndex, 0},
    {"MessageGUID", "edPackage2", saText, -1},
};

constexpr TFieldKey kDocumentDetailsKeys[] = {
    {"SearchType", "cbChargeSearchType2", saIndex, 2},
    {"PaymentDocumentID", "edPaymentDocumentID", saText, -1},
    {"Year", "cbYear", saListText, 0},
    {"Month", "cbMonth", saListText, 0},
    {"UnifiedAccountNumber", "edUnifiedAccountNumber", saText, -1},
    {"FIASHouseGuid", "edFIASHouseGuid", saText, -1},
    {"PaymentDocumentNumber", "edPaymentDocumentNumber", saText, -1},
    {"AccountNumber", "edAccountNumber", saText, -1},
    {"ServiceID", "edServiceID", saText, -1},
    {"Surname", "edIndividualSurname", saText, -1},
    {"FirstName", "edIndividualFirstName", saText, -1},
    {"Patronymic", "edIndividualPatronymic", saText, -1},
    {"INN", "edLegalINN", saText, -1},
    {"KPP", "edLegalKPP", saText, -1},
};

const QString kFieldFileFilter = QStringLiteral("Текстовые файлы|*.txt");

template <class T> T* FieldControl(const QWidget* window, const char* name)
{
    T* control = window->findChild<T*>(QLatin1String(name));
    if (!control)
        throw Exception(QStringLiteral("Нет поля %1 нужного вида.").arg(QLatin1String(name)));
    return control;
}

QStringList ComboItems(const QComboBox* combo)
{
    QStringList items;
    items.reserve(combo->count());
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

void SetMemoText(QPlainTextEdit* memo, const QString& text)
{
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    memo->setPlainText(plain);
}

void SetControlText(const QWidget* window, const char* name, const QString& text)
{
    if (auto* edit = window->findChild<QLineEdit*>(QLatin1String(name))) {
        edit->setText(text);
        return;
    }
    auto* combo = FieldControl<QComboBox>(window, name);
    if (!combo->isEditable())
        throw Exception(QStringLiteral("Поле %1 не принимает текст.").arg(QLatin1String(name)));
    combo->setEditText(text);
}

QStringList SaveFields(const TfmZelvan& window, std::span<const TFieldKey> keys)
{
    QStringList lines;
    for (const TFieldKey& field : keys) {
        const QString control = QLatin1String(field.control);
        QString value;
        switch (field.storedAs) {
        case TStoredAs::saText:
        case TStoredAs::saListText:
            value = window.ControlText(control);
            break;
        case TStoredAs::saMemo:
            value = EncodeLineBreaks(window.ControlText(control));
            break;
        case TStoredAs::saIndex:
            value = QString::number(window.ControlIndex(control));
            break;
        case TStoredAs::saCode:
            value = ItemCode(window.ControlText(control));
            break;
        }
        lines.append(QLatin1String(field.key) + u'=' + value);
    }
    return lines;
}

void LoadFields(const QWidget* window, std::span<const TFieldKey> keys, const QStringList& lines)
{
    for (const TFieldKey& field : keys) {
        const QString value = KeyValue(lines, QLatin1String(field.key));
        switch (field.storedAs) {
        case TStoredAs::saText:
            SetControlText(window, field.control, value);
            break;
        case TStoredAs::saMemo:
            SetMemoText(FieldControl<QPlainTextEdit>(window, field.control), DecodeLineBreaks(value));
            break;
        case TStoredAs::saIndex:
        case TStoredAs::saCode: {
            auto* combo = FieldControl<QComboBox>(window, field.control);
            combo->setCurrentIndex(IndexOfCode(ComboItems(combo), value, field.defaultIndex));
            break;
        }
        case TStoredAs::saListText: {
            auto* combo = FieldControl<QComboBox>(window, field.control);
            combo->setCurrentIndex(IndexOfText(ComboItems(combo), value, field.defaultIndex));
            break;
        }
        }
    }
}

// Read first, so that a file that cannot be read leaves every control as it was.
QStringList ReadFieldFile(const QString& fileName)
{
    return fileName.isEmpty() ? QStringList() : ReadKeyValueFile(fileName);
}

// The free text after the first empty line, as the result memo shows it.
QString FileTail(const QStringList& lines)
{
    const qsizetype blank = lines.indexOf(QString());
    if (blank < 0)
        return QString();
    return lines.mid(blank).join(QStringLiteral("\r\n")).trimmed();
}

// The default file of a tab in the current directory, or no file when it is not there.
QString ExistingFile(const QString& fileName)
{
    return QFileInfo::exists(fileName) ? fileName : QString();
}

void AppendTail(QStringList& lines, const QString& memoText)
{
    if (memoText.trimmed().isEmpty())
        return;
    lines.append(QString());
    lines.append(memoText);
}

} // namespace

void TfmZelvan::ConnectFieldFileButtons()
{
    const std::pair<QPushButton*, void (TfmZelvan::*)()> buttons[] = {
        {ui->buPaymentSave, &TfmZelvan::buPaymentSaveClick},
        {ui->buPaymentOpen, &TfmZelvan::buPaymentOpenClick},
        {ui->buPaymentClear, &TfmZelvan::buPaymentClearClick},
        {ui->buChargeSave, &TfmZelvan::buChargeSaveClick},
        {ui->buChargeOpen, &TfmZelvan::buChargeOpenClick},
        {ui->buChargeClear, &TfmZelvan::buChargeClearClick},
        {ui->buOrderSave, &TfmZelvan::buOrderSaveClick},
        {ui->buOrderOpen, &TfmZelvan::buOrderOpenClick},
        {ui->buOrderClear, &TfmZelvan::buOrderClearClick},
        {ui->buDocumentDetailsSave, &TfmZelvan::buDocumentDetailsSaveClick},
        {ui->buDocumentDetailsOpen, &TfmZelvan::buDocumentDetailsOpenClick},
        {ui->buDocumentDetailsClear, &TfmZelvan::buDocumentDetailsClearClick},
    };
    for (const auto& [button, handler] : buttons)
        connect(button, &QPushButton::clicked, this, handler);
}

void TfmZelvan::LoadPaymentFile(const QString& fileName)
{
    const QStringList lines = ReadFieldFile(fileName);
    LoadFields(this, kPaymentKeys, lines);
    SetStatus(QString());
}

void TfmZelvan::LoadChargeFile(const QString& fileName)
{
    const QStringList lines = ReadFieldFile(fileName);
    LoadFields(this, kChargeKeys, lines);
    cbChargeSearchTypeChange();
    SetMemoText(ui->mmCharges, FileTail(lines));
    SetStatus(QString());
}

void TfmZelvan::LoadOrderFile(const QString& fileName)
{
    const QStringList lines = ReadFieldFile(fileName);
    LoadFields(this, kOrderKeys, lines);
    cbChangeStatus2Change();
    SetStatus(QString());
}

void TfmZelvan::LoadDocumentDetailsFile(const QString& fileName)
{
    const QStringList lines = ReadFieldFile(fileName);
    LoadFields(this, kDocumentDetailsKeys, lines);
    cbChargeSearchType2Change();
    SetMemoText(ui->mmDocumentDetails, FileTail(lines));
    SetStatus(QString());
}

void TfmZelvan::WriteFieldFile(const QString& fileName, const QStringList& lines)
{
    if (fileName.isEmpty())
        return;
    WriteKeyValueFile(fileName, lines);
    SetStatus(QStringLiteral("Данные записаны в файл ") +
              QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath()));
}

void TfmZelvan::SavePaymentFile(const QString& fileName)
{
    WriteFieldFile(fileName, SaveFields(*this, kPaymentKeys));
}

void TfmZelvan::SaveChargeFile(const QString& fileName)
{
    QStringList lines = SaveFields(*this, kChargeKeys);
    AppendTail(lines, ControlText(QStringLiteral("mmCharges")));
    WriteFieldFile(fileName, lines);
}

void TfmZelvan::SaveOrderFile(const QString& fileName)
{
    WriteFieldFile(fileName, SaveFields(*this, kOrderKeys));
}

void TfmZelvan::SaveDocumentDetailsFile(const QString& fileName)
{
    QStringList lines = SaveFields(*this, kDocumentDetailsKeys);
    AppendTail(lines, ControlText(QStringLiteral("mmDocumentDetails")));
    WriteFieldFile(fileName, lines);
}

void TfmZelvan::buPaymentSaveClick()
{
    FValuesType = TValuesType::vtGISGMPPayment;
    const QString name = QStringLiteral("Pay") + GetFieldValue(QStringLiteral("PaymentSystemIdentifier")) +
                         QStringLiteral(".txt");
    SavePaymentFile(AskSaveFileName(name, kFieldFileFilter));
}

void TfmZelvan::buPaymentOpenClick()
{
    LoadPaymentFile(AskOpenFileName(QStringLiteral("Pay.txt"), kFieldFileFilter));
}

void TfmZelvan::buPaymentClearClick()
{
    LoadPaymentFile(QString());
}

void TfmZelvan::buChargeSaveClick()
{
    SaveChargeFile(AskSaveFileName(QStringLiteral("Charge.txt"), kFieldFileFilter));
}

void TfmZelvan::buChargeOpenClick()
{
    LoadChargeFile(AskOpenFileName(QStringLiteral("Charge.txt"), kFieldFileFilter));
}

void TfmZelvan::buChargeClearClick()
{
    LoadChargeFile(QString());
}

void TfmZelvan::buOrderSaveClick()
{
    FValuesType = TValuesType::vtGISGKXPayment;
    const QString name =
        QStringLiteral("Order") + GetFieldValue(QStringLiteral("OrderID")) + QStringLiteral(".txt");
    SaveOrderFile(AskSaveFileName(name, kFieldFileFilter));
}

void TfmZelvan::buOrderOpenClick()
{
    LoadOrderFile(AskOpenFileName(QStringLiteral("Order.txt"), kFieldFileFilter));
}

void TfmZelvan::buOrderClearClick()
{
    LoadOrderFile(QString());
}

void TfmZelvan::buDocumentDetailsSaveClick()
{
    SaveDocumentDetailsFile(AskSaveFileName(QStringLiteral("DocumentDetails.txt"), kFieldFileFilter));
}

void TfmZelvan::buDocumentDetailsOpenClick()
{
    LoadDocumentDetailsFile(AskOpenFileName(QStringLiteral("DocumentDetails.txt"), kFieldFileFilter));
}

void TfmZelvan::buDocumentDetailsClearClick()
{
    LoadDocumentDetailsFile(QString());
}

void TfmZelvan::LoadFieldFiles()
{
    LoadChargeFile(ExistingFile(QStringLiteral("Charge.txt")));
    LoadPaymentFile(ExistingFile(QStringLiteral("Pay.txt")));
    LoadOrderFile(ExistingFile(QStringLiteral("Order.txt")));
    LoadDocumentDetailsFile(ExistingFile(QStringLiteral("DocumentDetails.txt")));
}
