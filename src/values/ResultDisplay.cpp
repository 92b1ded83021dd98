#include "values/ResultDisplay.h"

#include "foundation/Convert.h"
#include "foundation/TextHelper.h"
#include "gisgmp/GisGmpCodes.h"

#include <QDateTime>

#include <span>
#include <string_view>
#include <utility>

namespace {

enum class TConversion { None, Amount, UtcDateTime, LocalDateTime, YesNo, QuittanceStatus };

// Exact paths must equal the line's name; suffix paths match at any depth of nesting.
enum class TMatch { Exact, Suffix };

// Views, so that a record's lines are matched without building a string per comparison.
struct TLabelRow {
    std::u16string_view path;
    TMatch match;
    std::u16string_view label;
    TConversion conversion;
};

using enum TConversion;
using enum TMatch;

const TLabelRow kChargeRows[] = {
    {u"billDate", Exact, u"Дата начисления=", UtcDateTime},
    {u"ValidUntil", Exact, u"Актуальность начисления=", UtcDateTime},
    {u"TotalAmount", Exact, u"Сумма=", Amount},
    {u"AmountToPay", Exact, u"Остаток=", Amount},
    {u"BillFor", Exact, u"Назначение=", None},
    {u"SupplierOrgInfo\\Name", Exact, u"Получатель средств=", None},
    {u"SupplierOrgInfo\\INN", Exact, u"ИНН=", None},
    {u"SupplierOrgInfo\\KPP", Exact, u"КПП=", None},
    {u"SupplierOrgInfo\\Account\\Bank\\Name", Exact, u"Банк=", None},
    {u"SupplierOrgInfo\\Account\\Bank\\BIK", Exact, u"БИК=", None},
    {u"SupplierOrgInfo\\Account\\AccountNumber", Exact, u"Счет=", None},
    {u"supplierBillID", Exact, u"УИН=", None},
    {u"SupplierOrgInfo\\OGRN", Exact, u"ОГРН=", None},
    {u"SupplierOrgInfo\\Account\\Bank\\SWIFT", Exact, u"SWIFT=", None},
    {u"KBK", Exact, u"КБК=", None},
    {u"OKTMO", Exact, u"ОКТМО=", None},
    {u"UnifiedPayerIdentifier", Exact, u"УИП=", None},
    {u"TreasureBranch", Exact, u"ОФК=", None},
    {u"TOFK", Exact, u"Код ОФК=", None},
    {u"AltPayerIdentifier", Exact, u"Идентификатор плательщика для ФЛ=", None},
    {u"QuittanceWithPaymentStatus", Exact, u"Статус квитирования=", QuittanceStatus},
    {u"IsRevoked", Exact, u"Аннулировано=", YesNo},
    {u"IsRevoked\\date", Exact, u"Дата аннулирования=", LocalDateTime},
};

const TLabelRow kPaymentDocumentRows[] = {
    {u"PaymentDocumentNumber", Exact, u"Номер платежного документа=", None},
    {u"AccountNumber", Exact, u"Номер лицевого счета или иной идентификатор плательщика=", None},
    {u"ServiceID", Exact, u"Код ЖКУ=", None},
    {u"UnifiedAccountNumber", Exact, u"Единый лицевой счет=", None},
    {u"ConsumerInformation\\address\\region", Exact, u"Субъект РФ=", None},
    {u"ConsumerInformation\\address\\place", Exact, u"Населенный пункт=", None},
    {u"ConsumerInformation\\address\\area", Exact, u"Район=", None},
    {u"ConsumerInformation\\address\\street", Exact, u"Улица=", None},
    {u"ConsumerInformation\\address\\FIASHouseGuid", Exact, u"ГУИ дома по ФИАС=", None},
    {u"ConsumerInformation\\address\\address_string", Exact, u"Адрес помещения=", None},
    {u"ConsumerInformation\\address\\city", Exact, u"Город=", None},
    {u"ConsumerInformation\\address\\buildnum", Exact, u"Номер корпуса=", None},
    {u"ConsumerInformation\\address\\strucnum", Exact, u"Номер строения=", None},
    {u"ConsumerInformation\\address\\housenum", Exact, u"Номер дома=", None},
    {u"ConsumerInformation\\address\\apartment", Exact, u"Номер жилого помещения=", None},
    {u"ConsumerInformation\\address\\placement", Exact, u"Номер комнаты жилого помещения=", None},
    {u"ExecutorInformation\\INN", Suffix, u"ИНН исполнителя=", None},
    {u"ExecutorInformation\\Entpr\\Surname", Suffix, u"Фамилия исполнителя=", None},
    {u"ExecutorInformation\\Entpr\\FirstName", Suffix, u"Имя исполнителя=", None},
    {u"ExecutorInformation\\Entpr\\Patronymic", Suffix, u"Отчество исполнителя=", None},
    {u"ExecutorInformation\\Legal\\KPP", Suffix, u"КПП исполнителя=", None},
    {u"ExecutorInformation\\Legal\\Name", Suffix, u"Название исполнителя=", None},
    {u"ExecutorInformation\\PaymentInformation\\RecipientKPP", Suffix, u"КПП получателя средств=", None},
    {u"ExecutorInformation\\PaymentInformation\\RecipientINN", Suffix, u"ИНН получателя средств=", None},
    {u"ExecutorInformation\\PaymentInformation\\BankName", Suffix, u"Банк получателя=", None},
    {u"ExecutorInformation\\PaymentInformation\\PaymentRecipient", Suffix, u"Получатель средств=", None},
    {u"ExecutorInformation\\PaymentInformation\\BankBIK", Suffix, u"БИК банка получателя=", None},
    {u"ExecutorInformation\\PaymentInformation\\operatingAccountNumber", Suffix, u"Номер расчетного счета=",
     None},
    {u"ExecutorInformation\\PaymentInformation\\CorrespondentBankAccount", Suffix,
     u"Корсчет банка получателя=", None},
    {u"ExecutorInformation\\MailingAddress", Suffix, u"Почтовый адрес исполнителя=", None},
    {u"PaymentDocumentDetails\\PaymentDocumentID", Exact, u"Идентификатор платежного документа=", None},
    {u"PaymentDocumentDetails\\AccountNumber", Exact,
     u"Номер лицевого счета или иной идентификатор плательщика=", None},
    {u"PaymentDocumentDetails\\Reminder", Exact, u"Остаток к оплате=", None},
    {u"PaymentDocumentDetails\\Debt", Exact, u"Задолженность=", Amount},
    {u"ErrorMessage\\ErrorCode", Suffix, u"ОШИБКА: Код=", None},
    {u"ErrorMessage\\Description", Suffix, u"ОШИБКА: Текст=", None},
    {u"Year", Exact, u"Год=", None},
    {u"Month", Exact, u"Месяц=", None},
};

std::span<const TLabelRow> Rows(TRecordTable table)
{
    switch (table) {
    case TRecordTable::rtCharges:
        return kChargeRows;
    case TRecordTable::rtPaymentDocuments:
        return kPaymentDocumentRows;
    case TRecordTable::rtNone:
        break;
    }
    return {};
}

bool Matches(const TLabelRow& row, QStringView name)
{
    const QStringView path(row.path);
    if (row.match == Suffix)
        return name.endsWith(path, Qt::CaseInsensitive);
    return SameAsciiText(name, path);
}

QString Converted(TConversion conversion, const QString& value)
{
    switch (conversion) {
    case None:
        return value;
    case Amount:
        return KopecksText(value);
    case UtcDateTime:
        return XmlDateTimeUtcText(value);
    case LocalDateTime:
        return XmlDateTimeLocalText(value);
    case YesNo:
        return YesNoText(value);
    case QuittanceStatus:
        return QuittanceStatusText(value);
    }
    return value;
}

} // namespace

