#pragma once

#include "foundation/Exceptions.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// A reply whose signature does not show that SMEV sent it as it arrived, or that it answers the
// request it came back to.
ZELVAN_DECLARE_EXCEPTION(EReplySignatureException, Exception);

// Whom the bank takes replies from.
struct ReplySigners {
    // The trust file's certificates (PEM): each of them signs.
    QByteArray trusted;
    // Also any certificate an authority of the file issued for signing, when the operator allows it.
    bool issuedByTrusted = false;
    // The certificates (DER) of the client's own key containers: whoever holds one of their keys
    // is the client, never the state system, whatever the trust file says.
    QList<QByteArray> own;
};

// Checks the WS-Security signature of a reply as it came from the network, before anything of it
// is read: there is one, its Body digest and its SignedInfo signature verify, and its certificate
// is one that `signers` names (ReplySignerFailure) and none of the client's own.
// Raises EReplySignatureException naming the first check that failed, and EXMLException (with the
// document reader's words) for a reply beyond the reading limits or when `stopRequested`, asked as
// the reply is read, says yes. Returns the reply's key: the SHA-256 (hex) of its canonical
// SignedInfo and its decoded signature value, which no one but the signer can make, while Base64
// line breaks or whitespace outside them may differ each time the same reply is served.
QString CheckReplySignature(const QByteArray& reply, const ReplySigners& signers,
                            const std::function<bool()>& stopRequested = {});

// Refuses, with the words of the other refusals, a reply that answers another request: `what`
// says which identifier differs.
[[noreturn]] void RefuseReplyToAnotherRequest(const QString& what, const QString& received,
                                              const QString& expected);

// Refuses a reply whose key the journal's exchange `earlier` received already: a genuine reply
// served again answers another request, even when the identifier it echoes matches.
[[noreturn]] void RefuseReplyReceivedBefore(qint64 earlier);
// Refuses a reply that could not be looked up among those received before: `reason` says why.
[[noreturn]] void RefuseReplyNotLookedUp(const QString& reason);
