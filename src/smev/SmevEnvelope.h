#pragma once

#include <QString>

class ContainerKey;
class IdentifierSource;
class ISOAPValues;

// The SMEV header block rev:Message, built from the header keys of the value source and marked as
// a test message under its test mode. With declarePrefix the element declares the rev prefix
// itself; otherwise an enclosing element must.
QString BuildSmevHeader(ISOAPValues& values, bool declarePrefix);

// The test-message marker of the header, or the empty text outside test mode.
QString TestMsgElement(bool testMode);

// The complete SOAP envelope: the request element as the Body, the Body signed with the key of
// the container, the signer's certificate in the security header, its Ids drawn from `ids`.
QString BuildSignedEnvelope(ContainerKey& key, const QString& body, IdentifierSource& ids);