void LabelRecordLines(TRecordTable table, QStringList& lines)
{
    const std::span<const TLabelRow> rows = Rows(table);
    if (rows.empty())
        return;
    for (QString& line : lines) {
        // A line without "=" has an empty name, which no row matches.
        const qsizetype separator = line.indexOf(u'=');
        if (separator < 0)
            continue;
        const QStringView name = QStringView(line).left(separator);
        for (const TLabelRow& row : rows) {
            if (!Matches(row, name))
                continue;
            const QString value = Converted(row.conversion, line.mid(separator + 1));
            QString labelled;
            labelled.reserve(qsizetype(row.label.size()) + value.size());
            labelled += QStringView(row.label);
            labelled += value;
            line = std::move(labelled);
            break; // the paths of a table are distinct: nothing else can match
        }
    }
}

QString RecordBlockText(qsizetype number, const QStringList& lines)
{
    QString text;
    AppendRecordBlockText(text, number, lines);
    return text;
}

void AppendRecordBlockText(QString& text, qsizetype number, const QStringList& lines)
{
    text += u"Начисление #";
    text += QString::number(number);
    text += u'\n';
    for (const QString& line : lines) {
        text += line;
        text += u'\n';
    }
}

QString KopecksText(const QString& value)
{
    return value.isEmpty() ? value : FormatDecimalText(value, 2, -2);
}

QString ShortDateTimeText(const QDateTime& dateTime)
{
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    QString text = QStringLiteral("%1.%2.%3")
                       .arg(date.day(), 2, 10, QLatin1Char('0'))
                       .arg(date.month(), 2, 10, QLatin1Char('0'))
                       .arg(date.year(), 4, 10, QLatin1Char('0'));
    if (time != QTime(0, 0))
        text += QStringLiteral(" %1:%2:%3")
                    .arg(time.hour())
                    .arg(time.minute(), 2, 10, QLatin1Char('0'))
                    .arg(time.second(), 2, 10, QLatin1Char('0'));
    return text;
}

QString XmlDateTimeUtcText(const QString& value)
{
    if (value.isEmpty())
        return value;
    bool zoned = false;
    const QDateTime dateTime = XmlTextToDateTime(value, &zoned);
    return ShortDateTimeText(zoned ? dateTime.toUTC() : dateTime);
}

QString XmlDateTimeLocalText(const QString& value)
{
    if (value.isEmpty())
        return value;
    bool zoned = false;
    const QDateTime dateTime = XmlTextToDateTime(value, &zoned);
    return ShortDateTimeText(zoned ? dateTime.toLocalTime() : dateTime);
}

QString YesNoText(const QString& value)
{
    if (value.compare(u"true", Qt::CaseInsensitive) == 0)
        return QStringLiteral("Да");
    if (value.compare(u"false", Qt::CaseInsensitive) == 0)
        return QStringLiteral("Нет");
    return value;
}
