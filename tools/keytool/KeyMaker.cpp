#include "KeyMaker.h"

#include "foundation/GostOpenSsl.h"

#include <openssl/bn.h>
#include <openssl/err.h>

namespace {

// Heads the provider's failure when the GOST engine cannot be used.
constexpr char kStep[] = "Ключ не создан: модуль ГОСТ недоступен";

// What failed inside the GOST engine is in its own reason, on the next line.
QString MakeFailedText()
{
    return QStringLiteral("Ключ и сертификат не созданы: сбой модуля ГОСТ. Переустановите "
                          "libengine-gost-openssl.");
}

[[noreturn]] void Fail(const QString& what)
{
    const QString errors = TakeOpenSslErrors();
    throw ToolError(errors.isEmpty() ? what : what + QLatin1Char('\n') + errors);
}

void SetSubject(X509_NAME* name, const TSubject& subject)
{
    for (const auto& [field, value] : subject) {
        const QByteArray fieldName = field.toLatin1();
        const QByteArray text = value.toUtf8();
        if (OBJ_txt2nid(fieldName.constData()) == NID_undef)
            throw ToolError(
                QStringLiteral("Неизвестное поле \"%1\" в --subject: укажите поля вида CN, O, OU, L, C.")
                    .arg(field));
        if (!X509_NAME_add_entry_by_txt(name, fieldName.constData(), MBSTRING_UTF8,
                                        reinterpret_cast<const unsigned char*>(text.constData()),
                                        int(text.size()), -1, 0))
            Fail(QStringLiteral("Поле \"%1\" в --subject не может содержать \"%2\".").arg(field, value));
    }
}

} // namespace

TSubject ParseSubject(const QString& text)
{
    if (!text.startsWith(QLatin1Char('/')))
        throw ToolError(QStringLiteral("--subject: укажите владельца в виде \"/CN=Имя/O=Организация\"."));
    QStringList parts{QString()};
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\') && i + 1 < text.size())
            parts.last() += text[++i];
        else if (text[i] == QLatin1Char('/'))
            parts << QString();
        else
            parts.last() += text[i];
    }
    TSubject subject;
    for (const QString& part : parts) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        const QString field = part.left(equals).trimmed();
        const QString value = part.mid(equals + 1);
        if (equals <= 0 || field.isEmpty() || value.isEmpty())
            throw ToolError(QStringLiteral("\"%1\" в --subject не имеет вида ПОЛЕ=значение.").arg(part));
        subject.append({field, value});
    }
    return subject;
}

TNewKey MakeSelfSignedKey(const TSubject& subject, int days, const QString& password, GostAlgorithm algorithm)
{
    ERR_clear_error();
    const EvpPkeyPtr key = NewGostKey(kStep, algorithm);
    if (!key)
        Fail(MakeFailedText());

    X509Ptr certificate(X509_new());
    std::unique_ptr<BIGNUM, OpenSslDeleter<BN_free>> serial(BN_new());
    // A random positive serial number of 16 octets keeps certificates of one subject apart.
    if (!certificate || !serial || !X509_set_version(certificate.get(), X509_VERSION_3) ||
        !BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) ||
        !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())))
        Fail(MakeFailedText());
    X509_NAME* name = X509_get_subject_name(certificate.get());
    SetSubject(name, subject);
    if (!X509_set_issuer_name(certificate.get(), name) ||
        !X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0) ||
        !X509_time_adj_ex(X509_getm_notAfter(certificate.get()), days, 0, nullptr) ||
        !X509_set_pubkey(certificate.get(), key.get()) ||
        !X509_sign(certificate.get(), key.get(), GostDigest(algorithm, kStep)))
        Fail(MakeFailedText());

    TNewKey made{PrivateKeyPem(key.get(), password), CertificateDer(certificate.get())};
    if (made.privateKeyPem.isEmpty())
        Fail(MakeFailedText());
    if (made.certificateDer.isEmpty())
        Fail(MakeFailedText());
    return made;
}
