#pragma once

#include "smev/SoapReply.h"

#include <QString>

class ISOAPValues;

// Readers of the GIS GMP replies, as smev/SoapReply.h describes them.

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
