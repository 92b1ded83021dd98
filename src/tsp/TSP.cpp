#include "tsp/TSP.h"

#include "foundation/CryptHelper.h"
#include "foundation/GostOpenSsl.h"
#include "foundation/HttpClient.h"

#include <QStringDecoder>

#include <openssl/ts.h>

#include <limits>
#include <vector>

namespace {

constexpr quint8 TagBoolean = 0x01;
constexpr quint8 TagInteger = 0x02;
constexpr quint8 TagBitString = 0x03;
constexpr quint8 TagOctetString = 0x04;
constexpr quint8 TagOid = 0x06;
constexpr quint8 TagUtf8String = 0x0C;
constexpr quint8 TagPrintableString = 0x13;
constexpr quint8 TagIA5String = 0x16;
constexpr quint8 TagBMPString = 0x1E;
constexpr quint8 TagSequence = 0x30;
constexpr quint8 TagContext0 = 0xA0;
constexpr quint8 ConstructedFlag = 0x20;

const QString TSTInfoOid = QStringLiteral("1.2.840.113549.1.9.16.1.4");

// A length is read from at most this many octets: anything longer cannot describe a reply
// that fits in memory, and reading more would overflow the count.
constexpr int MaxLengthOctets = 4;

quint8 OctetAt(QByteArrayView data, qsizetype pos)
{
    return static_cast<quint8>(data[pos]);
}

bool IsStringTag(quint8 tag)
{
    return tag == TagUtf8String || tag == TagPrintableString || tag == TagIA5String || tag == TagBMPString;
}

struct StampedImprint {
    QString algorithm; // dotted
    QByteArray hash;
};

// The TSTInfo's messageImprint: SEQUENCE { version, policy, messageImprint SEQUENCE {
// AlgorithmIdentifier SEQUENCE { OBJECT IDENTIFIER, ... }, hashedMessage OCTET STRING }, ... }.
StampedImprint ReadStampedImprint(const QByteArray& tstInfo)
{
    const TDerHeader info = DerReadHeader(tstInfo, 0, TagSequence);
    const TDerHeader version = DerReadHeader(tstInfo, info.ContentPos, TagInteger, info.End());
    const TDerHeader policy = DerReadHeader(tstInfo, version.End(), TagOid, info.End());
    const TDerHeader imprint = DerReadHeader(tstInfo, policy.End(), TagSequence, info.End());
    const TDerHeader algorithm = DerReadHeader(tstInfo, imprint.ContentPos, TagSequence, imprint.End());
    const TDerHeader oid = DerReadHeader(tstInfo, algorithm.ContentPos, TagOid, algorithm.End());
    const TDerHeader hash = DerReadHeader(tstInfo, algorithm.End(), TagOctetString, imprint.End());
    return {DerToOid(QByteArrayView(tstInfo).sliced(oid.ContentPos, oid.Length)),
            tstInfo.mid(hash.ContentPos, hash.Length)};
}

using TsRespPtr = std::unique_ptr<TS_RESP, OpenSslDeleter<TS_RESP_free>>;
using TsVerifyCtxPtr = std::unique_ptr<TS_VERIFY_CTX, OpenSslDeleter<TS_VERIFY_CTX_free>>;

// Why OpenSSL does not accept the token's signature by one of the authorities' certificates (or
// one they issued, valid today, for time stamping); empty when it does.
QString TokenSignatureFailure(const QByteArray& reply, const QByteArray& authorities)
{
    static constexpr char step[] = "time-stamp token check";
    GostEngine(step);
    auto* cursor = reinterpret_cast<const unsigned char*>(reply.constData());
    const TsRespPtr response(d2i_TS_RESP(nullptr, &cursor, long(reply.size())));
    TsVerifyCtxPtr context(TS_VERIFY_CTX_new());
    X509StorePtr store = CertificateStore(ReadCertificates(authorities));
    if (!response || !context || !store)
        return QStringLiteral("the reply cannot be read\n") + TakeOpenSslErrors();
    // The context owns the store from here on.
    TS_VERIFY_CTX_set_store(context.get(), store.release());
    TS_VERIFY_CTX_set_flags(context.get(), TS_VFY_VERSION | TS_VFY_SIGNATURE);
    if (TS_RESP_verify_response(context.get(), response.get()) == 1) {
        TakeOpenSslErrors();
        return {};
    }
    const QString errors = TakeOpenSslErrors();
    return errors.isEmpty() ? QStringLiteral("the signature does not verify") : errors;
}

// Object identifier arcs may be any size (UUID arcs are 128 bits), so they are carried as
// decimal digits, least significant first.
using TDecimal = std::vector<quint8>;

void MultiplyAdd(TDecimal& digits, unsigned factor, unsigned addend)
{
    unsigned carry = addend;
    for (quint8& digit : digits) {
        const unsigned value = digit * factor + carry;
        digit = static_cast<quint8>(value % 10);
        carry = value / 10;
    }
    for (; carry != 0; carry /= 10)
        digits.push_back(static_cast<quint8>(carry % 10));
}

void SubtractSmall(TDecimal& digits, unsigned subtrahend)
{
    unsigned borrow = subtrahend;
    for (quint8& digit : digits) {
        const unsigned take = borrow % 10;
        borrow /= 10;
        if (digit >= take) {
            digit = static_cast<quint8>(digit - take);
        } else {
            digit = static_cast<quint8>(digit + 10 - take);
            ++borrow;
        }
        if (borrow == 0)
            break;
    }
    while (digits.size() > 1 && digits.back() == 0)
        digits.pop_back();
}

QString DecimalText(const TDecimal& digits)
{
    if (digits.empty())
        return QStringLiteral("0");
    QString text;
    text.reserve(static_cast<qsizetype>(digits.size()));
    for (auto it = digits.rbegin(); it != digits.rend(); ++it)
        text.append(QLatin1Char(static_cast<char>('0' + *it)));
    return text;
}

// The fewest characters that the dotted text of OID content octets can have. An arc of m octets
// (leading 0x80 octets add nothing to it) is at least 128^(m-1), so it has at least 2(m-1)+1
// digits; the first subidentifier reads as two arcs and is never shorter than that either.
// Malformed content gives 0, so that DerToOid still gets to refuse it.
qsizetype ShortestOidText(QByteArrayView content)
{
    if (content.isEmpty() || (OctetAt(content, content.size() - 1) & 0x80))
        return 0;
    qsizetype length = -1; // no "." in front of the first arc
    qsizetype octets = 0;
    for (const char c : content) {
        const auto octet = static_cast<quint8>(c);
        if (octets != 0 || octet != 0x80)
            ++octets;
        if (!(octet & 0x80)) {
            length += 1 + (2 * octets - 1); // "." and the digits
            octets = 0;
        }
    }
    return length;
}

QString CodeText(int code)
{
    switch (code) {
    case 0:
        return {};
    case 1:
        return QStringLiteral("Modifications");
    case 2:
        return QStringLiteral("Rejection");
    case 3:
        return QStringLiteral("Waiting");
    case 4:
        return QStringLiteral("Revocation warning");
    case 5:
        return QStringLiteral("Revocation notification");
    default:
        return QStringLiteral("Code=") + QString::number(code);
    }
}

QString FailureText(int failureCode)
{
    switch (failureCode) {
    case 0:
        return QStringLiteral("Bad failure");
    case 1:
        return QStringLiteral("The request data is incorrect (for notary services)");
    case 2:
        return QStringLiteral(
            "The authority indicated in the request is different from the one creating the response token");
    case 4:
        return QStringLiteral("The data submitted has the wrong format");
    case 8:
        return QStringLiteral("No certificate could be found matching the provided criteria");
    case 16:
        return QStringLiteral(
            "MessageTime was not sufficiently close to the system time, as defined by local policy");
    case 32:
        return QStringLiteral("Transaction not permitted or supported");
    case 64:
        return QStringLiteral("Integrity check failed");
    case 128:
        return QStringLiteral("Unrecognized or unsupported algorithm identifier");
    default:
        return QStringLiteral("FailureCode=") + QString::number(failureCode);
    }
}

} // namespace

