#pragma once

#include "smev/SoapReply.h"

#include <QString>

class ISOAPValues;

// Readers of the GIS ZhKH replies, as smev/SoapReply.h describes them.

// The message identifier of an accepted housing notification or cancellation.
QString ReadAckResult(const XmlDocument& document);

// The transport identifier of a processed housing message.
QString ReadStateResult(const XmlDocument& document);

// Hands each payment document and service of the housing reply to `values` and returns how many
// there were (0 without `values`, and 0 when the system reports that nothing was found).
int ReadPaymentDocumentDetails(const XmlDocument& document, ISOAPValues* values);
