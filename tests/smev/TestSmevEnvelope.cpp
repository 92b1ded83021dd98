#include "foundation/CryptHelper.h"
#include "foundation/TextHelper.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"
#include "smev/SmevEnvelope.h"
#include "support/GoldenText.h"
#include "support/MessageAssertions.h"
#include "support/SampleForms.h"
#include "support/TestKeys.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <utility>

namespace {

QString Golden(const char* name)
{
    return QStringLiteral(ZELVAN_TEST_FOLDER) + QStringLiteral("/golden/") + QLatin1String(name);
}

class SignedEnvelope : public ::testing::Test {
  protected:
    void SetUp() override { FKeys.addContainer(QStringLiteral("signer")); }

    QString Envelope(const QString& body) { return BuildSignedEnvelope(QStringLiteral("signer"), body); }
    QString BuildSignedEnvelope(const QString& container, const QString& body)
    {
        ContainerKey key(FKeys.store(), container);
        return ::BuildSignedEnvelope(key, body, FIds);
    }

    TestKeyStore FKeys;
    // Every test starts from the first Id, as a program does.
    IdentifierSource FIds;
};

} // namespace

TEST(SmevHeader, TestMarkerAndOriginatorFollowTheModeAndTheValues)
{
    FakeSoapValues form = GisGmpHeaderForm();
    {
        EXPECT_EQ(TestMsgElement(true), QStringLiteral("<rev:TestMsg></rev:TestMsg>"));
        EXPECT_TRUE(BuildSmevHeader(form, false)
                        .endsWith(QStringLiteral("<rev:ExchangeType>6</rev:ExchangeType>"
                                                 "<rev:TestMsg></rev:TestMsg></rev:Message>")));
    }
    {
        form.options.testMode = false;
        EXPECT_EQ(TestMsgElement(false), QString());
        EXPECT_TRUE(BuildSmevHeader(form, false)
                        .endsWith(QStringLiteral("<rev:ExchangeType>6</rev:ExchangeType></rev:Message>")));
    }

    // Both originator values empty: no originator element at all.
    EXPECT_FALSE(BuildSmevHeader(form, false).contains(QStringLiteral("Originator")));
    form.set("OriginatorName", "Филиал № 2");
    EXPECT_TRUE(BuildSmevHeader(form, false)
                    .contains(QStringLiteral("</rev:Recipient><rev:Originator><rev:Name>Филиал № 2</rev:Name>"
                                             "</rev:Originator><rev:ServiceName>")));
    form.set("OriginatorCode", "ORG001").set("OriginatorName", "");
    EXPECT_TRUE(
        BuildSmevHeader(form, false)
            .contains(QStringLiteral("<rev:Originator><rev:Code>ORG001</rev:Code></rev:Originator>")));
    form.set("OriginatorName", "Филиал");
    EXPECT_TRUE(
        BuildSmevHeader(form, false)
            .contains(QStringLiteral("<rev:Originator><rev:Code>ORG001</rev:Code><rev:Name>Филиал</rev:Name>"
                                     "</rev:Originator>")));
}

TEST(SmevHeader, EmptyValuesStillWriteTheFixedElementsAndTheFlagDeclaresThePrefix)
{
    FakeSoapValues form = GisGmpHeaderForm();
    form.options.testMode = false;
    form.setAll(QString());
    EXPECT_EQ(
        BuildSmevHeader(form, true),
        QStringLiteral("<rev:Message xmlns:rev=\"http://smev.gosuslugi.ru/rev120315\">"
                       "<rev:Sender><rev:Code></rev:Code><rev:Name></rev:Name></rev:Sender>"
                       "<rev:Recipient><rev:Code></rev:Code><rev:Name></rev:Name></rev:Recipient>"
                       "<rev:ServiceName></rev:ServiceName><rev:TypeCode></rev:TypeCode>"
                       "<rev:Status></rev:Status><rev:Date></rev:Date><rev:ExchangeType></rev:ExchangeType>"
                       "</rev:Message>"));
    EXPECT_TRUE(BuildSmevHeader(form, false).startsWith(QStringLiteral("<rev:Message><rev:Sender>")));
}

