#include "foundation/HttpClient.h"
#include "tsp/TSP.h"
#include "tsp/TimeStamp.h"

#include "support/LoopbackHttpServer.h"
#include "support/PrintQt.h"
#include "support/Raised.h"
#include "support/TestKeys.h"
#include "support/TestTimeStampAuthority.h"

#include <gtest/gtest.h>

#include <gcrypt.h>
#include <openssl/objects.h>
#include <openssl/ts.h>

#include <tuple>

namespace {

const QString Signer = QStringLiteral("signer");

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// GOST R 34.11-94 with the CryptoPro parameters from libgcrypt, not from the provider under test.
QByteArray ReferenceHash(const QByteArray& data)
{
    EXPECT_TRUE(gcry_check_version(nullptr));
    QByteArray hash(32, '\0');
    gcry_md_hash_buffer(GCRY_MD_GOSTR3411_CP, hash.data(), data.constData(), size_t(data.size()));
    return hash;
}

QByteArray Seq(const QByteArray& content)
{
    return DerTLV(0x30, content);
}

QByteArray Utf8String(const QString& text)
{
    return DerTLV(0x0C, text.toUtf8());
}

// TimeStampResp: PKIStatusInfo with the status and what follows it, then the token if any.
QByteArray StatusReply(const char* status, const QByteArray& afterStatus = {}, const QByteArray& token = {})
{
    return Seq(Seq(DerTLV(0x02, Hex(status)) + afterStatus) + token);
}

QByteArray Granted(const QByteArray& tstInfo)
{
    const QByteArray content = Seq(DerTLV(0x06, OidToDer(QStringLiteral("1.2.840.113549.1.9.16.1.4"))) +
                                   DerTLV(0xA0, DerTLV(0x04, tstInfo)));
    return StatusReply(
        "00", {},
        Seq(DerTLV(0x06, OidToDer(QStringLiteral("1.2.840.113549.1.7.2"))) +
            DerTLV(0xA0, Seq(DerTLV(0x02, DerInteger(3)) + DerTLV(0x31, QByteArray()) + content))));
}

// A TSTInfo whose imprint is the GOST R 34.11-94 hash `hash` (or of another algorithm).
QByteArray TstInfo(const QByteArray& hash, const char* algorithm = "1.2.643.2.2.9")
{
    return Seq(DerTLV(0x02, DerInteger(1)) + DerTLV(0x06, OidToDer(QStringLiteral("1.2.643.100.999.1"))) +
               Seq(Seq(DerTLV(0x06, OidToDer(QLatin1String(algorithm)))) + DerTLV(0x04, hash)) +
               DerTLV(0x02, DerInteger(7)));
}

TScriptedReply Reply(const QByteArray& body, const QByteArray& contentType = "application/timestamp-reply",
                     int status = 200)
{
    TScriptedReply reply;
    reply.Status = status;
    reply.ContentType = contentType;
    reply.Body = body;
    return reply;
}

template <typename T> T* DerFromOpenSsl(T* (*decode)(T**, const unsigned char**, long), const QByteArray& der)
{
    auto* cursor = reinterpret_cast<const unsigned char*>(der.constData());
    T* object = decode(nullptr, &cursor, long(der.size()));
    EXPECT_EQ(cursor, reinterpret_cast<const unsigned char*>(der.constData()) + der.size());
    return object;
}

// Every test runs with time stamping on and a fresh signer container, and leaves the run-time
// values as it found them.
class TimeStamp : public ::testing::Test {
  protected:
    void SetUp() override { Store.addContainer(Signer); }

    // The message of the ETimeStampException that GetTimeStamp raises.
    QString Failure(const QString& container = Signer, THttpClient* http = nullptr)
    {
        return Raised<ETimeStampException>(
            [&] { GetTimeStamp(Settings, container, QStringLiteral("data"), http); });
    }

    // Time stamps with a key of the test's store.
    QString GetTimeStamp(const TimeStampSettings& settings, const QString& container, const QString& data,
                         THttpClient* http = nullptr)
    {
        ContainerKey key(Store.store(), container);
        return ::GetTimeStamp(settings, key, data, http);
    }
    void TSPRequest(const QString& server, const QString& container, const QByteArray& data,
                    QByteArray& reply)
    {
        ContainerKey key(Store.store(), container);
        ::TSPRequest(server, key, data, reply);
    }

