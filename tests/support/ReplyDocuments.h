#pragma once

// Replies as the readers get them, parsed: an envelope around a body, and a value source that keeps
// what the readers hand over.

#include "foundation/XmlDocument.h"
#include "smev/SoapReply.h"
#include "smev/SoapValues.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>

// Keeps copies of what the readers hand over, since they reuse their line lists.
struct TRecordingValues final : ISOAPValues {
    QList<QPair<QString, QStringList>> Records; // root element of the record, lines
    void DisplayRecord(const XmlDocument& document, QStringList& lines) override
    {
        Records.append({document.documentElement().localName(), lines});
    }
    QString GetFieldValue(const QString&) override { return {}; }
};

// The SOAP envelope around `body`, parsed.
XmlDocument ReplyEnvelope(const QByteArray& body);

// The SOAP envelope around `body`, as the bytes of a reply.
QByteArray ReplyEnvelopeText(const QByteArray& body);

// What a reader made of a reply: its result or the message of what it raised, the lines of every
// record shown, and how many of them were taken out while the reply was read.
struct ReadOutcome {
    QString result;
    QList<QStringList> lines;
    qsizetype taken = 0;
};
using ReplyReader = std::function<int(const XmlDocument&, ISOAPValues*, TakenRecords*)>;
// Parses `reply` and reads it with `read`: from the whole tree, or with `take` taking the records
// out as the reply is parsed.
ReadOutcome ReadReply(const QByteArray& reply, const ReplyReader& read,
                      const TakenRecords::Reader& take = {});
