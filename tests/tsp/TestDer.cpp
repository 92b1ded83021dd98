#include "tsp/TSP.h"

#include "support/PrintQt.h"
#include "support/Raised.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(text);
}

QByteArray Seq(const QByteArray& content)
{
    return DerTLV(0x30, content);
}

QByteArray Oid(const char* dotted)
{
    return DerTLV(0x06, OidToDer(QString::fromLatin1(dotted)));
}

const QString TSTInfoOid = QStringLiteral("1.2.840.113549.1.9.16.1.4");

// A granted reply shaped like a real one: the encapsulated content type of the SignedData comes
// first, the same identifier again among the signed attributes.
QByteArray GrantedReply(const QByteArray& tstInfo)
{
    const QByteArray encapsulated =
        Seq(Oid("1.2.840.113549.1.9.16.1.4") + DerTLV(0xA0, DerTLV(0x04, tstInfo)));
    const QByteArray attributes =
        DerTLV(0xA0, Seq(Oid("1.2.840.113549.1.9.3") + DerTLV(0x31, Oid("1.2.840.113549.1.9.16.1.4"))));
    const QByteArray signedData =
        Seq(DerTLV(0x02, DerInteger(3)) + DerTLV(0x31, Seq(Oid("1.2.643.2.2.9"))) + encapsulated +
            DerTLV(0x31, Seq(attributes + DerTLV(0x04, Hex("0102")))));
    return Seq(Seq(DerTLV(0x02, DerInteger(0))) +
               Seq(Oid("1.2.840.113549.1.7.2") + DerTLV(0xA0, signedData)));
}

} // namespace

TEST(Der, WritersProduceMinimalEncodings)
{
    EXPECT_EQ(DerLength(127), Hex("7f"));
    EXPECT_EQ(DerLength(128), Hex("8180"));
    EXPECT_EQ(DerLength(256), Hex("820100"));
    EXPECT_EQ(DerLength(65536), Hex("83010000"));
    EXPECT_EQ(DerInteger(0), Hex("00"));
    EXPECT_EQ(DerInteger(128), Hex("0080"));
    EXPECT_EQ(DerInteger(256), Hex("0100"));
    EXPECT_EQ(DerInteger(0xFFFFFFFFFFFFFFFFull), Hex("00ffffffffffffffff"));
    const QByteArray long200(200, '\x5a');
    EXPECT_EQ(DerTLV(0x04, long200), Hex("0481c8") + long200);

    EXPECT_EQ(OidToDer(QStringLiteral("1.2.643.2.2.9")), Hex("2a8503020209"));
    EXPECT_EQ(OidToDer(TSTInfoOid), Hex("2a864886f70d0109100104"));
    EXPECT_EQ(OidToDer(QStringLiteral("2.100.3")), Hex("813403"));
    for (const char* bad : {"", "1", "1..2", "1.x", "3.1", "1.40", "-1.2", " 1.2"})
        EXPECT_THROW(OidToDer(QString::fromLatin1(bad)), EASN1Exception) << bad;
}

