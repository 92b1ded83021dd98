#pragma once

// What the reading benchmarks share: the densest real reply there is, a page of payment documents,
// pages of charges as rich as real ones, and the peak memory of the process.

#include "support/StateSystemReplies.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/resource.h>

inline double PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// A GIS ZhKH reply with `total` payment documents, each with its account, executor and address.
inline QByteArray DocumentPageReply(int total)
{
    QString content;
    for (int number = 1; number <= total; ++number)
        content +=
            QStringLiteral(
                "<Charge><UnifiedAccountNumber>ЕЛС-%1</UnifiedAccountNumber><ExecutorInformation>"
                "<INN>3525000000</INN><Legal><Name>ООО Управляющая компания</Name><KPP>352501001</KPP>"
                "</Legal><PaymentInformation><BankName>Банк</BankName><BankBIK>041909644</BankBIK>"
                "<operatingAccountNumber>40702810900000000001</operatingAccountNumber></PaymentInformation>"
                "</ExecutorInformation><ConsumerInformation><address><region>Вологодская обл.</region>"
                "<city>Вологда</city><street>ул. Мира</street><housenum>%1</housenum></address>"
                "</ConsumerInformation><PaymentDocument><PaymentDocumentNumber>%1</PaymentDocumentNumber>"
                "<PaymentDocumentDetails><Debt>123456</Debt><Reminder>99</Reminder>"
                "</PaymentDocumentDetails><Year>2016</Year><Month>2</Month></PaymentDocument></Charge>")
                .arg(number);
    return Envelope(DocumentDetails(content));
}

// A charge as rich as a real one: every field the display shows (the payee with its OGRN and bank,
// the budget index, the payer, additional data, the quittance status), about thirty memo lines,
// and the signature of the charge's issuer with its certificate, which is most of its bytes.
inline QString ChargeDocument(int number)
{
    const QString id = QStringLiteral("188101771408147%1").arg(number, 5, 10, QLatin1Char('0'));
    static const QString certificate = QString::fromLatin1(QByteArray(1100, 'M').toBase64());
    return QStringLiteral(
               "<Charge xmlns=\"http://roskazna.ru/gisgmp/xsd/116/Charge\" supplierBillID=\"%1\" "
               "billDate=\"2016-02-01T10:00:00+03:00\" ValidUntil=\"2016-03-01T00:00:00+03:00\" "
               "TotalAmount=\"150000\"><BillFor>Штраф по постановлению %1 об административном "
               "правонарушении в области дорожного движения</BillFor>"
               "<SupplierOrgInfo><Name>УФК по г. Москве (ГУ МВД России по г. Москве)</Name>"
               "<INN>7707089101</INN><KPP>770731005</KPP><OGRN>1037700029620</OGRN><Account>"
               "<AccountNumber>40101810800000010041</AccountNumber><Bank><Name>ГУ Банка России по ЦФО"
               "</Name><BIK>044583001</BIK><CorrespondentBankAccount>30101810400000000225"
               "</CorrespondentBankAccount></Bank></Account></SupplierOrgInfo>"
               "<BudgetIndex><Status>24</Status><Purpose>0</Purpose><TaxPeriod>0</TaxPeriod>"
               "<TaxDocNumber>0</TaxDocNumber><TaxDocDate>0</TaxDocDate><PaymentType>0</PaymentType>"
               "</BudgetIndex><KBK>18811630020016000140</KBK><OKTMO>45383000</OKTMO><Payer>"
               "<UnifiedPayerIdentifier>1010000000000123456789643</UnifiedPayerIdentifier>"
               "<AltPayerIdentifier>2200000000000000000000643</AltPayerIdentifier></Payer>"
               "<AdditionalData><Name>Номер постановления</Name><Value>%1</Value></AdditionalData>"
               "<ds:Signature xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\"><ds:SignedInfo>"
               "<ds:CanonicalizationMethod Algorithm=\"http://www.w3.org/2001/10/xml-exc-c14n#\"/>"
               "<ds:SignatureMethod "
               "Algorithm=\"urn:ietf:params:xml:ns:cpxmlsec:algorithms:gostr34102012-gostr34112012-256\"/>"
               "<ds:Reference "
               "URI=\"\"><ds:DigestValue>3Bf5G6s2LUW8wY0VhYg9w9kxq5Gv1F1c2l3GQ7f0FwE=</ds:DigestValue>"
               "</ds:Reference></ds:SignedInfo><ds:SignatureValue>%2</ds:SignatureValue><ds:KeyInfo>"
               "<ds:X509Data><ds:X509Certificate>%3</ds:X509Certificate></ds:X509Data></ds:KeyInfo>"
               "</ds:Signature></Charge>")
        .arg(id, QString::fromLatin1(QByteArray(64, 'S').toBase64()), certificate);
}

inline QString ChargeInfoOf(int number)
{
    return QStringLiteral("<ChargeInfo><AmountToPay>150000</AmountToPay><QuittanceWithPaymentStatus>3"
                          "</QuittanceWithPaymentStatus><IsRevoked date=\"2016-02-10T12:00:00\">false"
                          "</IsRevoked><ChargeData>%1</ChargeData></ChargeInfo>")
        .arg(QString::fromLatin1(ChargeDocument(number).toUtf8().toBase64()));
}

// `total` charges over `pages` replies; every reply but the last announces another page.
inline QList<QByteArray> ChargePages(int total, int pages)
{
    QList<QByteArray> replies;
    int number = 0;
    for (int page = 0; page < pages; ++page) {
        QStringList charges;
        const int end = total * (page + 1) / pages;
        while (number < end)
            charges << ChargeInfoOf(++number);
        const QString more =
            page + 1 < pages ? QStringLiteral("hasMore=\"true\"") : QStringLiteral("hasMore=\"false\"");
        replies << Envelope(ExportCharges(more, charges));
    }
    return replies;
}