ETSPException::ETSPException(int code, int failureCode, const QString& failureCodeString)
    : Exception(QString()), FCode(code), FCodeString(CodeText(code)), FFailureCode(failureCode),
      FFailureCodeString(failureCodeString.isEmpty() ? FailureText(failureCode) : failureCodeString)
{
    setMessage(FCodeString.isEmpty() ? FFailureCodeString
                                     : FCodeString + QStringLiteral(": ") + FFailureCodeString);
}

QByteArray DerLength(quint64 length)
{
    if (length < 0x80)
        return QByteArray(1, static_cast<char>(length));
    QByteArray octets;
    for (; length != 0; length >>= 8)
        octets.prepend(static_cast<char>(length & 0xFF));
    octets.prepend(static_cast<char>(0x80 + octets.size()));
    return octets;
}

QByteArray DerTLV(quint8 tag, QByteArrayView content)
{
    QByteArray element(1, static_cast<char>(tag));
    element += DerLength(static_cast<quint64>(content.size()));
    element += content;
    return element;
}

QByteArray DerInteger(quint64 value)
{
    QByteArray octets;
    do {
        octets.prepend(static_cast<char>(value & 0xFF));
        value >>= 8;
    } while (value != 0);
    if (static_cast<quint8>(octets[0]) & 0x80)
        octets.prepend('\0');
    return octets;
}

