#include "sandbox/DemoData.h"
#include "sandbox/SandboxError.h"

#include "foundation/KeyValueFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString Str(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isDouble() ? QString::number(value.toInteger()) : value.toString();
}

qint64 Int(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toInteger();
}

DemoCharge ReadCharge(const QJsonObject& object)
{
    const QJsonObject supplier = object.value(QLatin1String("supplier")).toObject();
    DemoCharge charge{Str(object, "supplierBillID"),
                      Str(object, "payer"),
                      Str(object, "billDate"),
                      Str(object, "validUntil"),
                      Str(object, "billFor"),
                      Int(object, "totalAmount"),
                      Str(object, "quittanceStatus"),
                      Str(supplier, "name"),
                      Str(supplier, "inn"),
                      Str(supplier, "kpp"),
                      Str(supplier, "ogrn"),
                      Str(supplier, "account"),
                      Str(supplier, "bank"),
                      Str(supplier, "bik"),
                      Str(object, "kbk"),
                      Str(object, "oktmo")};
    if (charge.supplierBillId.isEmpty() || charge.payer.isEmpty())
        throw ESandboxError(QStringLiteral("начисление без supplierBillID или payer"));
    return charge;
}

DemoAccountMonth ReadAccountMonth(const QJsonObject& object)
{
    const QJsonObject consumer = object.value(QLatin1String("consumer")).toObject();
    const QJsonObject executor = object.value(QLatin1String("executor")).toObject();
    DemoAccountMonth account;
    account.unifiedAccountNumber = Str(object, "unifiedAccountNumber");
    account.year = int(Int(object, "year"));
    account.month = int(Int(object, "month"));
    account.surname = Str(consumer, "surname");
    account.firstName = Str(consumer, "firstName");
    account.patronymic = Str(consumer, "patronymic");
    account.region = Str(consumer, "region");
    account.city = Str(consumer, "city");
    account.street = Str(consumer, "street");
    account.houseNumber = Str(consumer, "housenum");
    account.apartment = Str(consumer, "apartment");
    account.fiasHouseGuid = Str(consumer, "fiasHouseGuid");
    account.executorInn = Str(executor, "inn");
    account.executorKpp = Str(executor, "kpp");
    account.executorName = Str(executor, "name");
    account.executorBank = Str(executor, "bankName");
    account.executorBik = Str(executor, "bik");
    account.executorAccount = Str(executor, "account");
    for (const QJsonValue& value : object.value(QLatin1String("paymentDocuments")).toArray()) {
        const QJsonObject document = value.toObject();
        account.documents.append({Str(document, "number"), Str(document, "accountNumber"),
                                  Int(document, "debt"), Int(document, "reminder")});
    }
    for (const QJsonValue& value : object.value(QLatin1String("services")).toArray()) {
        const QJsonObject service = value.toObject();
        account.services.append({Str(service, "id"), Str(service, "name"), Int(service, "amount")});
    }
    if (account.unifiedAccountNumber.isEmpty())
        throw ESandboxError(QStringLiteral("платежные документы без unifiedAccountNumber"));
    return account;
}

} // namespace

DemoData LoadDemoData(const QString& path)
{
    // The shipped set lives in the library's resources, which a static library has to register.
    Q_INIT_RESOURCE(DemoData);
    const QString source = path.isEmpty() ? QStringLiteral(":/sandbox/demo-data.json") : path;
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(ReadFileBytes(source, kLargeFileLimit), &error);
    if (!json.isObject())
        throw ESandboxError(
            QStringLiteral("Файл данных %1 не принят: это не объект JSON (%2). Исправьте файл --data.")
                .arg(source, error.errorString()));
    DemoData data;
    try {
        for (const QJsonValue& value : json.object().value(QLatin1String("charges")).toArray())
            data.charges.append(ReadCharge(value.toObject()));
        for (const QJsonValue& value : json.object().value(QLatin1String("paymentDocuments")).toArray())
            data.accounts.append(ReadAccountMonth(value.toObject()));
    } catch (const ESandboxError& e) {
        throw ESandboxError(
            QStringLiteral("Файл данных %1 не принят: %2. Исправьте файл --data.").arg(source, e.message()));
    }
    return data;
}
