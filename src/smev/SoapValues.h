#pragma once

#include "foundation/Exceptions.h"
#include "foundation/HttpClient.h"
#include "foundation/TextHelper.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
class XmlDocument;

// The run-time switches of one operation, copied from the settings when it starts.
struct SoapRunOptions {
    bool testMode = true;         // messages are marked as test messages
    bool timeStampEnable = false; // the payment signature is time-stamped
    QString timeStampServer;
    // How the time-stamp server's certificate is judged, and the certificates (PEM) the token's
    // signer must be vouched for by; none: the token's signature is not checked.
    ServerTrust timeStampServerTrust;
    QByteArray timeStampAuthorities;
    // The connection holder of the operation's exchanges; none means one for each call.
    THttpClient* http = nullptr;
    // Where the messages' Ids come from: the session's source, so that they never repeat.
    IdentifierSource* identifiers = nullptr;
};

// What the message builders and reply readers need from the window: the value of a key, and
// a place to show a returned record.
class ISOAPValues {
  public:
    virtual ~ISOAPValues() = default;

    // Shows one returned record. `lines` is the caller's list of "path=value" lines, rewritten
    // in place; the caller reuses it, so whatever is kept is copied.
    virtual void DisplayRecord(const XmlDocument& document, QStringList& lines) = 0;

    // The value of a key, already rendered and escaped for the message.
    virtual QString GetFieldValue(const QString& name) = 0;

    // The switches the messages are built under.
    virtual SoapRunOptions RunOptions() const { return {}; }
};

// The identifier source the values' run options name; a builder cannot number a message without one.
inline IdentifierSource& MessageIdentifiers(const ISOAPValues& values)
{
    IdentifierSource* identifiers = values.RunOptions().identifiers;
    if (!identifiers)
        throw Exception(QStringLiteral("There is no identifier source for the message"));
    return *identifiers;
}