    TestKeyStore Store;
    TimeStampSettings Settings{true, {}, {}};
};

} // namespace

TEST_F(TimeStamp, Gost2012ContainersAskForAnImprintOfTheirOwnHashAndGetIt)
{
    TTestTimeStampServer server(Store);
    const QByteArray data = "payload";
    for (const auto& [algorithm, oid, size] :
         {std::tuple{GostAlgorithm::Gost2012_256, "1.2.643.7.1.1.2.2", 32},
          std::tuple{GostAlgorithm::Gost2012_512, "1.2.643.7.1.1.2.3", 64}}) {
        SCOPED_TRACE(oid);
        TestKeyOptions options;
        options.algorithm = algorithm;
        const QString container = QLatin1String(oid);
        Store.addContainer(container, options);
        QByteArray reply;
        TSPRequest(server.url(), container, data, reply);

        // The imprint asked for names the hash without parameters and carries that hash.
        const QByteArray request = server.http().requests().back().Body;
        const QByteArray algorithmId = Seq(DerTLV(0x06, OidToDer(QLatin1String(oid))));
        QByteArray hash;
        ContainerCrypt(Store.store(), container, &data, nullptr, nullptr, &hash);
        ASSERT_EQ(hash.size(), size);
        EXPECT_EQ(request, Seq(DerTLV(0x02, DerInteger(1)) + Seq(algorithmId + DerTLV(0x04, hash)) +
                               DerTLV(0x01, Hex("01"))));
        EXPECT_TRUE(ExtractTSTInfo(reply).contains(Seq(algorithmId + DerTLV(0x04, hash))));
    }

    // A stamp over a GOST R 34.11-94 imprint does not cover a 2012 signature: refused, naming both.
    TLoopbackHttpServer stale;
    stale.setHandler([&](const TRecordedRequest&) {
        return Reply(server.authority().respond(BuildTimeStampRequest(ReferenceHash(data))));
    });
    QByteArray reply;
    const QString message = Raised<ETSPException>(
        [&] { TSPRequest(stale.url(), QStringLiteral("1.2.643.7.1.1.2.2"), data, reply); });
    EXPECT_TRUE(message.contains(QStringLiteral("1.2.643.2.2.9")) &&
                message.contains(QStringLiteral("1.2.643.7.1.1.2.2")))
        << message.toStdString();
}

TEST_F(TimeStamp, ARealAuthorityStampsTheGostHashOfTheText)
{
    TTestTimeStampServer server(Store);
    Settings.server = server.url();
    const QString data = QStringLiteral("QmFzZTY0INC/0L7QtNC/0LjRgdGM");

    const QString stamp = GetTimeStamp(Settings, Signer, data);
    EXPECT_FALSE(stamp.contains(QLatin1Char('\n')));
    const QByteArray der = QByteArray::fromBase64(stamp.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    std::unique_ptr<TS_TST_INFO, decltype(&TS_TST_INFO_free)> info(DerFromOpenSsl(d2i_TS_TST_INFO, der),
                                                                   TS_TST_INFO_free);
    ASSERT_TRUE(info);
    TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(info.get());
    const ASN1_OBJECT* algorithm = nullptr;
    int parameterType = 0;
    X509_ALGOR_get0(&algorithm, &parameterType, nullptr, TS_MSG_IMPRINT_get_algo(imprint));
    char oid[64] = {};
    OBJ_obj2txt(oid, sizeof oid, algorithm, 1);
    EXPECT_STREQ(oid, "1.2.643.2.2.9");
    EXPECT_EQ(parameterType, V_ASN1_UNDEF);
    const ASN1_OCTET_STRING* hashed = TS_MSG_IMPRINT_get_msg(imprint);
    EXPECT_EQ(
        QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(hashed)), ASN1_STRING_length(hashed)),
        ReferenceHash(data.toUtf8()));
    ASSERT_EQ(server.http().requestCount(), 1);
    EXPECT_EQ(server.http().requests().front().header("Content-Type"), "application/timestamp-query");

    // What is extracted is exactly the token's TSTInfo as OpenSSL reads the whole reply.
    QByteArray reply;
    TSPRequest(server.url(), Signer, "payload", reply);
    std::unique_ptr<TS_RESP, decltype(&TS_RESP_free)> parsed(DerFromOpenSsl(d2i_TS_RESP, reply),
                                                             TS_RESP_free);
    ASSERT_TRUE(parsed);
    unsigned char* expected = nullptr;
    const int length = i2d_TS_TST_INFO(TS_RESP_get_tst_info(parsed.get()), &expected);
    const QByteArray expectedDer(reinterpret_cast<const char*>(expected), length);
    OPENSSL_free(expected);
    EXPECT_EQ(ExtractTSTInfo(reply), expectedDer);

    // An authority that does not take GOST R 34.11-94 rejects with badAlg and a text of its own.
    server.authority().setAcceptGost94(false);
    try {
        TSPRequest(server.url(), Signer, "payload", reply);
        ADD_FAILURE() << "a rejection passed";
    } catch (const ETSPException& e) {
        EXPECT_EQ(e.Code(), 2);
        EXPECT_EQ(e.FailureCode(), 128);
        EXPECT_FALSE(e.FailureCodeString().isEmpty());
        EXPECT_EQ(e.message(), QStringLiteral("Rejection: ") + e.FailureCodeString());
    }
}

