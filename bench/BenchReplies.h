#pragma once

// What the reading benchmarks share: the densest real reply there is, a page of payment documents,
// and the peak memory of the process.

#include "support/StateSystemReplies.h"

#include <QByteArray>
#include <QString>

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
