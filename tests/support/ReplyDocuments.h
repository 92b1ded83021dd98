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

using ReplyReader = std::function<int(const XmlDocument&, ISOAPValues*, TakenRecords*)>;
// Reads `reply` with `read` from its whole tree, and again with `take` taking the records out as the
// reply is parsed: the display must not tell the two apart, failures included, and `taken` records
// must have come the second way.
void ExpectShownAsFromTheWholeTree(const QByteArray& reply, const ReplyReader& read,
                                   const TakenRecords::Reader& take, qsizetype taken);
