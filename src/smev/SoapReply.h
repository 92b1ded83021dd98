#pragma once

#include "foundation/XmlDocument.h"
#include "smev/SoapException.h"

#include <QString>

class ISOAPValues;

// Readers of the replies of the state systems. Each checks the envelope for a fault, then the
// answering system's status, and only then reads what the operation needs. A fault or a negative
// result raises ESOAPException; a node the reply must have but lacks raises EXMLException.
// Element names are matched by local name, ignoring prefixes and the case of letters.

// Raises when `root` is not a SOAP envelope or its body holds a fault.
void CheckSoapEnvelope(const XmlNode& root);

// Checks a GIS GMP reply down to the processing result of its ticket and returns the ticket (the
// absent node when the reply has none and `ticketMust` is clear).
XmlNode CheckGisGmpResponse(const XmlDocument& document, bool ticketMust, bool resultMust);

// The package identifier of an accepted payment.
QString ReadImportResult(const XmlDocument& document);

// The entity identifier of a processed package; a result code other than "0" raises (the flow
// tells "not processed yet" apart by the exception's ResultCode).
QString ReadPackageStatus(const XmlDocument& document);

struct TExportChargesResult {
    int Count = 0;
    // The reply announces another page.
    bool HasMore = false;
};

// Counts the charges of one reply page and, when `values` is given, hands each decoded charge to
// it for display.
TExportChargesResult ReadExportCharges(const XmlDocument& document, ISOAPValues* values);

// The message identifier of an accepted housing notification or cancellation.
QString ReadAckResult(const XmlDocument& document);

// The transport identifier of a processed housing message.
QString ReadStateResult(const XmlDocument& document);

// Hands each payment document and service of the housing reply to `values` and returns how many
// there were (0 without `values`, and 0 when the system reports that nothing was found).
int ReadPaymentDocumentDetails(const XmlDocument& document, ISOAPValues* values);
