#include "values/ValueProvider.h"

#include "foundation/Convert.h"
#include "foundation/TextHelper.h"
#include "foundation/XmlHelper.h"
#include "gisgkx/GisGkxCodes.h"
#include "gisgmp/GisGmpCodes.h"

#include <span>

namespace {

// Everything a row may read.
struct Inputs {
    const IControlReader& controls;
    const TValuesState& state;

    QString Text(const char* control) const { return controls.ControlText(QLatin1StringView(control)); }
    int Index(const char* control) const { return controls.ControlIndex(QLatin1StringView(control)); }
    QString NewGuidText() const
    {
        if (!state.Identifiers)
            throw Exception(QStringLiteral("There is no identifier source for the message"));
        return state.Identifiers->NewGuidText();
    }
};

using ValueFunction = QString (*)(const Inputs&);

// Search or order types under which a row has a value; the row is empty under any other.
using KindSet = unsigned;
constexpr KindSet AllKinds = ~0u;
constexpr KindSet Kinds(std::initializer_list<int> kinds)
{
    KindSet set = 0;
    for (int kind : kinds)
        set |= 1u << kind;
    return set;
}

struct Row {
    const char* name;
    ValueFunction value;
    KindSet kinds = AllKinds;
};

struct Group {
    bool (*applies)(TValuesType);
    const char* kindControl; // the type selector read once on entering the group, or null
    std::span<const Row> rows;
};

// Renderings. "raw" control texts are escaped too: an "&" or "<" typed into them would
// otherwise make the signed message malformed, and ordinary texts are unchanged by it.
QString Raw(const QString& text)
{
    return XmlEscapeText(text);
}
QString Text(const QString& text)
{
    return XmlValueText(FieldValue(text));
}
QString Amount(const char* key, const QString& text)
{
    return AmountKopecksText(text, QLatin1String(key));
}
QString IntegerText(const QString& text)
{
    return XmlIntegerText(FieldValue(text));
}
QString IntegerNumber(qint64 number)
{
    return XmlIntegerText(FieldValue(double(number)));
}
QString DateTime(const QString& text)
{
    return XmlDateTimeText(FieldValue(text));
}
QString Date(const QString& text)
{
    return XmlDateText(FieldValue(text));
}
QString DateTime(const QDateTime& moment)
{
    return XmlDateTimeText(moment);
}

// A list whose first item is empty: that item and no selection at all both give no value.
QString ItemNumber(int index)
{
    return index > 0 ? IntegerNumber(index) : QString();
}

// Every operation.
const Row GroupA[] = {
    {"SenderCode", [](const Inputs& in) { return Raw(in.Text("edSMEVCode")); }},
    {"SenderName", [](const Inputs& in) { return Raw(in.Text("edName")); }},
    {"TypeCode", [](const Inputs&) { return QStringLiteral("GFNC"); }},
    {"MessageDate", [](const Inputs& in) { return DateTime(in.state.ExecuteDateTime); }},
    {"RequestMessageDate", [](const Inputs& in) { return DateTime(in.state.ExecuteDateTime); }},
    {"OriginatorCode", [](const Inputs&) { return QString(); }},
    {"OriginatorName", [](const Inputs&) { return QString(); }},
    {"MessageStatus", [](const Inputs&) { return QStringLiteral("REQUEST"); }},
};

// GIS GMP routing.
const Row GroupB[] = {
    // Goes into an attribute; the builder writes it in attribute form, so it stays as typed.
    {"SenderIdentifier", [](const Inputs& in) { return in.Text("edGISGMPCode"); }},
    {"RecipientCode", [](const Inputs&) { return QStringLiteral("RKZN35001"); }},
    {"RecipientName", [](const Inputs&) { return QStringLiteral("Казначейство России"); }},
    {"ServiceName", [](const Inputs&) { return QStringLiteral("GISGMP"); }},
    {"ExchangeType", [](const Inputs&) { return QStringLiteral("6"); }},
};

// GIS ZhKH routing.
const Row GroupC[] = {
    {"RecipientCode", [](const Inputs&) { return QStringLiteral("MNSV10000"); }},
    {"RecipientName",
     [](const Inputs&) {
         return QStringLiteral("Государственная информационная система жилищно-коммунального хозяйства");
     }},
    {"ServiceName", [](const Inputs&) { return QStringLiteral("GISGKX"); }},
    {"ExchangeType", [](const Inputs&) { return QStringLiteral("2"); }},
    {"payment-organization-guid", [](const Inputs& in) { return Text(in.Text("edGISGKXCode")); }},
};

// GIS GMP payment tab.
const Row GroupD[] = {
    {"SupplierBillID", [](const Inputs& in) { return Text(in.Text("cbSupplierBillID")); }},
    {"PaymentBankName", [](const Inputs& in) { return Text(in.Text("edPaymentBankName")); }},
    {"PaymentBankCorrAccount", [](const Inputs& in) { return Text(in.Text("edPaymentBankCorrAccount")); }},
    {"PaymentBankBIK", [](const Inputs& in) { return Text(in.Text("edPaymentBankBIK")); }},
    {"EntityID", [](const Inputs& in) { return Text(QStringLiteral("A_") + in.NewGuidText()); }},
    {"Narrative", [](const Inputs& in) { return Text(in.Text("mmNarrative")); }},
    {"Amount", [](const Inputs& in) { return Amount("Amount", in.Text("edAmount")); }},
    {"PaymentDate", [](const Inputs& in) { return DateTime(in.Text("edPaymentDate")); }},
    {"BudgetStatus", [](const Inputs& in) { return Text(in.Text("cbBudgetIndexStatus")); }},
    {"BudgetPaymentType", [](const Inputs&) { return QString(); }},
    {"BudgetPurpose", [](const Inputs& in) { return Text(in.Text("cbBudgetIndexPurpose")); }},
    {"BudgetTaxPeriod", [](const Inputs& in) { return Text(in.Text("cbBudgetIndexTaxPeriod")); }},
    {"BudgetTaxDocNumber", [](const Inputs& in) { return Text(in.Text("cbBudgetIndexTaxDocNumber")); }},
    {"BudgetTaxDocDate", [](const Inputs& in) { return Text(in.Text("cbBudgetIndexTaxDocDate")); }},
    {"PaymentSystemIdentifier",
     [](const Inputs& in) {
         // Escaped as a whole after composing, so padding counts the characters typed.
         return MakePaymentSystemIdentifier(in.Text("edPaymentBankBIK"), FieldValue(in.Text("edSubSystem")),
                                            FieldValue(in.Text("edPaymentDate")),
                                            FieldValue(in.Text("edPaymentDayNumber")));
     }},
    {"PayerIdentifier", [](const Inputs& in) { return Text(in.Text("cbPayerIdentifier")); }},
    {"PayerName", [](const Inputs& in) { return Text(in.Text("edPayerName")); }},
    {"PayeeName", [](const Inputs& in) { return Text(in.Text("mmPayeeName")); }},
    {"PayeeINN", [](const Inputs& in) { return Text(in.Text("edPayeeINN")); }},
    {"PayeeKPP", [](const Inputs& in) { return Text(in.Text("edPayeeKPP")); }},
    {"PayeeBankAcc", [](const Inputs& in) { return Text(in.Text("edPayeeBankAcc")); }},
    {"PayeeBankName", [](const Inputs& in) { return Text(in.Text("edPayeeBankName")); }},
    // One field holds either a Russian BIK (digits only) or a SWIFT code.
    {"PayeeBankBIK",
     [](const Inputs& in) {
         const QString bank = in.Text("edPayeeBankBIK");
         return IsDigits(bank) ? Text(bank) : QString();
     }},
    {"PayeeBankSWIFT",
     [](const Inputs& in) {
         const QString bank = in.Text("edPayeeBankBIK");
         return IsDigits(bank) ? QString() : Text(bank);
     }},
    {"PayeeBankCorrAccount", [](const Inputs& in) { return Text(in.Text("edPayeeBankCorrAccount")); }},
    {"ChangeStatus", [](const Inputs& in) { return Text(ItemCode(in.Text("cbChangeStatus"))); }},
    {"KBK", [](const Inputs& in) { return Text(in.Text("cbKBK")); }},
    {"OKTMO", [](const Inputs& in) { return Text(in.Text("cbOKTMO")); }},
    {"ReceiptDate", [](const Inputs& in) { return Date(in.Text("edReceiptDate")); }},
    {"AccDocNo", [](const Inputs& in) { return Text(in.Text("edAccDocNo")); }},
    {"AccDocDate", [](const Inputs& in) { return Date(in.Text("edAccDocDate")); }},
    {"ChangeStatusReason", [](const Inputs& in) { return Text(in.Text("edChangeStatusReason")); }},
    {"TransKind", [](const Inputs& in) { return Text(in.Text("cbTransKind")); }},
    {"TransContent", [](const Inputs& in) { return Text(in.Text("edTransContent")); }},
    {"PaytCondition", [](const Inputs& in) { return Text(ItemCode(in.Text("cbPaytCondition"))); }},
    {"AcptTerm", [](const Inputs& in) { return IntegerText(in.Text("edAcptTerm")); }},
    {"MaturityDate", [](const Inputs& in) { return Date(in.Text("edMaturityDate")); }},
    {"DocDispatchDate", [](const Inputs& in) { return Date(in.Text("edDocDispatchDate")); }},
    {"PartialPaytNo", [](const Inputs& in) { return Text(in.Text("edPartialPaytNo")); }},
    {"PartialTransKind", [](const Inputs& in) { return Text(in.Text("cbPartialTransKind")); }},
    {"PartialSumResidualPayt",
     [](const Inputs& in) { return Amount("PartialSumResidualPayt", in.Text("edPartialSumResidualPayt")); }},
    {"PartialAccDocNo", [](const Inputs& in) { return Text(in.Text("edPartialAccDocNo")); }},
    {"PartialAccDocDate", [](const Inputs& in) { return Date(in.Text("edPartialAccDocDate")); }},
    {"Priority", [](const Inputs& in) { return Text(in.Text("cbPriority")); }},
    {"PackageID", [](const Inputs& in) { return Raw(in.Text("edPackage")); }},
};

QString Empty(const Inputs&)
{
    return QString();
}

// GIS GMP charges tab; the kind is the search type.
const Row GroupE[] = {
    {"ExportRequestKind", [](const Inputs& in) { return ChargeKindName(in.Index("cbChargeKind")); }},
    {"SupplierBillID", [](const Inputs& in) { return Text(in.Text("edSupplierBillID")); }, Kinds({0, 1})},
    {"PayerIdentifier", [](const Inputs& in) { return Text(in.Text("edPayerIdentifiers")); }, Kinds({0, 2})},
    {"TimeslotStartDate", Empty},
    {"TimeslotEndDate", Empty},
    {"PayeeID", Empty},
    {"TaxpayerINN", Empty},
    {"TaxpayerKPP", Empty},
    {"KBKClassifier", Empty},
    {"OKTMOClassifier", Empty},
    {"ExcludeUIN", Empty},
    {"PagingPageLength", [](const Inputs& in) { return IntegerNumber(in.state.PagingPageLength); }},
    {"PagingPageNumber", [](const Inputs& in) { return IntegerNumber(in.state.PagingPageNumber); }},
};

// GIS ZhKH payment document details tab; the kind is the search type.
const Row GroupF[] = {
    {"PaymentDocumentID", [](const Inputs& in) { return Text(in.Text("edPaymentDocumentID")); },
     Kinds({0, 1})},
    {"Year", [](const Inputs& in) { return IntegerText(in.Text("cbYear")); }, Kinds({0, 2, 3, 4})},
    {"Month", [](const Inputs& in) { return ItemNumber(in.Index("cbMonth")); }, Kinds({0, 2, 3, 4})},
    {"UnifiedAccountNumber", [](const Inputs& in) { return Text(in.Text("edUnifiedAccountNumber")); },
     Kinds({0, 2})},
    {"FIASHouseGuid", [](const Inputs& in) { return Text(in.Text("edFIASHouseGuid")); }, Kinds({0, 3})},
    {"PaymentDocumentNumber", [](const Inputs& in) { return Text(in.Text("edPaymentDocumentNumber")); },
     Kinds({0, 3})},
    {"AccountNumber", [](const Inputs& in) { return Text(in.Text("edAccountNumber")); }, Kinds({0, 3})},
    {"ServiceID", [](const Inputs& in) { return Text(in.Text("edServiceID")); }, Kinds({0, 4})},
    {"IndividualSurname", [](const Inputs& in) { return Text(in.Text("edIndividualSurname")); }},
    {"IndividualFirstName", [](const Inputs& in) { return Text(in.Text("edIndividualFirstName")); }},
    {"IndividualPatronymic", [](const Inputs& in) { return Text(in.Text("edIndividualPatronymic")); }},
    {"LegalINN", [](const Inputs& in) { return Text(in.Text("edLegalINN")); }},
    {"LegalKPP", [](const Inputs& in) { return Text(in.Text("edLegalKPP")); }},
};

// The order identifier of the GIS ZhKH notification and of its cancellation: composed from the
// typed texts, then escaped as a whole.
QString OrderID(const Inputs& in)
{
    return Raw(MakeOrderID(in.Text("edSubSystem2"), in.Text("edOrderDate"), in.Text("edOrderNum")));
}

QString TransportGUID(const Inputs& in)
{
    return in.NewGuidText();
}

// GIS ZhKH payment tab, notification of order execution; the kind is the order type.
const Row GroupG[] = {
    {"SupplierID", [](const Inputs& in) { return Text(in.Text("cbSupplierID")); }},
    {"SupplierName", [](const Inputs& in) { return Text(in.Text("edSupplierName")); }},
    {"EntprRecipientSurname", [](const Inputs& in) { return Text(in.Text("edRecipientSurname")); }},
    {"EntprRecipientFirstName", [](const Inputs& in) { return Text(in.Text("edRecipientFirstName")); }},
    {"EntprRecipientPatronymic", [](const Inputs& in) { return Text(in.Text("edRecipientPatronymic")); }},
    {"RecipientINN", [](const Inputs& in) { return Text(in.Text("edRecipientINN")); }},
    {"LegalRecipientKPP", [](const Inputs& in) { return Text(in.Text("edRecipientKPP")); }},
    {"LegalRecipientName", [](const Inputs& in) { return Text(in.Text("edRecipientName")); }},
    {"PaymentRecipientINN", [](const Inputs& in) { return Text(in.Text("edPaymentRecipientINN")); }},
    {"PaymentRecipientKPP", [](const Inputs& in) { return Text(in.Text("edPaymentRecipientKPP")); }},
    {"PaymentBankName", [](const Inputs& in) { return Text(in.Text("edPaymentBankName2")); }},
    {"PaymentRecipient", [](const Inputs& in) { return Text(in.Text("mmPaymentRecipient")); }},
    {"PaymentBankBIK", [](const Inputs& in) { return Text(in.Text("edPaymentBankBIK2")); }},
    {"PaymentOperatingAccountNumber",
     [](const Inputs& in) { return Text(in.Text("edPaymentOperatingAccountNumber")); }},
    {"PaymentCorrespondentBankAccount",
     [](const Inputs& in) { return Text(in.Text("edPaymentCorrespondentBankAccount")); }},
    {"OrderID", OrderID},
    {"OrderDate", [](const Inputs& in) { return Date(in.Text("edOrderDate")); }},
    {"OrderNum", [](const Inputs& in) { return Text(in.Text("edOrderNum")); }},
    {"Amount", [](const Inputs& in) { return Amount("Amount", in.Text("edAmount2")); }},
    {"PaymentPurpose", [](const Inputs& in) { return Text(in.Text("mmPaymentPurpose")); }},
    {"Comment", [](const Inputs& in) { return Text(in.Text("mmComment")); }},
    {"PaymentDocumentID", [](const Inputs& in) { return Text(in.Text("cbPaymentDocumentID")); },
     Kinds({0, 1})},
    {"PaymentDocumentNumber", [](const Inputs& in) { return Text(in.Text("edPaymentDocumentNumber2")); },
     Kinds({0, 3})},
    {"Year", [](const Inputs& in) { return IntegerText(in.Text("cbYear2")); }, Kinds({0, 2, 4, 5, 6})},
    {"Month", [](const Inputs& in) { return ItemNumber(in.Index("cbMonth2")); }, Kinds({0, 2, 4, 5, 6})},
    {"UnifiedAccountNumber", [](const Inputs& in) { return Text(in.Text("edUnifiedAccountNumber2")); },
     Kinds({0, 2})},
    {"FIASHouseGuid", [](const Inputs& in) { return Text(in.Text("edFIASHouseGuid2")); }, Kinds({0, 6})},
    {"HouseApartment", [](const Inputs& in) { return Text(in.Text("edHouseApartment")); }, Kinds({0, 6})},
    {"HousePlacement", [](const Inputs& in) { return Text(in.Text("edHousePlacement")); }, Kinds({0, 6})},
    {"ConsumerSurname", [](const Inputs& in) { return Text(in.Text("edConsumerSurname")); }, Kinds({0, 6})},
    {"ConsumerFirstName", [](const Inputs& in) { return Text(in.Text("edConsumerFirstName")); },
     Kinds({0, 6})},
    {"ConsumerPatronymic", [](const Inputs& in) { return Text(in.Text("edConsumerPatronymic")); },
     Kinds({0, 6})},
    {"ConsumerINN", [](const Inputs& in) { return Text(in.Text("edConsumerINN")); }, Kinds({0, 6})},
    {"ServiceID", [](const Inputs& in) { return Text(in.Text("edServiceID2")); }, Kinds({0, 5})},
    {"AccountNumber", [](const Inputs& in) { return Text(in.Text("edAccountNumber2")); }, Kinds({0, 4})},
    {"TransportGUID", TransportGUID},
};

// GIS ZhKH cancellation.
const Row GroupH[] = {
    {"OrderID", OrderID},
    {"CancellationDate", [](const Inputs& in) { return XmlDateText(FieldValue(in.state.Today)); }},
    {"Comment", [](const Inputs& in) { return Text(in.Text("edChangeStatusReason2")); }},
    {"TransportGUID", TransportGUID},
};

// GIS ZhKH state query.
const Row GroupI[] = {
    {"MessageGUID", [](const Inputs& in) { return Raw(in.Text("edPackage2")); }},
};

bool IsAny(TValuesType)
{
    return true;
}
template <TValuesType... Types> bool IsOneOf(TValuesType type)
{
    return ((type == Types) || ...);
}

// Groups in resolution order.
const Group Groups[] = {
    {IsAny, nullptr, GroupA},
    {IsOneOf<TValuesType::vtGISGMPPayment, TValuesType::vtGISGMPCharges>, nullptr, GroupB},
    {IsOneOf<TValuesType::vtGISGKXPayment, TValuesType::vtGISGKXCancel, TValuesType::vtGISGKXGetState,
             TValuesType::vtGISGKXCharges>,
     nullptr, GroupC},
    {IsOneOf<TValuesType::vtGISGMPPayment>, nullptr, GroupD},
    {IsOneOf<TValuesType::vtGISGMPCharges>, "cbChargeSearchType", GroupE},
    {IsOneOf<TValuesType::vtGISGKXCharges>, "cbChargeSearchType2", GroupF},
    {IsOneOf<TValuesType::vtGISGKXPayment>, "cbOrderType", GroupG},
    {IsOneOf<TValuesType::vtGISGKXCancel>, nullptr, GroupH},
    {IsOneOf<TValuesType::vtGISGKXGetState>, nullptr, GroupI},
};

// Keys are compared over ASCII letters only: a full Unicode fold would let, for example, the
// Kelvin sign stand for "K" and resolve a key nobody spelled.
bool SameKey(const QString& name, const char* key)
{
    return SameAsciiText(name, QLatin1StringView(key));
}

// XML 1.0 characters: tab, line feed, carriage return, U+0020 to U+D7FF, U+E000 to U+FFFD and
// the supplementary planes as well-formed surrogate pairs.
bool IsXmlText(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\t' || c == u'\n' || c == u'\r')
            continue;
        if (c < 0x20 || c == 0xFFFE || c == 0xFFFF)
            return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= text.size() || !QChar::isLowSurrogate(text.at(i + 1).unicode()))
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

const QString Unresolved = QStringLiteral("?");

} // namespace

QString GetFieldValue(const QString& name, const IControlReader& controls, const TValuesState& state)
{
    QString result = Unresolved;
    for (const Group& group : Groups) {
        if (!group.applies(state.ValuesType))
            continue;
        const int kind = group.kindControl
                             ? SelectedIndex(controls.ControlIndex(QLatin1StringView(group.kindControl)), 0)
                             : 0;
        const Inputs inputs{controls, state};
        for (const Row& row : group.rows) {
            if (SameKey(name, row.name)) {
                const bool applies = kind >= 0 && kind < 32 && (row.kinds & (1u << kind)) != 0;
                result = applies ? row.value(inputs) : QString();
            }
        }
    }
    if (result == Unresolved)
        throw EUnknownValue(QStringLiteral("Не определено значение для <") + name + QLatin1Char('>'));
    if (!IsXmlText(result))
        throw EInvalidValue(QStringLiteral("Недопустимый символ в значении <") + name + QLatin1Char('>'));
    return result;
}

QStringList ValueKeys(TValuesType type)
{
    QStringList keys;
    for (const Group& group : Groups)
        if (group.applies(type))
            for (const Row& row : group.rows)
                keys << QLatin1StringView(row.name);
    return keys;
}
