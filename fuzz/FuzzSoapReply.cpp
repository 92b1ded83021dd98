// Replies of the state systems come from the network: whatever arrives, each reader either returns
// what it was asked for or raises ESOAPException or EXMLException. Anything else escaping, a crash or a
// read outside the document is a fault. The same bytes go to every reader, so one corpus of faults,
// GIS GMP and housing replies drives them all.
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"
#include "gisgkx/GisGkxReplies.h"
#include "gisgmp/GisGmpReplies.h"
#include "smev/SoapValues.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Counts the records handed to the display and touches what it is handed, as the window does.
class CountingValues final : public ISOAPValues {
  public:
    int records = 0;

    void DisplayRecord(const XmlDocument& document, QStringList& lines) override
    {
        ++records;
        Check(!document.documentElement().isNull());
        for (const QString& line : lines)
            Check(!line.isNull());
    }
    QString GetFieldValue(const QString&) override { return {}; }
};

// Runs one reader; true when it returned.
bool Reads(const std::function<void()>& reader)
{
    try {
        reader();
        return true;
    } catch (const ESOAPException& e) {
        Check(!e.message().isEmpty());
    } catch (const EXMLException&) {
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    XmlDocument document;
    try {
        document = XmlDocument::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    } catch (const EXMLException&) {
        return 0;
    }

    Reads([&] { CheckSoapEnvelope(document.documentElement()); });
    Reads([&] { ReadImportResult(document); });
    Reads([&] { ReadPackageStatus(document); });
    Reads([&] { ReadAckResult(document); });
    Reads([&] { ReadStateResult(document); });

    // Counting a page and showing it must agree on how many charges it holds.
    TExportChargesResult counted;
    if (Reads([&] { counted = ReadExportCharges(document, nullptr); })) {
        CountingValues values;
        TExportChargesResult shown;
        if (Reads([&] { shown = ReadExportCharges(document, &values); })) {
            Check(shown.Count == counted.Count && shown.HasMore == counted.HasMore);
            Check(values.records == shown.Count);
        }
    }

    CountingValues values;
    int details = 0;
    if (Reads([&] { details = ReadPaymentDocumentDetails(document, &values); }))
        Check(details == values.records);
    return 0;
}
