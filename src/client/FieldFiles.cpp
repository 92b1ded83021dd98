#include "client/FieldFiles.h"

#include "foundation/KeyValueFile.h"
#include "foundation/TextHelper.h"
#include "values/ControlReader.h"

#include <span>

namespace {

// How a control's state is kept in a field file.
enum class StoredAs {
    text,     // the text as it stands (edits, editable combo boxes)
    memo,     // a memo's text on one line, line breaks escaped
    index,    // the selected position; read back by code or position
    code,     // the code of the selected item; read back by code or position
    listText, // the selected item's text; read back by text
};

struct FieldKey {
    const char* key;
    const char* control;
    StoredAs storedAs;
    int defaultIndex;
};

constexpr StoredAs Text = StoredAs::text;
constexpr StoredAs Memo = StoredAs::memo;
constexpr StoredAs Index = StoredAs::index;
constexpr StoredAs Code = StoredAs::code;
constexpr StoredAs ListText = StoredAs::listText;

// Keys in the order in which they are written; files of earlier versions rely on the names.
constexpr FieldKey PaymentKeys[] = {
    {"SupplierBillID", "cbSupplierBillID", Text, -1},
    {"PaymentBankName", "edPaymentBankName", Text, -1},
    {"SubSystem", "edSubSystem", Text, -1},
    {"PaymentBankCorrAccount", "edPaymentBankCorrAccount", Text, -1},
    {"PaymentBankBIK", "edPaymentBankBIK", Text, -1},
    {"Narrative", "mmNarrative", Memo, -1},
    {"Amount", "edAmount", Text, -1},
    {"PaymentDate", "edPaymentDate", Text, -1},
    {"PaymentDayNumber", "edPaymentDayNumber", Text, -1},
    {"BudgetStatus", "cbBudgetIndexStatus", Text, -1},
    {"BudgetPurpose", "cbBudgetIndexPurpose", Text, -1},
    {"BudgetTaxPeriod", "cbBudgetIndexTaxPeriod", Text, -1},
    {"BudgetTaxDocNumber", "cbBudgetIndexTaxDocNumber", Text, -1},
    {"BudgetTaxDocDate", "cbBudgetIndexTaxDocDate", Text, -1},
    {"PayerIdentifier", "cbPayerIdentifier", Text, -1},
    {"PayerName", "edPayerName", Text, -1},
    {"PayeeName", "mmPayeeName", Memo, -1},
    {"PayeeINN", "edPayeeINN", Text, -1},
    {"PayeeKPP", "edPayeeKPP", Text, -1},
    {"PayeeBankAcc", "edPayeeBankAcc", Text, -1},
    {"PayeeBankName", "edPayeeBankName", Text, -1},
    {"PayeeBankBIK", "edPayeeBankBIK", Text, -1},
    {"PayeeBankCorrAccount", "edPayeeBankCorrAccount", Text, -1},
    {"KBK", "cbKBK", Text, -1},
    {"OKTMO", "cbOKTMO", Text, -1},
    {"ReceiptDate", "edReceiptDate", Text, -1},
    {"AccDocNo", "edAccDocNo", Text, -1},
    {"AccDocDate", "edAccDocDate", Text, -1},
    {"TransKind", "cbTransKind", Text, -1},
    {"TransContent", "edTransContent", Text, -1},
    {"PaytCondition", "cbPaytCondition", Code, -1},
    {"AcptTerm", "edAcptTerm", Text, -1},
    {"MaturityDate", "edMaturityDate", Text, -1},
    {"DocDispatchDate", "edDocDispatchDate", Text, -1},
    {"PartialPaytNo", "edPartialPaytNo", Text, -1},
    {"PartialTransKind", "cbPartialTransKind", Text, -1},
    {"PartialSumResidualPayt", "edPartialSumResidualPayt", Text, -1},
    {"PartialAccDocNo", "edPartialAccDocNo", Text, -1},
    {"PartialAccDocDate", "edPartialAccDocDate", Text, -1},
    {"Priority", "cbPriority", Text, -1},
    {"ChangeStatus", "cbChangeStatus", Code, -1},
    {"ChangeStatusReason", "edChangeStatusReason", Text, -1},
    {"PackageID", "edPackage", Text, -1},
};

constexpr FieldKey ChargeKeys[] = {
    {"SearchType", "cbChargeSearchType", Index, 1},
    {"SupplierBillID", "edSupplierBillID", Text, -1},
    {"PayerIdentifiers", "edPayerIdentifiers", Text, -1},
    {"ChargeKind", "cbChargeKind", Index, 0},
};

constexpr FieldKey OrderKeys[] = {
    {"OrderType", "cbOrderType", Index, 1},
    {"SupplierID", "cbSupplierID", Text, -1},
    {"SupplierName", "edSupplierName", Text, -1},
    {"RecipientSurname", "edRecipientSurname", Text, -1},
    {"RecipientFirstName", "edRecipientFirstName", Text, -1},
    {"RecipientPatronymic", "edRecipientPatronymic", Text, -1},
    {"RecipientINN", "edRecipientINN", Text, -1},
    {"RecipientKPP", "edRecipientKPP", Text, -1},
    {"RecipientName", "edRecipientName", Text, -1},
    {"PaymentRecipientINN", "edPaymentRecipientINN", Text, -1},
    {"PaymentRecipientKPP", "edPaymentRecipientKPP", Text, -1},
    {"PaymentBankName", "edPaymentBankName2", Text, -1},
    {"PaymentRecipient", "mmPaymentRecipient", Memo, -1},
    {"PaymentBankBIK", "edPaymentBankBIK2", Text, -1},
    {"PaymentOperatingAccountNumber", "edPaymentOperatingAccountNumber", Text, -1},
    {"PaymentCorrespondentBankAccount", "edPaymentCorrespondentBankAccount", Text, -1},
    {"OrderDate", "edOrderDate", Text, -1},
    {"OrderNum", "edOrderNum", Text, -1},
    {"SubSystem", "edSubSystem2", Text, -1},
    {"Amount", "edAmount2", Text, -1},
    {"PaymentPurpose", "mmPaymentPurpose", Memo, -1},
    {"Comment", "mmComment", Memo, -1},
    {"PaymentDocumentID", "cbPaymentDocumentID", Text, -1},
    {"PaymentDocumentNumber", "edPaymentDocumentNumber2", Text, -1},
    {"Year", "cbYear2", ListText, 0},
    {"Month", "cbMonth2", ListText, 0},
    {"UnifiedAccountNumber", "edUnifiedAccountNumber2", Text, -1},
    {"FIASHouseGuid", "edFIASHouseGuid2", Text, -1},
    {"HouseApartment", "edHouseApartment", Text, -1},
    {"HousePlacement", "edHousePlacement", Text, -1},
    {"ConsumerSurname", "edConsumerSurname", Text, -1},
    {"ConsumerFirstName", "edConsumerFirstName", Text, -1},
    {"ConsumerPatronymic", "edConsumerPatronymic", Text, -1},
    {"ConsumerINN", "edConsumerINN", Text, -1},
    {"ServiceID", "edServiceID2", Text, -1},
    {"AccountNumber", "edAccountNumber2", Text, -1},
    {"CancellationComment", "edChangeStatusReason2", Text, -1},
    {"ChangeStatus", "cbChangeStatus2", Index, 0},
    {"MessageGUID", "edPackage2", Text, -1},
};

constexpr FieldKey DocumentDetailsKeys[] = {
    {"SearchType", "cbChargeSearchType2", Index, 2},
    {"PaymentDocumentID", "edPaymentDocumentID", Text, -1},
    {"Year", "cbYear", ListText, 0},
    {"Month", "cbMonth", ListText, 0},
    {"UnifiedAccountNumber", "edUnifiedAccountNumber", Text, -1},
    {"FIASHouseGuid", "edFIASHouseGuid", Text, -1},
    {"PaymentDocumentNumber", "edPaymentDocumentNumber", Text, -1},
    {"AccountNumber", "edAccountNumber", Text, -1},
    {"ServiceID", "edServiceID", Text, -1},
    {"Surname", "edIndividualSurname", Text, -1},
    {"FirstName", "edIndividualFirstName", Text, -1},
    {"Patronymic", "edIndividualPatronymic", Text, -1},
    {"INN", "edLegalINN", Text, -1},
    {"KPP", "edLegalKPP", Text, -1},
};

std::span<const FieldKey> Keys(FieldFileKind kind)
{
    switch (kind) {
    case FieldFileKind::Payment:
        return PaymentKeys;
    case FieldFileKind::Charge:
        return ChargeKeys;
    case FieldFileKind::Order:
        return OrderKeys;
    case FieldFileKind::DocumentDetails:
        return DocumentDetailsKeys;
    }
    return {};
}

} // namespace

