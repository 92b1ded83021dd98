#pragma once

#include "foundation/Exceptions.h"

#include <QByteArray>

// A reply whose signature does not show that SMEV sent it as it arrived.
ZELVAN_DECLARE_EXCEPTION(EReplySignatureException, Exception);

// Checks the WS-Security signature of a reply as it came from the network, before anything of it
// is read: there is one, its Body digest and its SignedInfo signature verify, and its certificate
// is one of `trusted` (PEM) or is issued by one of them and valid today, as are those above it.
// Raises EReplySignatureException naming the first check that failed.
void CheckReplySignature(const QByteArray& reply, const QByteArray& trusted);
