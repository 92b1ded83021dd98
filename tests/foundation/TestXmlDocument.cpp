#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"

#include "support/PrintQt.h"
#include "support/Raised.h"
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>
#include <libxml/parserInternals.h>

namespace {

QString parseFailure(const QByteArray& bytes)
{
    return Raised<EXMLException>([&] { XmlDocument::parse(bytes); });
}

// Every external resource libxml2 would open goes through the entity loader; this one only counts.
int loaderCalls = 0;
xmlParserInputPtr countingLoader(const char*, const char*, xmlParserCtxtPtr)
{
    ++loaderCalls;
    return nullptr;
}

QStringList names(const QList<XmlNode>& nodes)
{
    QStringList result;
    for (const XmlNode& node : nodes)
        result.append(node.isText() ? u'"' + node.text() + u'"' : node.name());
    return result;
}

} // namespace

TEST(XmlDocument, ReadsNamesAttributesAndChildrenInOrder)
{
    const XmlDocument doc = XmlDocument::parse(
        "<?xml version='1.0'?>\n<!-- before -->\n<s:Envelope xmlns:s='urn:s' xmlns='urn:d'>\n"
        "  <s:Body wsu:Id='body' xmlns:wsu='urn:wsu' kind='x &amp; y'>\n"
        "    <Item>one<?pi data?><!-- c -->two</Item>\n    <Item/>\n  </s:Body>\n</s:Envelope>\n");
    const XmlNode root = doc.documentElement();
    EXPECT_EQ(root.localName(), QStringLiteral("Envelope"));
    EXPECT_EQ(root.prefix(), QStringLiteral("s"));
    EXPECT_EQ(root.namespaceUri(), QStringLiteral("urn:s"));
    EXPECT_TRUE(root.attributes().isEmpty()); // declarations are not attributes
    EXPECT_TRUE(root.parent().isNull());

    const QList<XmlNode> bodies = root.children();
    ASSERT_EQ(names(bodies), QStringList{QStringLiteral("s:Body")});
    const XmlNode body = bodies[0];
    EXPECT_EQ(body.parent(), root);
    EXPECT_EQ(body.attribute(QStringLiteral("wsu:Id")), QStringLiteral("body"));
    EXPECT_TRUE(body.hasAttribute(QStringLiteral("kind")));
    EXPECT_FALSE(body.hasAttribute(QStringLiteral("Id")));
    EXPECT_EQ(body.attribute(QStringLiteral("kind")), QStringLiteral("x & y"));
    ASSERT_EQ(body.attributes().size(), 2);
    EXPECT_EQ(body.attributes()[0].namespaceUri, QStringLiteral("urn:wsu"));
    EXPECT_EQ(body.attributes()[0].localName, QStringLiteral("Id"));

    const QList<XmlNode> items = body.children();
    EXPECT_EQ(names(items), QStringList({QStringLiteral("Item"), QStringLiteral("Item")}));
    EXPECT_EQ(items[0].namespaceUri(), QStringLiteral("urn:d"));
    EXPECT_EQ(names(items[0].children()), QStringList{QStringLiteral("\"onetwo\"")});
    EXPECT_EQ(items[0].text(), QStringLiteral("onetwo"));
    EXPECT_TRUE(items[1].children().isEmpty());
}

TEST(XmlDocument, DecodesDeclaredEncodingAndKeepsNodesAlive)
{
    XmlNode node;
    {
        const XmlDocument doc = XmlDocument::parse(
            "<?xml version='1.0' encoding='windows-1251'?><a>\xcf\xf0\xe8\xe2\xe5\xf2</a>");
        node = doc.documentElement();
    }
    EXPECT_EQ(node.text(), QStringLiteral("Привет"));
    EXPECT_EQ(node.xml(), QStringLiteral("<a>Привет</a>").toUtf8());
}

