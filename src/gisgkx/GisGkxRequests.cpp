#include "gisgkx/GisGkxRequests.h"

#include "smev/SmevEnvelope.h"
#include "smev/SoapConstants.h"
#include "smev/SoapValues.h"
#include "smev/SoapWriter.h"

// Values are read in document order, statement by statement: the GUID-valued keys draw a new
// value on every read, and the first key without a source is the one reported.

namespace {

XmlTag Rev(QStringView name)
{
    return XmlTag(u"rev", name);
}

// The common frame: the root declares rev for everything inside, the header included.
QString Request(QStringView rootName, ISOAPValues& values, QString (*appData)(const ValueReader&))
{
    const QString header = BuildSmevHeader(values, false);
    const QString content = appData(ValueReader(values));
    return Rev(rootName)
        .xmlns(u"rev", SMEV_REV_NS)
        .always(header + Rev(u"MessageData").always(Rev(u"AppData").always(content)));
}

QString PaymentDocumentDetails(const ValueReader& value)
{
    QString t;
    t += Rev(u"PaymentDocumentID").ifNonEmpty(value("PaymentDocumentID"));
    t += Rev(u"Year").ifNonEmpty(value("Year"));
    t += Rev(u"Month").ifNonEmpty(value("Month"));
    t += Rev(u"UnifiedAccountNumber").ifNonEmpty(value("UnifiedAccountNumber"));
    t += Rev(u"FIASHouseGuid").ifNonEmpty(value("FIASHouseGuid"));
    t += Rev(u"PaymentDocumentNumber").ifNonEmpty(value("PaymentDocumentNumber"));
    t += Rev(u"AccountNumber").ifNonEmpty(value("AccountNumber"));
    t += Rev(u"ServiceID").ifNonEmpty(value("ServiceID"));

    QString individual;
    individual += Rev(u"Surname").ifNonEmpty(value("IndividualSurname"));
    individual += Rev(u"FirstName").ifNonEmpty(value("IndividualFirstName"));
    individual += Rev(u"Patronymic").ifNonEmpty(value("IndividualPatronymic"));
    QString legal;
    legal += Rev(u"INN").ifNonEmpty(value("LegalINN"));
    legal += Rev(u"KPP").ifNonEmpty(value("LegalKPP"));
    t += Rev(u"AmountRequired")
             .ifNonEmpty(Rev(u"Individual").ifNonEmpty(individual) + Rev(u"Legal").ifNonEmpty(legal));
    return Rev(u"PaymentDocumentDetailsRequest").always(t);
}

QString NotificationOfOrderExecution(const ValueReader& value)
{
    const QString organization = Rev(u"payment-organization-guid").always(value("payment-organization-guid"));

    QString supplier;
    supplier += Rev(u"SupplierID").always(value("SupplierID"));
    supplier += Rev(u"SupplierName").always(value("SupplierName"));

    QString recipient = Rev(u"INN").always(value("RecipientINN"));
    QString entrepreneur;
    entrepreneur += Rev(u"Surname").ifNonEmpty(value("EntprRecipientSurname"));
    entrepreneur += Rev(u"FirstName").ifNonEmpty(value("EntprRecipientFirstName"));
    entrepreneur += Rev(u"Patronymic").ifNonEmpty(value("EntprRecipientPatronymic"));
    recipient += Rev(u"Entpr").ifNonEmpty(entrepreneur);
    QString legal;
    legal += Rev(u"KPP").ifNonEmpty(value("LegalRecipientKPP"));
    legal += Rev(u"Name").ifNonEmpty(value("LegalRecipientName"));
    recipient += Rev(u"Legal").ifNonEmpty(legal);
    QString payment;
    payment += Rev(u"RecipientINN").always(value("PaymentRecipientINN"));
    payment += Rev(u"RecipientKPP").ifNonEmpty(value("PaymentRecipientKPP"));
    payment += Rev(u"BankName").always(value("PaymentBankName"));
    payment += Rev(u"PaymentRecipient").always(value("PaymentRecipient"));
    payment += Rev(u"BankBIK").always(value("PaymentBankBIK"));
    payment += Rev(u"operatingAccountNumber").always(value("PaymentOperatingAccountNumber"));
    payment += Rev(u"CorrespondentBankAccount").always(value("PaymentCorrespondentBankAccount"));
    recipient += Rev(u"PaymentInformation").always(payment);

    QString order;
    order += Rev(u"OrderID").always(value("OrderID"));
    order += Rev(u"OrderDate").always(value("OrderDate"));
    order += Rev(u"OrderNum").always(value("OrderNum"));
    order += Rev(u"Amount").always(value("Amount"));
    order += Rev(u"PaymentPurpose").ifNonEmpty(value("PaymentPurpose"));
    order += Rev(u"Comment").ifNonEmpty(value("Comment"));
    order += Rev(u"PaymentDocumentID").ifNonEmpty(value("PaymentDocumentID"));
    order += Rev(u"PaymentDocumentNumber").ifNonEmpty(value("PaymentDocumentNumber"));
    order += Rev(u"Year").ifNonEmpty(value("Year"));
    order += Rev(u"Month").ifNonEmpty(value("Month"));
    order += Rev(u"UnifiedAccountNumber").ifNonEmpty(value("UnifiedAccountNumber"));
    QString address;
    address += Rev(u"FIASHouseGuid").ifNonEmpty(value("FIASHouseGuid"));
    address += Rev(u"Apartment").ifNonEmpty(value("HouseApartment"));
    address += Rev(u"Placement").ifNonEmpty(value("HousePlacement"));
    QString consumer;
    consumer += Rev(u"Surname").ifNonEmpty(value("ConsumerSurname"));
    consumer += Rev(u"FirstName").ifNonEmpty(value("ConsumerFirstName"));
    consumer += Rev(u"Patronymic").ifNonEmpty(value("ConsumerPatronymic"));
    address += Rev(u"Ind").ifNonEmpty(consumer);
    address += Rev(u"INN").ifNonEmpty(value("ConsumerINN"));
    order += Rev(u"AddressAndConsumer").ifNonEmpty(address);
    order += Rev(u"Service").ifNonEmpty(Rev(u"ServiceID").ifNonEmpty(value("ServiceID")));
    order += Rev(u"AccountNumber").ifNonEmpty(value("AccountNumber"));

    QString notification = Rev(u"SupplierInfo").always(supplier);
    notification += Rev(u"RecipientInfo").always(recipient);
    notification += Rev(u"OrderInfo").always(order);
    notification += Rev(u"TransportGUID").always(value("TransportGUID"));

    return Rev(u"importNotificationsOfOrderExecution")
        .always(organization + Rev(u"NotificationOfOrderExecutionType").always(notification));
}

QString NotificationCancellation(const ValueReader& value)
{
    const QString organization = Rev(u"payment-organization-guid").always(value("payment-organization-guid"));
    QString cancellation;
    cancellation += Rev(u"OrderID").always(value("OrderID"));
    cancellation += Rev(u"CancellationDate").always(value("CancellationDate"));
    cancellation += Rev(u"Comment").ifNonEmpty(value("Comment"));
    cancellation += Rev(u"TransportGUID").always(value("TransportGUID"));
    return Rev(u"importNotificationsOfOrderExecutionCancellation")
        .always(organization + Rev(u"NotificationOfOrderExecutionCancellation").always(cancellation));
}

QString Acknowledgment(const ValueReader& value)
{
    return Rev(u"AcknowledgmentRequest").always(Rev(u"MessageGUID").always(value("MessageGUID")));
}

} // namespace

QString SoapCreateExportPaymentDocumentDetailsRequest(const QString& /*containerName*/, ISOAPValues& values)
{
    return Request(u"exportPaymentDocumentDetailsRequest", values, PaymentDocumentDetails);
}

QString SoapCreateImportNotificationsOfOrderExecutionRequest(const QString& /*containerName*/,
                                                             ISOAPValues& values)
{
    return Request(u"importNotificationsOfOrderExecutionRequest", values, NotificationOfOrderExecution);
}

QString SoapCreateImportNotificationsOfOrderExecutionCancellationRequest(const QString& /*containerName*/,
                                                                         ISOAPValues& values)
{
    return Request(u"importNotificationsOfOrderExecutionCancellationRequest", values,
                   NotificationCancellation);
}

QString SoapCreateGetStateRequest(const QString& /*containerName*/, ISOAPValues& values)
{
    return Request(u"getStateRequest", values, Acknowledgment);
}
