#include "foundation/PayerIdentifier.h"

#include "foundation/Exceptions.h"

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