QByteArray OidToDer(const QString& dotted)
{
    const QStringList parts = dotted.split(QLatin1Char('.'));
    std::vector<quint64> arcs;
    for (const QString& part : parts) {
        bool ok = false;
        const quint64 arc = part.toULongLong(&ok);
        if (!ok || part.isEmpty() || !part.front().isDigit())
            throw EASN1Exception(QStringLiteral("Invalid object identifier '%1'").arg(dotted));
        arcs.push_back(arc);
    }
    if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40) ||
        arcs[1] > std::numeric_limits<quint64>::max() - 80)
        throw EASN1Exception(QStringLiteral("Invalid object identifier '%1'").arg(dotted));

    QByteArray octets;
    auto appendBase128 = [&octets](quint64 value) {
        QByteArray groups(1, static_cast<char>(value & 0x7F));
        for (value >>= 7; value != 0; value >>= 7)
            groups.prepend(static_cast<char>(0x80 | (value & 0x7F)));
        octets += groups;
    };
    appendBase128(40 * arcs[0] + arcs[1]);
    for (size_t i = 2; i < arcs.size(); ++i)
        appendBase128(arcs[i]);
    return octets;
}

TDerHeader DerReadHeader(QByteArrayView data, qsizetype pos, quint8 expectedTag, qsizetype limit)
{
    if (limit < 0 || limit > data.size())
        limit = data.size();
    if (pos < 0 || pos >= limit)
        throw EASN1Exception(QStringLiteral("Truncated data: no element at offset %1").arg(pos));

    TDerHeader header;
    header.Tag = OctetAt(data, pos);
    if (expectedTag != 0 && header.Tag != expectedTag)
        throw EASN1Exception(
            QStringLiteral("Datatype failed (Expected: %1, Found: %2)").arg(expectedTag).arg(header.Tag));

    qsizetype p = pos + 1;
    const auto truncatedLength = [pos] {
        return EASN1Exception(
            QStringLiteral("Truncated data: the length of the element at offset %1 is cut off").arg(pos));
    };
    if (p >= limit)
        throw truncatedLength();
    const quint8 first = OctetAt(data, p++);
    quint64 length = first;
    if (first & 0x80) {
        const int count = first & 0x7F;
        if (count == 0)
            throw EASN1Exception(
                QStringLiteral("The element at offset %1 has an indefinite length, which DER does not allow")
                    .arg(pos));
        if (count > MaxLengthOctets)
            throw EASN1Exception(
                QStringLiteral("The length of the element at offset %1 is written in %2 octets, "
                               "more than %3")
                    .arg(pos)
                    .arg(count)
                    .arg(MaxLengthOctets));
        if (limit - p < count)
            throw truncatedLength();
        length = 0;
        for (int i = 0; i < count; ++i)
            length = (length << 8) | OctetAt(data, p++);
    }
    const auto remaining = static_cast<quint64>(limit - p);
    if (length > remaining)
        throw EASN1Exception(
            QStringLiteral("Truncated data: the element at offset %1 declares %2 content octets, "
                           "only %3 follow")
                .arg(pos)
                .arg(length)
                .arg(remaining));
    header.Length = static_cast<qsizetype>(length);
    header.ContentPos = p;
    return header;
}

