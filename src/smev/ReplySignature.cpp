#include "smev/ReplySignature.h"

#include "foundation/CertificateInfo.h"
#include "smev/SignatureVerifier.h"

#include <QStringList>

namespace {

const QString Refused = QStringLiteral("Ответ СМЭВ не принят: ");

} // namespace

void CheckReplySignature(const QByteArray& reply, const QByteArray& trusted)
{
    const SignatureCheck check = CheckEnvelopeSignature(reply);
    // Told in the order in which a forger would have to get past them.
    if (!check.signaturePresent)
        throw EReplySignatureException(Refused + QStringLiteral("ответ не подписан."));
    if (!check.digestMatches)
        throw EReplySignatureException(
            Refused +
            QStringLiteral("хэш тела ответа не совпадает с подписанным, ответ изменен после подписи."));
    if (!check.signatureValueVerifies)
        throw EReplySignatureException(
            Refused + QStringLiteral("подпись не подтверждается сертификатом, приложенным к ответу."));
    if (!check.verified())
        throw EReplySignatureException(Refused + QStringLiteral("подпись составлена не по правилам: ") +
                                       check.failures.join(QStringLiteral("; ")) + u'.');
    const QString failure = CertificateTrustFailure(check.certificate, trusted);
    if (!failure.isEmpty())
        throw EReplySignatureException(Refused +
                                       QStringLiteral("сертификат подписи \"%1\" не доверенный: %2.")
                                           .arg(DescribeCertificate(check.certificate).subject, failure));
}
