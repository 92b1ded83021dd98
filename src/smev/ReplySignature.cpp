#include "smev/ReplySignature.h"

#include "foundation/CertificateInfo.h"
#include "foundation/GostOpenSsl.h"
#include "foundation/XmlHelper.h"
#include "smev/SignatureVerifier.h"

#include <QCryptographicHash>
#include <QStringList>

namespace {

const QString Refused = QStringLiteral("Ответ СМЭВ не принят: ");

// Compared by key: a certificate issued again for the same key is the same signer.
bool HasKeyOf(const QByteArray& certificate, const QList<QByteArray>& others)
{
    const X509Ptr subject = ReadCertificate(certificate);
    const EVP_PKEY* key = subject ? X509_get0_pubkey(subject.get()) : nullptr;
    bool found = false;
    for (const QByteArray& other : others) {
        const X509Ptr parsed = ReadCertificate(other);
        const EVP_PKEY* otherKey = parsed ? X509_get0_pubkey(parsed.get()) : nullptr;
        found = found || (key && otherKey && EVP_PKEY_eq(key, otherKey) == 1);
    }
    TakeOpenSslErrors();
    return found;
}

} // namespace

QString CheckReplySignature(const QByteArray& reply, const ReplySigners& signers,
                            const std::function<bool()>& stopRequested)
{
    // The Body's canonical form is only hashed: a long reply costs no second copy of itself.
    const SignatureCheck check = CheckEnvelopeSignature(reply, {false, stopRequested});
    if (check.stopped)
        throw EXMLException(QStringLiteral("Чтение документа XML прервано."));
    if (!check.unreadable.isEmpty())
        throw EXMLException(QStringLiteral("Документ XML не принят: ") + check.unreadable);
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
    const QString failure =
        HasKeyOf(check.certificate, signers.own)
            ? QStringLiteral("это сертификат ключа самого клиента")
            : ReplySignerFailure(check.certificate, signers.trusted, signers.issuedByTrusted);
    if (!failure.isEmpty())
        throw EReplySignatureException(Refused +
                                       QStringLiteral("сертификат подписи \"%1\" не доверенный: %2.")
                                           .arg(DescribeCertificate(check.certificate).subject, failure));
    // The signature value too: a state system may sign the same Body twice (the same fault asked
    // about twice), and each signing is its own reply, while no one else can make another value
    // that verifies.
    return QString::fromLatin1(
        QCryptographicHash::hash(check.signedInfoC14N + check.signatureValue, QCryptographicHash::Sha256)
            .toHex());
}

void RefuseReplyToAnotherRequest(const QString& what, const QString& received, const QString& expected)
{
    throw EReplySignatureException(Refused + QStringLiteral("ответ относится к другому запросу: %1 \"%2\", "
                                                            "а в запросе \"%3\".")
                                                 .arg(what, received, expected));
}

void RefuseReplyReceivedBefore(qint64 earlier)
{
    throw EReplySignatureException(
        Refused + QStringLiteral("этот ответ уже был получен раньше (обмен %1 журнала), он относится к "
                                 "другому запросу.")
                      .arg(earlier));
}

void RefuseReplyNotLookedUp(const QString& reason)
{
    throw EReplySignatureException(
        Refused + QStringLiteral("не удалось проверить по журналу, не был ли он получен раньше.\n") + reason);
}
