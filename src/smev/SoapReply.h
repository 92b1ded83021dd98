#pragma once

#include "foundation/XmlDocument.h"
#include "smev/SoapException.h"

#include <QList>
#include <QString>
#include <QStringList>

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

// The records of a long reply taken out of it while it is read (XmlDocument::parse's hand-off), so
// that the reply is never held whole as a tree: each record as the lines its reader would make of
// it. A record that does not read stays in the tree, and every one after it, where the reader
// meets it in its turn; the reader shows the taken records first, once the reply has passed its
// checks.
class TakenRecords final {
  public:
    enum class Kind { Charges, PaymentDocuments };
    explicit TakenRecords(Kind kind) : kind_(kind) {}

    XmlHandOff handOff()
    {
        return [this](const XmlNode& element) { return take(element); };
    }
    qsizetype size() const { return records_.size(); }
    // Hands each taken record to `values`, in order, letting go of it.
    void display(ISOAPValues& values);

  private:
    bool take(const XmlNode& element);

    Kind kind_;
    QList<QStringList> records_;
};

struct TExportChargesResult {
    int Count = 0;
    // The reply announces another page.
    bool HasMore = false;
};

// Counts the charges of one reply page and, when `values` is given, hands each decoded charge to
// it for display: those `taken` while the page was read first.
TExportChargesResult ReadExportCharges(const XmlDocument& document, ISOAPValues* values,
                                       TakenRecords* taken = nullptr);

// The message identifier of an accepted housing notification or cancellation.
QString ReadAckResult(const XmlDocument& document);

// The transport identifier of a processed housing message.
QString ReadStateResult(const XmlDocument& document);

// Hands each payment document and service of the housing reply to `values` and returns how many
// there were (0 without `values`, and 0 when the system reports that nothing was found).
int ReadPaymentDocumentDetails(const XmlDocument& document, ISOAPValues* values,
                               TakenRecords* taken = nullptr);
