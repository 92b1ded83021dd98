#pragma once

// Replies as the readers get them, parsed: an envelope around a body, and a value source that keeps
// what the readers hand over.

#include "foundation/XmlDocument.h"
#include "smev/SoapValues.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>

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