QString StartupFieldFile(FieldFileKind kind)
{
    switch (kind) {
    case FieldFileKind::Payment:
        return QStringLiteral("Pay.txt");
    case FieldFileKind::Charge:
        return QStringLiteral("Charge.txt");
    case FieldFileKind::Order:
        return QStringLiteral("Order.txt");
    case FieldFileKind::DocumentDetails:
        return QStringLiteral("DocumentDetails.txt");
    }
    return {};
}

QString TailMemoName(FieldFileKind kind)
{
    if (kind == FieldFileKind::Charge)
        return QStringLiteral("mmCharges");
    if (kind == FieldFileKind::DocumentDetails)
        return QStringLiteral("mmDocumentDetails");
    return {};
}

QStringList FieldFileKeys(FieldFileKind kind)
{
    QStringList keys;
    for (const FieldKey& field : Keys(kind))
        keys.append(QLatin1String(field.key));
    return keys;
}

QStringList FieldFileControls(FieldFileKind kind)
{
    QStringList controls;
    for (const FieldKey& field : Keys(kind))
        controls.append(QLatin1String(field.control));
    return controls;
}

QStringList FieldFileLines(FieldFileKind kind, const IControlReader& controls)
{
    QStringList lines;
    for (const FieldKey& field : Keys(kind)) {
        const QString control = QLatin1String(field.control);
        QString value;
        switch (field.storedAs) {
        case StoredAs::text:
        case StoredAs::listText:
            value = controls.ControlText(control);
            break;
        case StoredAs::memo:
            value = EncodeLineBreaks(controls.ControlText(control));
            break;
        case StoredAs::index:
            value = QString::number(controls.ControlIndex(control));
            break;
        case StoredAs::code:
            value = ItemCode(controls.ControlText(control));
            break;
        }
        lines.append(QLatin1String(field.key) + u'=' + value);
    }
    return lines;
}

void LoadFieldLines(FieldFileKind kind, const QStringList& lines, Form& form, QDate today)
{
    for (const FieldKey& field : Keys(kind)) {
        const QString control = QLatin1String(field.control);
        const QString value = KeyValue(lines, QLatin1String(field.key));
        const QStringList items = ListItems(control, today);
        switch (field.storedAs) {
        case StoredAs::text:
            form.set(control, value);
            break;
        case StoredAs::memo:
            form.set(control, MemoText(DecodeLineBreaks(value)));
            break;
        case StoredAs::index:
        case StoredAs::code:
            form.select(control, items, IndexOfCode(items, value, field.defaultIndex));
            break;
        case StoredAs::listText:
            form.select(control, items, IndexOfText(items, value, field.defaultIndex));
            break;
        }
    }
}

QString FieldFileTail(const QStringList& lines)
{
    const qsizetype blank = lines.indexOf(QString());
    if (blank < 0)
        return QString();
    return lines.mid(blank).join(QStringLiteral("\r\n")).trimmed();
}

void AppendFieldFileTail(QStringList& lines, const QString& memoText)
{
    if (memoText.trimmed().isEmpty())
        return;
    lines.append(QString());
    lines.append(memoText);
}
