#pragma once

#include "smev/SoapReply.h"

#include <QString>

class ISOAPValues;

// Readers of the GIS ZhKH replies, as smev/SoapReply.h describes them.

// The message identifier of an accepted housing notification or cancellation.
QString ReadAckResult(const XmlDocument& document);

// The transport identifier of a processed housing message.
QString ReadStateResult(const XmlDocument& document);

// A record of a payment-document reply as the reply is read, for TakenRecords: one set of lines
// for each of its documents and services.
bool TakePaymentDocuments(const XmlNode& element, QList<QStringList>& records);

// Hands each payment document and service of the housing reply to `values` and returns how many
// there were (0 without `values`, and 0 when the system reports that nothing was found): those
// `taken` while the reply was read first.
int ReadPaymentDocumentDetails(const XmlDocument& document, ISOAPValues* values,
                               TakenRecords* taken = nullptr);
