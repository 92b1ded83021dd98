#pragma once

// The charges and payment documents the sandbox answers with, read from a JSON file that a trainer
// can read and change. The shipped set is compiled in; `--data FILE` names another.

#include <QList>
#include <QString>

struct DemoCharge {
    QString supplierBillId; // the UIN
    QString payer;          // the payer identifier the charge is searched by
    QString billDate;       // xs:dateTime
    QString validUntil;     // xs:date
    QString billFor;
    qint64 totalAmount = 0; // kopecks
    QString quittanceStatus;
    QString supplierName, supplierInn, supplierKpp, supplierOgrn, account, bankName, bik;
    QString kbk, oktmo;
};

struct DemoPaymentDocument {
    QString number, accountNumber;
    qint64 debt = 0, reminder = 0;
};

struct DemoService {
    QString id, name;
    qint64 amount = 0;
};

// The payment documents of one account for one month.
struct DemoAccountMonth {
    QString unifiedAccountNumber;
    int year = 0, month = 0;
    QString surname, firstName, patronymic;
    QString region, city, street, houseNumber, apartment, fiasHouseGuid;
    QString executorInn, executorKpp, executorName, executorBank, executorBik, executorAccount;
    QList<DemoPaymentDocument> documents;
    QList<DemoService> services;
};

struct DemoData {
    QList<DemoCharge> charges;
    QList<DemoAccountMonth> accounts;
};

// The data set in `path`, or the shipped one when `path` is empty. Raises ESandboxError naming
// what is wrong with the file.
DemoData LoadDemoData(const QString& path = {});