TEST_F(TimeStamp, WithATrustFileOnlyTokensOfItsAuthoritiesAreTaken)
{
    TTestTimeStampServer server(Store);
    Settings.server = server.url();
    Settings.trust.authorities = server.authority().certificate();
    EXPECT_FALSE(GetTimeStamp(Settings, Signer, QStringLiteral("data")).isEmpty());

    Settings.trust.authorities = Store.addContainer(QStringLiteral("another authority"));
    EXPECT_TRUE(Failure().startsWith(QStringLiteral("Подпись метки времени не принята: ")))
        << Failure().toStdString();
    // A token without its signature cannot pass either.
    TLoopbackHttpServer bare;
    bare.setReply(Reply(Granted(TstInfo(ReferenceHash("data")))));
    Settings.server = bare.url();
    Settings.trust.authorities = server.authority().certificate();
    EXPECT_TRUE(Failure().startsWith(QStringLiteral("Подпись метки времени не принята: ")))
        << Failure().toStdString();
}

TEST_F(TimeStamp, TheRequestIs54FixedOctetsAroundTheHash)
{
    // Stamps whatever 32 octets stand where the hash belongs.
    TLoopbackHttpServer server(
        [](const TRecordedRequest& request) { return Reply(Granted(TstInfo(request.Body.mid(19, 32)))); });
    Settings.server = server.url();
    const QString first = QStringLiteral("first text");
    const QString second = QStringLiteral("второй текст");
    EXPECT_EQ(GetTimeStamp(Settings, Signer, first),
              QString::fromLatin1(TstInfo(ReferenceHash(first.toUtf8())).toBase64()));
    EXPECT_EQ(GetTimeStamp(Settings, Signer, second),
              QString::fromLatin1(TstInfo(ReferenceHash(second.toUtf8())).toBase64()));

    ASSERT_EQ(server.requestCount(), 2);
    const QByteArray head = Hex("3034"
                                "020101"
                                "302c"
                                "3008"
                                "06062a8503020209"
                                "0420");
    EXPECT_EQ(server.requests()[0].Body, head + ReferenceHash(first.toUtf8()) + Hex("010101"));
    EXPECT_EQ(server.requests()[1].Body, head + ReferenceHash(second.toUtf8()) + Hex("010101"));
}