TEST(Der, ContentConvertersReadWhatTheTagSays)
{
    EXPECT_EQ(DerToOid(Hex("2a864886f70d0109100104")), TSTInfoOid);
    EXPECT_EQ(DerToOid(Hex("4f")), QStringLiteral("1.39"));
    // From 80 up the first subidentifier belongs to arc 2, however large; arcs may need 128 bits
    // (the UUID f81d4fae-7dec-11d0-a765-00a0c91e6bf6).
    EXPECT_EQ(DerToOid(Hex("813403")), QStringLiteral("2.100.3"));
    EXPECT_EQ(DerToOid(Hex("6983f09da7ebcfdee0c7a1a7b2c0948cc8f9d776")),
              QStringLiteral("2.25.329800735698586629295641978511506172918"));
    EXPECT_EQ(DerToOid(Hex("83f09da7ebcfdee0c7a1a7b2c0948cc8f9d846")),
              QStringLiteral("2.329800735698586629295641978511506172918"));
    EXPECT_EQ(Raised<EASN1Exception>([] { DerToOid(Hex("2a85")); }),
              QStringLiteral("Malformed OBJECT IDENTIFIER"));
    EXPECT_EQ(Raised<EASN1Exception>([] { DerToOid(QByteArray()); }),
              QStringLiteral("Malformed OBJECT IDENTIFIER"));

    EXPECT_EQ(DerToInt(Hex("0080")), 128);
    EXPECT_EQ(DerToInt(Hex("ff")), -1);
    EXPECT_EQ(DerToInt(Hex("7fffffff")), 2147483647);
    EXPECT_EQ(DerToInt(Hex("80000000")), -2147483647 - 1);
    // Neither may pass for 0, which a PKIStatus reads as "granted".
    EXPECT_EQ(Raised<EASN1Exception>([] { DerToInt(QByteArray()); }), QStringLiteral("Empty INTEGER"));
    EXPECT_EQ(Raised<EASN1Exception>([] { DerToInt(Hex("0100000000")); }),
              QStringLiteral("INTEGER of 5 octets does not fit in 32 bits"));

    // "Отказ" as UTF-8, Windows-1251 and UTF-16 big-endian.
    EXPECT_EQ(DerStringToText(0x0C, Hex("d09ed182d0bad0b0d0b7")), QStringLiteral("Отказ"));
    EXPECT_EQ(DerStringToText(0x13, Hex("cef2eae0e7")), QStringLiteral("Отказ"));
    EXPECT_EQ(DerStringToText(0x16, Hex("cef2eae0e7")), QStringLiteral("Отказ"));
    EXPECT_EQ(DerStringToText(0x1E, Hex("041e0442043a04300437")), QStringLiteral("Отказ"));
}

TEST(Der, HeadersStayInsideTheirElementAndTheData)
{
    const QByteArray data = Hex("3003020101") + Hex("0481c8") + QByteArray(200, '\0') + Hex("a48200020500");
    const TDerHeader inner = DerReadHeader(data, 2, 0, 5);
    EXPECT_EQ(inner.Tag, 0x02);
    EXPECT_EQ(inner.ContentPos, 4);
    EXPECT_EQ(inner.End(), 5);
    const TDerHeader octets = DerReadHeader(data, 5, 0x04);
    EXPECT_EQ(octets.Length, 200);
    EXPECT_EQ(octets.ContentPos, 8);
    const TDerHeader last = DerReadHeader(data, octets.End(), 0xA4);
    EXPECT_EQ(last.ContentPos, 212);
    EXPECT_EQ(last.End(), data.size());
    EXPECT_EQ(Raised<EASN1Exception>([&] { DerReadHeader(data, 208, 0xA0); }),
              QStringLiteral("Datatype failed (Expected: 160, Found: 164)"));

    // Each must raise, whatever the length would wrap or sign-extend to.
    const std::vector<std::tuple<const char*, qsizetype, const char*>> broken = {
        {"", -1, "Truncated data: no element at offset 0"},
        {"3082", -1, "Truncated data: the length of the element at offset 0 is cut off"},
        {"308201", -1, "Truncated data: the length of the element at offset 0 is cut off"},
        {"308201"
         "0000",
         -1, "Truncated data: the element at offset 0 declares 256 content octets, only 1 follow"},
        {"3084ffffffff00", -1,
         "Truncated data: the element at offset 0 declares 4294967295 content octets, only 1 follow"},
        {"30850000000001ff", -1, "The length of the element at offset 0 is written in 5 octets, more than 4"},
        {"30800000", -1, "The element at offset 0 has an indefinite length, which DER does not allow"},
        // Fits in the data but not in the element that encloses it.
        {"0203010203", 3, "Truncated data: the element at offset 0 declares 3 content octets, only 1 follow"},
    };
    for (const auto& [hex, limit, message] : broken)
        EXPECT_EQ(Raised<EASN1Exception>([&] { DerReadHeader(Hex(hex), 0, 0, limit); }),
                  QString::fromLatin1(message))
            << hex;
}