std::optional<qsizetype> DerFindOid(QByteArrayView data, qsizetype start, qsizetype end,
                                    const QString& dotted)
{
    if (end < 0 || end > data.size())
        end = data.size();
    // The ends of the constructed elements entered so far. Kept on the heap rather than in
    // recursion so that a reply nested thousands deep cannot exhaust the stack.
    std::vector<qsizetype> ends{end};
    qsizetype pos = start;
    for (;;) {
        while (!ends.empty() && pos >= ends.back())
            ends.pop_back();
        if (ends.empty())
            return std::nullopt;
        const TDerHeader header = DerReadHeader(data, pos, 0, ends.back());
        if (header.Tag & ConstructedFlag) {
            ends.push_back(header.End());
            pos = header.ContentPos;
            continue;
        }
        if (header.Tag == TagOid) {
            // Writing an arc in decimal takes time that grows with the square of its length, and a
            // reply may hold arcs of any length: one that cannot match is not converted.
            const QByteArrayView content = data.sliced(header.ContentPos, header.Length);
            if (ShortestOidText(content) <= dotted.size() && DerToOid(content) == dotted)
                return pos;
        }
        pos = header.End();
    }
}

QString DerToOid(QByteArrayView content)
{
    const auto malformed = [] { return EASN1Exception(QStringLiteral("Malformed OBJECT IDENTIFIER")); };
    if (content.isEmpty() || (OctetAt(content, content.size() - 1) & 0x80))
        throw malformed();

    QString text;
    TDecimal value;
    bool first = true;
    for (const char c : content) {
        const auto octet = static_cast<quint8>(c);
        MultiplyAdd(value, 128, octet & 0x7F);
        if (octet & 0x80)
            continue;
        if (first) {
            // The first subidentifier packs two arcs as 40·a + b; only arc 2 may have b ≥ 40.
            unsigned small = 1000; // stands for anything of four digits or more
            if (value.size() <= 3) {
                small = 0;
                for (auto it = value.rbegin(); it != value.rend(); ++it)
                    small = small * 10 + *it;
            }
            if (small < 80) {
                text = QString::number(small / 40) + QLatin1Char('.') + QString::number(small % 40);
            } else {
                SubtractSmall(value, 80);
                text = QStringLiteral("2.") + DecimalText(value);
            }
            first = false;
        } else {
            text += QLatin1Char('.') + DecimalText(value);
        }
        value.clear();
    }
    return text;
}

qint32 DerToInt(QByteArrayView content)
{
    // An empty INTEGER, or one too wide for 32 bits, must not read as 0 or as a wrapped value:
    // a PKIStatus of 0 means the server granted the request.
    if (content.isEmpty())
        throw EASN1Exception(QStringLiteral("Empty INTEGER"));
    if (content.size() > 4)
        throw EASN1Exception(
            QStringLiteral("INTEGER of %1 octets does not fit in 32 bits").arg(content.size()));
    quint32 value = (OctetAt(content, 0) & 0x80) ? 0xFFFFFFFFu : 0u;
    for (const char c : content)
        value = (value << 8) | static_cast<quint8>(c);
    return static_cast<qint32>(value);
}

QString DerStringToText(quint8 tag, QByteArrayView content)
{
    switch (tag) {
    case TagUtf8String:
        return QString::fromUtf8(content);
    case TagPrintableString:
    case TagIA5String: {
        // The system's 8-bit code page.
        QStringDecoder decoder("windows-1251");
        return decoder(content);
    }
    case TagBMPString: {
        QStringDecoder decoder(QStringDecoder::Utf16BE, QStringDecoder::Flag::Stateless);
        return decoder(content);
    }
    default:
        throw EASN1Exception(QStringLiteral("Unsupported string type %1").arg(tag));
    }
}

QString ImprintAlgorithmOid(GostAlgorithm algorithm)
{
    return QLatin1String(ByAlgorithm(algorithm, "1.2.643.2.2.9", "1.2.643.7.1.1.2.2", "1.2.643.7.1.1.2.3"));
}

QByteArray BuildTimeStampRequest(const QByteArray& hash, GostAlgorithm hashAlgorithm)
{
    const QByteArray algorithm =
        DerTLV(TagSequence, DerTLV(TagOid, OidToDer(ImprintAlgorithmOid(hashAlgorithm))));
    const QByteArray imprint = DerTLV(TagSequence, algorithm + DerTLV(TagOctetString, hash));
    // certReq TRUE as the single octet 0x01, which the servers in use accept.
    return DerTLV(TagSequence,
                  DerTLV(TagInteger, DerInteger(1)) + imprint + DerTLV(TagBoolean, QByteArray(1, '\x01')));
}

