#include "support/ReplyDocuments.h"

#include "foundation/Exceptions.h"
#include "support/PrintQt.h"

#include <gtest/gtest.h>

#include <optional>

QByteArray ReplyEnvelopeText(const QByteArray& body)
{
    return "<soapenv:Envelope xmlns:soapenv=\"urn:soap\"><soapenv:Body>" + body +
           "</soapenv:Body></soapenv:Envelope>";
}

XmlDocument ReplyEnvelope(const QByteArray& body)
{
    return XmlDocument::parse(ReplyEnvelopeText(body));
}

namespace {

// What a reader made of a reply: its result or the message of what it raised, the lines of every
// record shown, and how many of them were taken out while the reply was read.
struct ReadOutcome {
    QString result;
    QList<QStringList> lines;
    qsizetype taken = 0;
};

ReadOutcome ReadReply(const QByteArray& reply, const ReplyReader& read, const TakenRecords::Reader& take)
{
    TRecordingValues values;
    ReadOutcome outcome;
    std::optional<TakenRecords> taken;
    if (take)
        taken.emplace(take);
    try {
        const XmlDocument document = XmlDocument::parse(reply, {}, taken ? taken->handOff() : XmlHandOff());
        outcome.result = QString::number(read(document, &values, taken ? &*taken : nullptr));
    } catch (const Exception& e) {
        outcome.result = e.message();
    }
    for (const auto& [root, lines] : values.Records) {
        outcome.lines << lines;
        // A taken record reaches the display without a document of its own.
        outcome.taken += root.isEmpty();
    }
    return outcome;
}

} // namespace

void ExpectShownAsFromTheWholeTree(const QByteArray& reply, const ReplyReader& read,
                                   const TakenRecords::Reader& take, qsizetype taken)
{
    SCOPED_TRACE(reply.right(160).toStdString());
    const ReadOutcome whole = ReadReply(reply, read, {});
    const ReadOutcome streamed = ReadReply(reply, read, take);
    EXPECT_EQ(streamed.result, whole.result);
    EXPECT_EQ(streamed.lines, whole.lines);
    EXPECT_EQ(streamed.taken, taken);
}