TEST_F(TimeStamp, EveryReplyFailureLeavesWithItsOwnMessage)
{
    TLoopbackHttpServer server;
    Settings.server = server.url(QStringLiteral("/tsp"));
    const QString url = Settings.server;

    // The media type in other letter case, with a parameter, is still the right one.
    const QByteArray stamp = TstInfo(ReferenceHash("x"));
    server.setReply(Reply(Granted(stamp), "Application/TIMESTAMP-Reply; charset=binary"));
    EXPECT_EQ(GetTimeStamp(Settings, Signer, QStringLiteral("x")), QString::fromLatin1(stamp.toBase64()));
    // A stamp of another text, or of the same hash named as another algorithm, is for another message.
    for (const QByteArray& other :
         {TstInfo(ReferenceHash("y")), TstInfo(ReferenceHash("x"), "1.2.643.7.1.1.2.2")}) {
        server.setReply(Reply(Granted(other)));
        EXPECT_TRUE(Failure().startsWith(QStringLiteral("Метка времени выдана для другого сообщения: ")))
            << Failure().toStdString();
    }

    struct TCase {
        QByteArray Body;
        QString Message;
        int Code = -1; // the rejection's fields, when it is one
        int FailureCode = 0;
    };
    const QString refusal = QStringLiteral("Нет политики");
    const TCase cases[] = {
        {StatusReply("01"), QStringLiteral("Modifications: Bad failure"), 1, 0},
        {StatusReply("02", Hex("03020780")),
         QStringLiteral("Rejection: Unrecognized or unsupported algorithm identifier"), 2, 128},
        {StatusReply("02", Hex("03020410")),
         QStringLiteral("Rejection: MessageTime was not sufficiently close to the system time, as defined by "
                        "local policy"),
         2, 16},
        {StatusReply("02", Hex("030206c0")), QStringLiteral("Rejection: FailureCode=192"), 2, 192},
        // A status text wins over failInfo, which is still read after a single string ...
        {StatusReply("02", Seq(Utf8String(refusal)) + Hex("03020780")),
         QStringLiteral("Rejection: ") + refusal, 2, 128},
        {StatusReply("02", Seq(DerTLV(0x1E, Hex("041e0442043a04300437")))),
         QStringLiteral("Rejection: Отказ"), 2, 0},
        // ... but not after a second string, nor after anything that is not a string.
        {StatusReply("02", Seq(Utf8String(QStringLiteral("one")) + Utf8String(QStringLiteral("two"))) +
                               Hex("03020780")),
         QStringLiteral("Rejection: one"), 2, 0},
        {StatusReply("02", Seq(DerTLV(0x02, Hex("05"))) + Hex("03020780")),
         QStringLiteral("Rejection: Bad failure"), 2, 0},
        {StatusReply("02", Seq(Utf8String(QString())) + Hex("03020001")),
         QStringLiteral("Rejection: The request data is incorrect (for notary services)"), 2, 1},
        // A failInfo with a bit beyond bit 7 is longer and names no single reason.
        {StatusReply("02", Hex("0303078000")), QStringLiteral("Rejection: Bad failure"), 2, 0},
        {StatusReply("07"), QStringLiteral("Code=7: Bad failure"), 7, 0},
        {StatusReply("04", Hex("03020520")),
         QStringLiteral("Revocation warning: Transaction not permitted or supported"), 4, 32},
        {StatusReply("00"), QStringLiteral("Timestamp not found")},
        {Hex("3103300102"), QStringLiteral("Datatype failed (Expected: 48, Found: 49)")},
        {Seq(Seq(DerTLV(0x0A, Hex("00")))), QStringLiteral("Datatype failed (Expected: 2, Found: 10)")},
        // A status that would read as 0 (granted) only by wrapping around.
        {StatusReply("0100000000"), QStringLiteral("INTEGER of 5 octets does not fit in 32 bits")},
        {Granted(Hex("3000")).chopped(1),
         QStringLiteral(
             "Truncated data: the element at offset 0 declares 48 content octets, only 47 follow")},
        {Seq(Seq(Hex("020102") + Hex("030507")) + Hex("80000000")),
         QStringLiteral("Truncated data: the element at offset 7 declares 5 content octets, only 1 follow")},
        {QByteArray(), QStringLiteral("Truncated data: no element at offset 0")},
    };
    for (const TCase& c : cases) {
        server.setReply(Reply(c.Body));
        EXPECT_EQ(Failure(), c.Message) << c.Body.toHex().toStdString();
        if (c.Code < 0)
            continue;
        try {
            CheckTimeStampReply(c.Body);
            ADD_FAILURE() << "accepted " << c.Body.toHex().toStdString();
        } catch (const ETSPException& e) {
            EXPECT_EQ(e.Code(), c.Code);
            EXPECT_EQ(e.FailureCode(), c.FailureCode);
            EXPECT_EQ(e.CodeString() + QStringLiteral(": ") + e.FailureCodeString(), c.Message);
        }
    }
    // A truncated reply is refused at every length, never read past its end.
    const QByteArray whole = StatusReply("02", Seq(Utf8String(refusal)) + Hex("03020780"));
    for (qsizetype size = 0; size < whole.size(); ++size)
        EXPECT_THROW(CheckTimeStampReply(whole.left(size)), EASN1Exception) << size;

    const std::pair<TScriptedReply, QString> exchanges[] = {
        {Reply("<html>missing</html>", "text/html", 404), QStringLiteral("(404) Not Found. URL:") + url},
        {Reply(Granted(Hex("3000")), "application/timestamp-reply", 500),
         QStringLiteral("(500) Internal Server Error. URL:") + url},
        {Reply(Granted(Hex("3000")), "text/html; charset=utf-8"),
         QStringLiteral("Bad reply. Content-Type: text/html. URL:") + url},
        {Reply(Granted(Hex("3000")), "application/timestamp-query"),
         QStringLiteral("Bad reply. Content-Type: application/timestamp-query. URL:") + url},
    };
    for (const auto& [reply, message] : exchanges) {
        server.setReply(reply);
        EXPECT_EQ(Failure(), message);
    }
}

