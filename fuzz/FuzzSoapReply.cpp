// Replies of the state systems come from the network: whatever arrives, each reader either returns
// what it was asked for or raises ESOAPException or EXMLException. Anything else escaping, a crash or a
// read outside the document is a fault. The same bytes go to every reader, so one corpus of faults,
// GIS GMP and housing replies drives them all. A page read record by record, as the client reads a
// long one, must show and raise exactly what the same page read whole does.
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

// Keeps the lines of every record handed to the display.
class RecordingValues final : public ISOAPValues {
  public:
    QList<QStringList> records;

    void DisplayRecord(const XmlDocument&, QStringList& lines) override { records << lines; }
    QString GetFieldValue(const QString&) override { return {}; }
};

// What a reader made of a reply: its count or the message it raised, then every record's lines.
using Reader = std::function<int(const XmlDocument&, ISOAPValues*, TakenRecords*)>;
QList<QStringList> Outcome(const XmlDocument& document, const Reader& read, TakenRecords* taken)
{
    RecordingValues values;
    QString result;
    try {
        result = QString::number(read(document, &values, taken));
    } catch (const Exception& e) {
        result = e.message();
    }
    values.records.prepend({result});
    return values.records;
}

void SameTakenAsWhole(const QByteArray& bytes, const XmlDocument& whole, const Reader& read,
                      const TakenRecords::Reader& take)
{
    TakenRecords taken(take);
    XmlDocument document;
    try {
        document = XmlDocument::parse(bytes, {}, taken.handOff());
    } catch (const EXMLException&) {
        Check(false);
    }
    Check(Outcome(document, read, &taken) == Outcome(whole, read, nullptr));
}

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
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    XmlDocument document;
    try {
        document = XmlDocument::parse(bytes);
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

    SameTakenAsWhole(
        bytes, document,
        [](const XmlDocument& page, ISOAPValues* shown, TakenRecords* taken) {
            return ReadExportCharges(page, shown, taken).Count;
        },
        TakeCharge);
    SameTakenAsWhole(bytes, document, ReadPaymentDocumentDetails, TakePaymentDocuments);
    return 0;
}
