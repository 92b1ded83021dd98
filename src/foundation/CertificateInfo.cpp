#include "foundation/CertificateInfo.h"

#include "foundation/CryptHelper.h"
#include "foundation/GostOpenSsl.h"

#include <QCryptographicHash>

#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/objects.h>

#include <ctime>

namespace {

constexpr char kCreateContext[] = "CertCreateCertificateContext";

// Names are shown as people read them: UTF-8 letters (Cyrillic names are the rule here) rather than
// escaped octets, and quotes and commas of organisation names unescaped.
constexpr unsigned long kNameFlags = ASN1_STRFLGS_ESC_CTRL | ASN1_STRFLGS_UTF8_CONVERT |
                                     ASN1_STRFLGS_DUMP_UNKNOWN | ASN1_STRFLGS_DUMP_DER |
                                     XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_SPC_EQ | XN_FLAG_FN_SN;

QString NameText(const X509_NAME* name)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || X509_NAME_print_ex(bio.get(), name, 0, kNameFlags) < 0)
        return {};
    return QString::fromUtf8(BioContents(bio.get()));
}

QString ObjectText(const ASN1_OBJECT* object)
{
    char text[128];
    const int length = OBJ_obj2txt(text, sizeof text, object, 0);
    return length > 0 ? QString::fromUtf8(text, qMin<int>(length, sizeof text - 1)) : QString();
}

QDateTime TimeValue(const ASN1_TIME* time)
{
    std::tm parts{};
    if (!time || !ASN1_TIME_to_tm(time, &parts))
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

QString SerialText(const ASN1_INTEGER* serial)
{
    std::unique_ptr<BIGNUM, OpenSslDeleter<BN_free>> number(ASN1_INTEGER_to_BN(serial, nullptr));
    char* hex = number ? BN_bn2hex(number.get()) : nullptr;
    if (!hex)
        return {};
    QString text = QString::fromLatin1(hex);
    OPENSSL_free(hex);
    return text;
}

// GOST keys name their parameter set as the first object of the algorithm parameters.
QString ParameterSetText(X509* certificate)
{
    X509_ALGOR* algorithm = nullptr;
    if (!X509_PUBKEY_get0_param(nullptr, nullptr, nullptr, &algorithm, X509_get_X509_PUBKEY(certificate)) ||
        !algorithm)
        return {};
    int type = 0;
    const void* value = nullptr;
    X509_ALGOR_get0(nullptr, &type, &value, algorithm);
    if (type != V_ASN1_SEQUENCE || !value)
        return {};
    const auto* sequence = static_cast<const ASN1_STRING*>(value);
    const unsigned char* der = ASN1_STRING_get0_data(sequence);
    STACK_OF(ASN1_TYPE)* items = d2i_ASN1_SEQUENCE_ANY(nullptr, &der, ASN1_STRING_length(sequence));
    QString text;
    if (items && sk_ASN1_TYPE_num(items) > 0) {
        const ASN1_TYPE* first = sk_ASN1_TYPE_value(items, 0);
        if (first->type == V_ASN1_OBJECT)
            text = ObjectText(first->value.object);
    }
    sk_ASN1_TYPE_pop_free(items, ASN1_TYPE_free);
    return text;
}

} // namespace

TCertificateInfo DescribeCertificate(const QByteArray& certificate)
{
    // The engine has to be there before the certificate is read, or GOST keys print as unknown.
    GostEngine(kCreateContext);
    const X509Ptr parsed = ReadCertificate(certificate);
    if (!parsed)
        CryptFail(kCreateContext, TakeOpenSslErrors());
    X509* x509 = parsed.get();

    TCertificateInfo info;
    info.subject = NameText(X509_get_subject_name(x509));
    info.issuer = NameText(X509_get_issuer_name(x509));
    info.serialNumber = SerialText(X509_get0_serialNumber(x509));
    info.validFrom = TimeValue(X509_get0_notBefore(x509));
    info.validTo = TimeValue(X509_get0_notAfter(x509));
    ASN1_OBJECT* keyAlgorithm = nullptr;
    if (X509_PUBKEY_get0_param(&keyAlgorithm, nullptr, nullptr, nullptr, X509_get_X509_PUBKEY(x509)))
        info.publicKeyAlgorithm = ObjectText(keyAlgorithm);
    info.parameterSet = ParameterSetText(x509);
    info.thumbprint = QString::fromLatin1(
        QCryptographicHash::hash(CertificateDer(x509), QCryptographicHash::Sha1).toHex().toUpper());
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (bio && X509_print_ex(bio.get(), x509, kNameFlags, 0) > 0)
        info.text = QString::fromUtf8(BioContents(bio.get()));
    TakeOpenSslErrors();
    return info;
}
