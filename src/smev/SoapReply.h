#pragma once

#include "foundation/XmlDocument.h"
#include "smev/SoapException.h"

#include <QString>

// What every reader of a state system's reply (gisgmp/GisGmpReplies.h, gisgkx/GisGkxReplies.h)
// starts with. Each checks the envelope for a fault, then the answering system's status, and only
// then reads what the operation needs. A fault or a negative result raises ESOAPException; a node
// the reply must have but lacks raises EXMLException. Element names are matched by local name,
// ignoring prefixes and the case of letters.

// Raises when `root` is not a SOAP envelope or its body holds a fault.
void CheckSoapEnvelope(const XmlNode& root);

// The text of the node `path` leads to from `start`; EXMLException when there is none.
QString NodeText(const XmlNode& start, const QString& path);