TEST(SmevHeader, ReadsTheKeysInItsOrderAndStopsAtTheFirstMissingOne)
{
    FakeSoapValues form = GisGmpHeaderForm();
    BuildSmevHeader(form, true);
    EXPECT_EQ(form.reads(), (QStringList{"SenderCode", "SenderName", "RecipientCode", "RecipientName",
                                         "OriginatorCode", "OriginatorName", "ServiceName", "TypeCode",
                                         "MessageStatus", "MessageDate", "ExchangeType"}));

    form.remove("TypeCode").remove("MessageDate").clearReads();
    try {
        BuildSmevHeader(form, true);
        FAIL() << "a missing key must end the header";
    } catch (const EFakeUnknownValue& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Не определено значение для <TypeCode>"));
    }
    EXPECT_EQ(form.reads().last(), QStringLiteral("TypeCode"));
}

TEST_F(SignedEnvelope, FirstEnvelopeMatchesTheGoldenTextAndVerifies)
{
    const QString body = ReadGoldenText(QStringLiteral(ZELVAN_TEST_FOLDER) +
                                        QStringLiteral("/../gisgkx/golden/GetStateRequest.xml"));
    const QString envelope = Envelope(body);

    QString masked =
        MaskElementContent(envelope, QStringLiteral("wsse:BinarySecurityToken"), QStringLiteral("MASKED"));
    masked = MaskElementContent(masked, QStringLiteral("ds:SignatureValue"), QStringLiteral("MASKED"));
    EXPECT_TRUE(MatchesGolden(masked, Golden("SignedEnvelope.xml")));

    const SignatureCheck check = CheckEnvelopeSignature(envelope.toUtf8());
    EXPECT_TRUE(Verified(check));
    // The certificate that travels is the container's own.
    QByteArray certificate;
    ContainerCrypt(FKeys.store(), QStringLiteral("signer"), nullptr, &certificate, nullptr, nullptr);
    EXPECT_EQ(check.certificate, certificate);
}

TEST_F(SignedEnvelope, Gost2012ContainersNameTheirAlgorithmsAndVerify)
{
    const QString body = ReadGoldenText(QStringLiteral(ZELVAN_TEST_FOLDER) +
                                        QStringLiteral("/../gisgkx/golden/GetStateRequest.xml"));
    for (const auto& [algorithm, size] :
         {std::pair{GostAlgorithm::Gost2012_256, 64}, std::pair{GostAlgorithm::Gost2012_512, 128}}) {
        SCOPED_TRACE(size);
        TestKeyOptions options;
        options.algorithm = algorithm;
        const QString container = QStringLiteral("signer %1").arg(size);
        FKeys.addContainer(container, options);
        const QString envelope = [&] {
            ContainerKey key(FKeys.store(), container);
            IdentifierSource first;
            return ::BuildSignedEnvelope(key, body, first);
        }();

        const SignatureCheck check = CheckEnvelopeSignature(envelope.toUtf8());
        EXPECT_TRUE(Verified(check));
        const QString value = SliceFromTo(envelope, "<ds:SignatureValue>", "</ds:SignatureValue>");
        EXPECT_EQ(QByteArray::fromBase64(value.mid(19, value.size() - 19 - 20).toLatin1()).size(), size);
        if (algorithm == GostAlgorithm::Gost2012_256) {
            QString masked = MaskElementContent(envelope, QStringLiteral("wsse:BinarySecurityToken"),
                                                QStringLiteral("MASKED"));
            masked =
                MaskElementContent(masked, QStringLiteral("ds:SignatureValue"), QStringLiteral("MASKED"));
            EXPECT_TRUE(MatchesGolden(masked, Golden("SignedEnvelope2012-256.xml")));
        }
        // The methods named must be those of the key.
        QString renamed = envelope;
        renamed.replace(QRegularExpression(QStringLiteral("urn:[^\"]+gostr34102012-gostr34112012-\\d+")),
                        QStringLiteral("http://www.w3.org/2001/04/xmldsig-more#gostr34102001-gostr3411"));
        const QString failures = CheckEnvelopeSignature(renamed.toUtf8()).failures.join(u"; ");
        EXPECT_TRUE(failures.contains(QStringLiteral("the certificate's key is GOST R 34.10-2012")))
            << failures.toStdString();
    }
}