TEST_F(TimeStamp, TransportFailuresNameTheAddressAndTheClientIsReusedAfterThem)
{
    Settings.server = QStringLiteral("http://127.0.0.1:%1/tsp/tsp.srf").arg(UnusedLoopbackPort());
    const QString refused = Failure();
    EXPECT_TRUE(refused.startsWith(QStringLiteral("EHttpTransportError: "))) << refused.toStdString();
    EXPECT_TRUE(refused.contains(QStringLiteral("(Connection refused)"))) << refused.toStdString();
    EXPECT_TRUE(refused.endsWith(QStringLiteral(". URL:") + Settings.server)) << refused.toStdString();

    TLoopbackHttpServer silent;
    silent.setReply(TScriptedReply::hangForever());
    Settings.server = silent.url();
    EXPECT_EQ(THttpClient().Limits().SilenceMs, 90000);
    {
        THttpLimits limits;
        limits.SilenceMs = 1000;
        THttpClient shortened(limits);
        EXPECT_EQ(Failure(Signer, &shortened),
                  QStringLiteral("EHttpTransportError: Обмен с сервером прерван: за 1 с не передано ни байта; "
                                 "проверьте адрес в настройках и сеть. URL:") +
                      Settings.server);
    }
    EXPECT_EQ(silent.requestCount(), 1);

    // An octet now and then keeps the silence away; the least speed still ends the exchange.
    TLoopbackHttpServer trickling;
    TScriptedReply slow = Reply(Granted(Hex("3000")));
    slow.ByteInterval = std::chrono::milliseconds(500);
    trickling.setReply(slow);
    Settings.server = trickling.url();
    {
        THttpLimits limits;
        limits.SlowWindowMs = 1000;
        THttpClient shortened(limits);
        const QString message = Failure(Signer, &shortened);
        EXPECT_TRUE(message.startsWith(QStringLiteral("EHttpTransportError: Обмен с сервером ") +
                                       Settings.server +
                                       QStringLiteral(" прерван: за 1 с передано меньше 10 байт в секунду")))
            << message.toStdString();
    }

    TLoopbackHttpServer working;
    const QByteArray stamp = TstInfo(ReferenceHash("again"));
    working.setReply(Reply(Granted(stamp)));
    Settings.server = working.url();
    EXPECT_EQ(GetTimeStamp(Settings, Signer, QStringLiteral("again")), QString::fromLatin1(stamp.toBase64()));
}

TEST_F(TimeStamp, NothingIsSentWhenSwitchedOffOrWhenTheHashCannotBeMade)
{
    TLoopbackHttpServer server;
    server.setReply(Reply(Granted(Hex("3000"))));
    Settings.server = server.url();

    Settings.enable = false;
    EXPECT_EQ(GetTimeStamp(Settings, Signer, QStringLiteral("data")), QString());
    EXPECT_EQ(GetTimeStamp(Settings, QStringLiteral("no such container"), QStringLiteral("data")), QString());
    Settings.enable = true;
    EXPECT_TRUE(
        Failure(QStringLiteral("no such container")).startsWith(QStringLiteral("CryptAcquireContext\n")));

    EXPECT_EQ(server.requestCount(), 0);
}
