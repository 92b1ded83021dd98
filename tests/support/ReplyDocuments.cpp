#include "support/ReplyDocuments.h"

#include "foundation/Exceptions.h"

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