TEST_F(SignedEnvelope, CanonicalFormsAreTheTextsAsWrittenAlsoForCyrillicBodies)
{
    const QString body =
        QStringLiteral("<smev:Test xmlns:smev=\"urn:test\"><smev:Name>Казначейство России; "
                       "&amp; &lt;тест&gt; \"кавычки\"</smev:Name><smev:Empty></smev:Empty></smev:Test>");
    const QString envelope = Envelope(body);
    EXPECT_TRUE(envelope.startsWith(QStringLiteral("<?xml version=\"1.0\"?><soapenv:Envelope ")));

    const SignatureCheck check = CheckEnvelopeSignature(envelope.toUtf8());
    ASSERT_TRUE(Verified(check));
    EXPECT_EQ(check.signedC14N, SliceFromTo(envelope, "<soapenv:Body ", "</soapenv:Body>").toUtf8());
    // The SignedInfo is signed as written, its own declaration included.
    EXPECT_EQ(check.signedInfoC14N, SliceFromTo(envelope, "<ds:SignedInfo ", "</ds:SignedInfo>").toUtf8());
    EXPECT_TRUE(
        check.signedInfoC14N.startsWith("<ds:SignedInfo xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\">"));
}

TEST_F(SignedEnvelope, VerificationFailsOnAnyChangeOfTheSignedText)
{
    const QString body =
        QStringLiteral("<rev:getStateRequest xmlns:rev=\"http://smev.gosuslugi.ru/rev120315\">"
                       "<rev:MessageGUID>Сообщение 1</rev:MessageGUID><rev:Other></rev:Other>"
                       "</rev:getStateRequest>");
    const QString envelope = Envelope(body);
    ASSERT_TRUE(Verified(CheckEnvelopeSignature(envelope.toUtf8())));

    QString changed = envelope;
    changed.replace(QStringLiteral("Сообщение 1"), QStringLiteral("Сообщение 2"));
    EXPECT_FALSE(CheckEnvelopeSignature(changed.toUtf8()).verified()) << "one changed character in the body";

    QString spaced = envelope;
    spaced.replace(QStringLiteral("</rev:MessageGUID><rev:Other>"),
                   QStringLiteral("</rev:MessageGUID>\n<rev:Other>"));
    EXPECT_FALSE(CheckEnvelopeSignature(spaced.toUtf8()).verified()) << "white space between two elements";

    const QString value = SliceFromTo(envelope, "<ds:SignatureValue>", "</ds:SignatureValue>");
    QByteArray signature = QByteArray::fromBase64(value.mid(19, value.size() - 19 - 20).toLatin1());
    ASSERT_EQ(signature.size(), 64);
    signature[10] = char(signature[10] ^ 0x01);
    QString flipped = envelope;
    flipped.replace(value, QStringLiteral("<ds:SignatureValue>") + QString::fromLatin1(signature.toBase64()) +
                               QStringLiteral("</ds:SignatureValue>"));
    EXPECT_FALSE(CheckEnvelopeSignature(flipped.toUtf8()).verified()) << "one flipped octet of the signature";
}

TEST_F(SignedEnvelope, IdsAreDrawnInOrderAndAProviderFailureGivesNoEnvelope)
{
    IdentifierSource ids(0x2A);
    ContainerKey key(FKeys.store(), QStringLiteral("signer"));
    const QString envelope = ::BuildSignedEnvelope(key, QStringLiteral("<a:b xmlns:a=\"urn:a\"></a:b>"), ids);
    EXPECT_TRUE(envelope.contains(QStringLiteral("wsu:Id=\"CertId-0002B\"")));
    EXPECT_TRUE(envelope.contains(QStringLiteral("<ds:KeyInfo Id=\"KeyId-0002C\">")));
    EXPECT_TRUE(envelope.contains(QStringLiteral("wsu:Id=\"STRId-0002D\"")));
    EXPECT_TRUE(envelope.contains(QStringLiteral("<ds:Signature Id=\"SignID-0002E\">")));
    EXPECT_TRUE(envelope.contains(QStringLiteral("<wsse:Reference URI=\"#CertId-0002B\" ValueType=")));
    EXPECT_EQ(ids.NextIdSuffix(), QStringLiteral("0002F"));

    EXPECT_THROW(BuildSignedEnvelope(QStringLiteral("no such container"), QStringLiteral("<a></a>")),
                 ECryptException);
    // Nothing was drawn for an envelope that was never made.
    EXPECT_EQ(FIds.NextIdSuffix(), QStringLiteral("00001"));
}

