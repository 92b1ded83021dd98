#include "gisgmp/GisGmpCodes.h"

#include "foundation/Exceptions.h"

#include <array>

namespace {

// Pads on the left but never cuts: a value that is too long stays whole and fails the length check.
QString ZeroPadded(const QString& text, qsizetype width)
{
    return text.rightJustified(width, u'0', false);
}

} // namespace

QString MakePayerIdentifiers(const QString& kind, const QString& innOrKio, const QString& kpp,
                             const QString& citizenship, const QString& documentNumber,
                             const QString& documentType)
{
    QString identifier;
    qsizetype expected = 0;
    if (kind == u"1") {
        if (documentNumber.isEmpty())
            return QString();
        identifier =
            ZeroPadded(documentType, 2) + ZeroPadded(documentNumber, 20) + ZeroPadded(citizenship, 3);
        expected = 25;
    } else if (kind == u"2") {
        identifier = u'2' + innOrKio + kpp;
        expected = 20;
    } else if (kind == u"3") {
        identifier = u'3' + innOrKio + kpp;
        expected = innOrKio.size() == 5 ? 15 : 20;
    } else if (kind == u"4") {
        identifier = u'4' + innOrKio;
        expected = 13;
    } else {
        return QString();
    }

    if (identifier.size() != expected)
        throw Exception(QStringLiteral("Неверная длина идентификатора плательщика: %1. Ожидалось: %2")
                            .arg(identifier.size())
                            .arg(expected));
    return identifier;
}

QString ChargeKindName(int chargeKindIndex)
{
    static const std::array<const char*, 9> names = {
        "CHARGE",        "CHARGENOTFULLMATCHED",         "CHARGESTATUS",
        "CHARGE-PRIOR",  "CHARGE-PRIOR-NOTFULLMATCHED",  "CHARGE-PRIOR-STATUS",
        "TEMP-CHARGING", "TEMP-CHARGING-NOTFULLMATCHED", "TEMP-CHARGING-STATUS",
    };
    if (chargeKindIndex < 0 || chargeKindIndex >= int(names.size()))
        return QString::fromLatin1(names[0]);
    return QString::fromLatin1(names[std::size_t(chargeKindIndex)]);
}

QString QuittanceStatusText(const QString& statusCode)
{
    if (statusCode == u"1")
        return QStringLiteral("1 (сквитировано)");
    if (statusCode == u"2")
        return QStringLiteral("2 (предварительно сквитировано)");
    if (statusCode == u"3")
        return QStringLiteral("3 (не сквитировано)");
    if (statusCode == u"4")
        return QStringLiteral("4 (сквитировано с отсутствующим в системе платежом)");
    return statusCode;
}