TEST(Der, FindOidSearchesDepthFirstWithinTheData)
{
    const QByteArray reply = GrantedReply(Seq(Oid("1.2.3.4")));
    const std::optional<qsizetype> found = DerFindOid(reply, 0, reply.size(), TSTInfoOid);
    ASSERT_TRUE(found.has_value());
    // The encapsulated content type, directly followed by [0]; not the signed attribute.
    EXPECT_EQ(static_cast<quint8>(reply[*found + 13]), 0xA0);
    EXPECT_LT(*found, reply.lastIndexOf(Oid("1.2.840.113549.1.9.16.1.4")));
    // Primitive contents (the TSTInfo in its OCTET STRING) are not searched; texts match whole.
    EXPECT_FALSE(DerFindOid(reply, 0, reply.size(), QStringLiteral("1.2.3.4")).has_value());
    EXPECT_FALSE(DerFindOid(reply, 0, reply.size(), QStringLiteral("1.2.840.113549.1.9.16.1")).has_value());

    // Nested 200000 deep: a recursive walk would run out of stack long before the OID.
    const int depth = 200000;
    const QByteArray oid = Oid("1.2.3");
    std::vector<qsizetype> lengths{oid.size()};
    for (int i = 0; i < depth; ++i)
        lengths.push_back(lengths.back() + 1 + DerLength(quint64(lengths.back())).size());
    QByteArray nested;
    for (int i = depth - 1; i >= 0; --i)
        nested += '\x30' + DerLength(quint64(lengths[size_t(i)]));
    nested += oid;
    EXPECT_EQ(DerFindOid(nested, 0, nested.size(), QStringLiteral("1.2.3")),
              std::optional<qsizetype>(nested.size() - oid.size()));

    // An identifier hundreds of kilobytes long (one arc of over a million bits) ahead of the wanted
    // one: the search reaches the wanted one rather than working through the long one's digits.
    QByteArray longArc(200000, '\xff');
    longArc += '\x01';
    const QByteArray afterLong = Seq(DerTLV(0x06, Hex("2a") + longArc) + Oid("1.2.3"));
    EXPECT_EQ(DerFindOid(afterLong, 0, afterLong.size(), QStringLiteral("1.2.3")),
              std::optional<qsizetype>(afterLong.size() - oid.size()));
    // Arcs written with superfluous leading 0x80 octets still read as the same identifier, and
    // an identifier cut off in the middle of an arc is still refused, however long.
    const QByteArray padded = Seq(DerTLV(0x06, Hex("2a") + QByteArray(5000, '\x80') + Hex("03")));
    EXPECT_EQ(DerFindOid(padded, 0, padded.size(), QStringLiteral("1.2.3")), std::optional<qsizetype>(4));
    const QByteArray cutOff = Seq(DerTLV(0x06, Hex("2a") + QByteArray(5000, '\x81') + Hex("01ff")));
    EXPECT_EQ(Raised<EASN1Exception>([&] { DerFindOid(cutOff, 0, cutOff.size(), QStringLiteral("1.2.3")); }),
              QStringLiteral("Malformed OBJECT IDENTIFIER"));

    const QByteArray overrun = Seq(Seq(Hex("0405aabb")) + Oid("1.2.3"));
    EXPECT_EQ(
        Raised<EASN1Exception>([&] { DerFindOid(overrun, 0, overrun.size(), QStringLiteral("1.2.3")); }),
        QStringLiteral("Truncated data: the element at offset 4 declares 5 content octets, only 2 follow"));
}

TEST(Der, ExtractTSTInfoReturnsTheEncapsulatedContentAlone)
{
    const QByteArray tstInfo =
        Seq(DerTLV(0x02, DerInteger(1)) + Oid("1.2.643.2.2.9") + DerTLV(0x04, Hex("ab")));
    EXPECT_EQ(ExtractTSTInfo(GrantedReply(tstInfo)), tstInfo);
    EXPECT_EQ(Raised<EASN1Exception>(
                  [] { ExtractTSTInfo(Seq(Oid("1.2.840.113549.1.9.16.1.4") + DerTLV(0x04, Hex("00")))); }),
              QStringLiteral("Datatype failed (Expected: 160, Found: 4)"));
    EXPECT_EQ(Raised<EASN1Exception>([] {
                  ExtractTSTInfo(
                      Seq(Oid("1.2.840.113549.1.9.16.1.4") + DerTLV(0xA0, Seq(DerTLV(0x04, Hex("00"))))));
              }),
              QStringLiteral("Datatype failed (Expected: 4, Found: 48)"));
    EXPECT_EQ(Raised<EASN1Exception>([] { ExtractTSTInfo(Seq(Oid("1.2.840.113549.1.9.16.1.4"))); }),
              QStringLiteral("Truncated data: no element at offset 15"));
}