// The Body is canonicalised as it is read, without its tree; what it writes must be what libxml2
// writes from the tree, for the texts that make canonicalisers differ.
TEST(ReplyBody, IsCanonicalisedWhileReadAsLibxml2DoesFromTheTree)
{
    const char* const bodies[] = {
        // Prefixes declared on the envelope only, used by siblings and by attributes.
        "<p:a/><p:a q:x=\"1\" x=\"2\"/><q:b><p:c/></q:b>",
        // The default namespace, its undeclaration, and a prefix bound again to another URI.
        "<a xmlns=\"urn:d\"><b xmlns=\"\"><c xmlns=\"urn:d\"/></b><p:e xmlns:p=\"urn:other\"/></a>",
        // Attributes ordered by namespace, then name; values with every character escaped.
        "<p:a z=\"&amp;&lt;&gt;&quot;'\" q:b=\"&#9;&#10;&#13; \" p:b=\"\" a=\"x\" xml:lang=\"ru\"/>",
        // Text with references, CDATA, comments and processing instructions inside it.
        "<a>1&amp;2 &lt; 3 &gt; 2&#13;<![CDATA[<&>]]]><!-- note -->тест<?pi  data ?><?empty?></a>",
        "<a>\n  <b>  </b>\r\n</a>",
        "<p:a xmlns:q=\"urn:unused\"><r:b xmlns:r=\"urn:r\" r:c=\"1\"/></p:a>",
        // Namespace URIs with characters that are escaped elsewhere.
        "<r:a xmlns:r=\"urn:a&amp;b\"/>",
    };
    for (const char* body : bodies) {
        const QByteArray envelope =
            QByteArray("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                       "xmlns:p=\"urn:p\" xmlns:q=\"urn:q\"><s:Header/><s:Body>") +
            body + "</s:Body></s:Envelope>";
        const XmlNode tree =
            FindNodeByPath(XmlDocument::parse(envelope).documentElement(), QStringLiteral("Body"), true);
        const QByteArray expected = tree.exclusiveCanonicalXml();
        ASSERT_TRUE(expected.startsWith("<s:Body")) << body;
        EXPECT_EQ(CheckEnvelopeSignature(envelope).signedC14N, expected) << body;
    }
}

TEST(ReplyBody, ReadingIsBoundedAndCanBeStopped)
{
    const auto envelope = [](const QByteArray& declarations, const QByteArray& body) {
        return "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" " + declarations +
               "><s:Header/><s:Body>" + body + "</s:Body></s:Envelope>";
    };
    EXPECT_TRUE(CheckEnvelopeSignature(envelope({}, QByteArray("<a/>").repeated(2'000'000)))
                    .unreadable.contains(QStringLiteral("узлов")));
    // A prefix declared once on the envelope is declared again on every element of the Body that
    // uses it: the canonical form may not grow without bound.
    const QByteArray longUri = "urn:" + QByteArray(4096, 'u');
    const SignatureCheck amplified =
        CheckEnvelopeSignature(envelope("xmlns:p=\"" + longUri + "\"", QByteArray("<p:a/>").repeated(2'000)));
    EXPECT_TRUE(amplified.signedC14N.isEmpty());
    EXPECT_TRUE(amplified.unreadable.contains(QStringLiteral("в каноническом виде")))
        << amplified.unreadable.toStdString();

    int asked = 0;
    const SignatureCheck stopped = CheckEnvelopeSignature(
        envelope({}, QByteArray("<a>text</a>").repeated(100'000)), {false, [&] { return ++asked > 1; }});
    EXPECT_TRUE(stopped.stopped);
    EXPECT_FALSE(stopped.verified());
    EXPECT_EQ(asked, 2);
}