TEST(XmlDocument, MalformedRepliesAreRefusedWithThePlace)
{
    const QString mismatch = parseFailure("<a>\n<b></a>");
    EXPECT_TRUE(mismatch.startsWith(QStringLiteral("Ошибка в XML (строка 2"))) << mismatch.toStdString();
    EXPECT_TRUE(parseFailure(QByteArray()).startsWith(QStringLiteral("Ошибка в XML")));
    EXPECT_TRUE(parseFailure("<a>&undeclared;</a>").startsWith(QStringLiteral("Ошибка в XML")));
    EXPECT_TRUE(parseFailure("<p:a/>").startsWith(QStringLiteral("Ошибка в XML"))); // prefix never declared
    EXPECT_TRUE(parseFailure("<a/><b/>").startsWith(QStringLiteral("Ошибка в XML")));
}

TEST(XmlDocument, DocumentsBeyondTheLimitsAreRefusedAndReadingCanBeStopped)
{
    const auto element = [](int attributes, int declarations) {
        QByteArray tag = "<a";
        for (int i = 0; i < declarations; ++i)
            tag += " xmlns:p" + QByteArray::number(i) + "='urn:" + QByteArray::number(i) + "'";
        for (int i = 0; i < attributes; ++i)
            tag += "\n b" + QByteArray::number(i) + " = \"x>y\"";
        return tag + "/>";
    };
    const int attributes = XmlLimits::MaxAttributesPerElement;
    const int declarations = XmlLimits::MaxNamespaceDeclarationsPerElement;
    EXPECT_EQ(XmlDocument::parse(element(attributes, declarations)).documentElement().attributes().size(),
              attributes);
    EXPECT_TRUE(parseFailure(element(attributes + 1, 0)).contains(QStringLiteral("атрибутов")));
    EXPECT_TRUE(parseFailure(element(0, declarations + 1)).contains(QStringLiteral("пространств имен")));
    // What only looks like a tag inside a comment, a CDATA section or an attribute value is none.
    const QByteArray hidden =
        "<!-- " + element(attributes + 1, 0) + " --><![CDATA[" + element(attributes + 1, 0) + "]]>";
    EXPECT_NO_THROW(XmlDocument::parse("<r>" + hidden + "</r>"));

    const auto nested = [](int depth) {
        return QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth);
    };
    EXPECT_NO_THROW(XmlDocument::parse(nested(XmlLimits::MaxDepth)));
    EXPECT_TRUE(parseFailure(nested(XmlLimits::MaxDepth + 1)).contains(QStringLiteral("вложенность")));

    // Nodes are counted as the parser builds them, comments too; a longer document may hold more,
    // and its tree more again only when it is asked for whole or its records are taken as they end.
    const auto children = [](qint64 count, const QByteArray& child) {
        return "<r>" + child.repeated(count) + "</r>";
    };
    const auto whole = [](const QByteArray& text) { XmlDocument::parse(text, {}, {}, XmlTreeSize::whole); };
    EXPECT_NO_THROW(XmlDocument::parse(children(110'000, "<!---->")));
    EXPECT_NO_THROW(whole(children(150'000, "<!---->")));
    EXPECT_TRUE(
        parseFailure(children(150'000, "<!---->")).contains(QStringLiteral("не разобранных на записи")));
    EXPECT_TRUE(Raised<EXMLException>([&] {
                    whole(children(200'000, "<!---->"));
                }).contains(QStringLiteral("узлов")));
    const QByteArray empties = children(4'000'000, "<a/>");
    EXPECT_TRUE(Raised<EXMLException>([&] {
                    whole(empties);
                }).contains(QStringLiteral("больше %1 узлов").arg(XmlLimits::maxNodes(empties.size()))));
    const QByteArray records = children(200'000, "<a>" + QByteArray(26, 'x') + "</a>");
    EXPECT_TRUE(parseFailure(records).contains(
        QStringLiteral("больше %1 узлов, не разобранных").arg(XmlLimits::maxHeldNodes(records.size()))));
    // Attributes and namespace declarations cost the tree as much as content: elements each with
    // all the attributes or declarations one may have are refused long before the text's end.
    QByteArray attributed = "<a";
    for (int i = 0; i < XmlLimits::MaxAttributesPerElement; ++i)
        attributed += " b" + QByteArray::number(i) + "=''";
    EXPECT_TRUE(parseFailure(children(2'000, attributed + "/>")).contains(QStringLiteral("узлов")));
    EXPECT_TRUE(parseFailure(children(3'000, element(0, declarations))).contains(QStringLiteral("узлов")));
    qint64 taken = 0;
    EXPECT_NO_THROW(XmlDocument::parse(
        records, {}, [&](const XmlNode& element) { return element.localName() == u"a" && ++taken > 0; }));
    EXPECT_EQ(taken, 200'000);

    int asked = 0;
    const QString stopped = Raised<EXMLException>([&] {
        XmlDocument::parse(children(40'000, "<a>" + QByteArray(20, 'x') + "</a>"),
                           [&] { return ++asked > 2; });
    });
    EXPECT_EQ(stopped, QStringLiteral("Чтение документа XML прервано."));
    EXPECT_EQ(asked, 3);
}

TEST(XmlDocument, DocumentTypeDeclarationsAreRefusedWithoutReadingAnything)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile secret(dir.filePath(QStringLiteral("secret.txt")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("top secret");
    secret.close();
    const QByteArray url = QUrl::fromLocalFile(secret.fileName()).toEncoded();

    const xmlExternalEntityLoader saved = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(countingLoader);
    loaderCalls = 0;
    const QString refusal = QStringLiteral("Документ XML содержит объявление типа документа (DTD); "
                                           "такие документы не принимаются.");
    EXPECT_EQ(parseFailure("<!DOCTYPE r [<!ENTITY x 'boom'>]><r>&x;</r>"), refusal);
    EXPECT_EQ(parseFailure("<!DOCTYPE r [<!ENTITY x SYSTEM '" + url + "'>]><r>&x;</r>"), refusal);
    EXPECT_EQ(parseFailure("<!DOCTYPE r SYSTEM '" + url + "'><r/>"), refusal);
    EXPECT_EQ(parseFailure("<!DOCTYPE r [<!ENTITY % p SYSTEM '" + url + "'> %p;]><r/>"), refusal);
    EXPECT_EQ(parseFailure("<!DOCTYPE r [<!ENTITY a 'aaaaaaaa'><!ENTITY b '&a;&a;&a;&a;'>]><r>&b;</r>"),
              refusal);
    EXPECT_EQ(loaderCalls, 0);
    xmlSetExternalEntityLoader(saved);
}

TEST(XmlDocument, NodeTextStandsOnItsOwn)
{
    const XmlDocument doc = XmlDocument::parse(
        "<r xmlns='urn:d' xmlns:p='urn:p' xmlns:unused='urn:u'><p:Doc p:id='1'><Name>Иванов &amp; сын</Name>"
        "<p:Service/></p:Doc></r>");
    const XmlNode docNode = doc.documentElement().children()[0];
    const QByteArray text = docNode.xml();
    EXPECT_TRUE(text.contains(QStringLiteral("Иванов &amp; сын").toUtf8()));
    EXPECT_FALSE(text.contains("<?xml"));

    // Loaded on its own it keeps every name in its namespace.
    const XmlNode copy = XmlDocument::parse(text).documentElement();
    EXPECT_EQ(copy.namespaceUri(), QStringLiteral("urn:p"));
    EXPECT_EQ(copy.attributes()[0].namespaceUri, QStringLiteral("urn:p"));
    EXPECT_EQ(copy.children()[0].namespaceUri(), QStringLiteral("urn:d"));
    EXPECT_EQ(copy.children()[0].text(), QStringLiteral("Иванов & сын"));

    const XmlDocument own = XmlDocument::fromNode(docNode);
    EXPECT_EQ(own.documentElement().children()[1].namespaceUri(), QStringLiteral("urn:p"));
    EXPECT_EQ(own.documentElement().exclusiveCanonicalXml(), docNode.exclusiveCanonicalXml());
    EXPECT_TRUE(XmlDocument::parse(own.toXml()).documentElement().name() == QStringLiteral("p:Doc"));
    EXPECT_THROW(XmlDocument::fromNode(XmlNode()), EXMLException);
}

TEST(XmlDocument, ExclusiveCanonicalFormOfAnElement)
{
    const XmlDocument doc =
        XmlDocument::parse("<root xmlns='urn:d' xmlns:a='urn:a' xmlns:unused='urn:u'>\n"
                           "<a:item z='2' a:y='1' b=\"3\">text &amp; more\r\n<ds:Signature "
                           "xmlns:ds='urn:ds'><ds:Value/></ds:Signature>"
                           "<!-- c --><child/></a:item></root>");
    const XmlNode item = FindNodeByPath(doc.documentElement(), QStringLiteral("item"), true);
    const XmlNode signature = FindNodeByPath(item, QStringLiteral("Signature"), true);
    EXPECT_EQ(item.exclusiveCanonicalXml(),
              QByteArray("<a:item xmlns:a=\"urn:a\" b=\"3\" z=\"2\" a:y=\"1\">text &amp; more\n"
                         "<ds:Signature xmlns:ds=\"urn:ds\"><ds:Value></ds:Value></ds:Signature>"
                         "<child xmlns=\"urn:d\"></child></a:item>"));
    EXPECT_EQ(item.exclusiveCanonicalXml(signature),
              QByteArray("<a:item xmlns:a=\"urn:a\" b=\"3\" z=\"2\" a:y=\"1\">text &amp; more\n"
                         "<child xmlns=\"urn:d\"></child></a:item>"));
}

// Elements taken while a document is read leave the rest as it was, the text around them included,
// whatever the piece boundaries; only an element whose elder siblings were all taken is offered,
// and what the receiver raises ends the reading.
TEST(XmlDocument, ElementsTakenWhileReadingLeaveTheRestIntact)
{
    QByteArray bytes = "<r xmlns:p=\"urn:p\"><list>\n";
    for (int i = 0; i < 5000; ++i)
        bytes += "  <p:item n=\"" + QByteArray::number(i) + "\">" + QByteArray(100, 'x') + "</p:item>\n";
    bytes += "  <stay>text</stay> tail<p:item n=\"late\"/></list><after>a<b/>c</after></r>";
    QStringList taken;
    const XmlDocument document = XmlDocument::parse(bytes, {}, [&](const XmlNode& element) {
        if (element.localName() != QLatin1String("item"))
            return false;
        taken << element.attribute(QStringLiteral("n")) + u'/' + element.namespaceUri() + u'/' +
                     QString::number(element.text().size());
        return true;
    });
    ASSERT_EQ(taken.size(), 5000);
    EXPECT_EQ(taken.first(), QStringLiteral("0/urn:p/100"));
    EXPECT_EQ(taken.last(), QStringLiteral("4999/urn:p/100"));
    const XmlNode list = document.documentElement().children().first();
    EXPECT_EQ(names(list.children()), (QStringList{"stay", "\" tail\"", "p:item"}));
    EXPECT_EQ(document.documentElement().children()[1].text(), QStringLiteral("ac"));

    int offered = 0;
    EXPECT_EQ(Raised<EXMLException>([&] {
                  XmlDocument::parse(bytes, {}, [&](const XmlNode&) -> bool {
                      if (++offered == 3)
                          throw EXMLException(QStringLiteral("stop here"));
                      return false;
                  });
              }),
              QStringLiteral("stop here"));
    EXPECT_EQ(offered, 3);
}