void CheckTimeStampReply(const QByteArray& reply)
{
    const TDerHeader response = DerReadHeader(reply, 0, TagSequence);
    const TDerHeader statusInfo = DerReadHeader(reply, response.ContentPos, TagSequence, response.End());
    const TDerHeader status = DerReadHeader(reply, statusInfo.ContentPos, TagInteger, statusInfo.End());
    const qint32 code = DerToInt(QByteArrayView(reply).sliced(status.ContentPos, status.Length));
    if (code == 0)
        return;

    QString statusText;
    int failureCode = 0;
    qsizetype pos = status.End();
    while (pos < statusInfo.End()) {
        const TDerHeader element = DerReadHeader(reply, pos, 0, statusInfo.End());
        if (element.Tag == TagBitString) {
            if (element.Length == 2)
                failureCode = static_cast<quint8>(reply[element.ContentPos + 1]);
            break;
        }
        if (element.Tag != TagSequence || element.Length == 0)
            break;
        const TDerHeader first = DerReadHeader(reply, element.ContentPos, 0, element.End());
        if (!IsStringTag(first.Tag))
            break;
        statusText = DerStringToText(first.Tag, QByteArrayView(reply).sliced(first.ContentPos, first.Length));
        // Goes on after the string: past the statusString when it held just this one string,
        // onto its second string (which ends the scan) otherwise.
        pos = first.End();
    }
    throw ETSPException(code, failureCode, statusText);
}

void TSPRequest(const QString& serverAddress, ContainerKey& key, const QByteArray& data, QByteArray& reply,
                THttpClient* http, const TimeStampTrust& trust)
{
    const GostAlgorithm algorithm = key.algorithm();
    const QByteArray hash = key.hash(data);
    const QByteArray request = BuildTimeStampRequest(hash, algorithm);

    THttpReply answer;
    try {
        std::optional<THttpClient> ownClient;
        THttpClient& client = http ? *http : ownClient.emplace();
        answer = client.Post(serverAddress, request,
                             {QByteArrayLiteral("Content-Type: application/timestamp-query")}, trust.server);
    } catch (const EHttpTransportError& e) {
        throw ETSPException(EHttpTransportError::className() + QStringLiteral(": ") + e.message() +
                            QStringLiteral(". URL:") + serverAddress);
    }
    reply = answer.Body;
    if (answer.StatusCode >= 300)
        throw ETSPException(QStringLiteral("(%1) ").arg(answer.StatusCode) + answer.StatusText.trimmed() +
                            QStringLiteral(". URL:") + serverAddress);
    const QString mediaType = answer.MediaType();
    if (mediaType.compare(QLatin1String("application/timestamp-reply"), Qt::CaseInsensitive) != 0)
        throw ETSPException(QStringLiteral("Bad reply. Content-Type: ") + mediaType +
                            QStringLiteral(". URL:") + serverAddress);
    CheckTimeStampReply(reply);
    // A stamp of another imprint, or of one of another hash algorithm, does not cover what was
    // signed: the receiver would refuse the payment, so it is not sent.
    const StampedImprint stamped = ReadStampedImprint(ExtractTSTInfo(reply));
    const QString asked = ImprintAlgorithmOid(algorithm);
    if (stamped.algorithm != asked)
        throw ETSPException(QStringLiteral("Метка времени выдана для другого сообщения: ее отпечаток "
                                           "вычислен по алгоритму %1, а запрошен %2. URL:")
                                .arg(stamped.algorithm, asked) +
                            serverAddress);
    if (stamped.hash != hash)
        throw ETSPException(QStringLiteral("Метка времени выдана для другого сообщения: ее отпечаток не "
                                           "совпадает с отправленным хэшем. URL:") +
                            serverAddress);
    if (!trust.authorities.isEmpty()) {
        const QString failure = TokenSignatureFailure(reply, trust.authorities);
        if (!failure.isEmpty())
            throw ETSPException(QStringLiteral("Подпись метки времени не принята: ") + failure +
                                QStringLiteral(". URL:") + serverAddress);
    }
}

QByteArray ExtractTSTInfo(const QByteArray& reply)
{
    const std::optional<qsizetype> found = DerFindOid(reply, 0, reply.size(), TSTInfoOid);
    if (!found)
        throw EASN1Exception(QStringLiteral("Timestamp not found"));
    const TDerHeader oid = DerReadHeader(reply, *found, TagOid);
    const TDerHeader wrapper = DerReadHeader(reply, oid.End(), TagContext0);
    const TDerHeader content = DerReadHeader(reply, wrapper.ContentPos, TagOctetString, wrapper.End());
    return reply.mid(content.ContentPos, content.Length);
}
