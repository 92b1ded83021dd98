// Time-stamp replies come from the network, over plain HTTP by default: whatever octets arrive,
// reading the status and extracting the TSTInfo must either work or raise one of the reader's two
// exceptions, never read outside the reply, and what it returns must be consistent with the octets.
#include "tsp/TSP.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

const QString TSTInfoOid = QStringLiteral("1.2.840.113549.1.9.16.1.4");

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Arcs written without superfluous leading 0x80 octets: the only form OidToDer writes back.
bool IsMinimalOid(QByteArrayView content)
{
    bool startOfArc = true;
    for (const char c : content) {
        const auto octet = static_cast<quint8>(c);
        if (startOfArc && octet == 0x80)
            return false;
        startOfArc = !(octet & 0x80);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray reply(reinterpret_cast<const char*>(data), qsizetype(size));

    try {
        CheckTimeStampReply(reply);
    } catch (const ETSPException& e) {
        // Only a refusal is raised this way, and its message is made of its fields.
        Check(e.Code() != 0);
        Check(e.FailureCode() >= 0 && e.FailureCode() <= 255);
        Check(!e.FailureCodeString().isEmpty());
        Check(e.message() == (e.CodeString().isEmpty() ? QString() : e.CodeString() + QStringLiteral(": ")) +
                                 e.FailureCodeString());
    } catch (const EASN1Exception&) {
    }

    try {
        const std::optional<qsizetype> found = DerFindOid(reply, 0, reply.size(), TSTInfoOid);
        if (found) {
            const TDerHeader oid = DerReadHeader(reply, *found, 0x06);
            Check(oid.End() <= reply.size());
            Check(DerToOid(QByteArrayView(reply).sliced(oid.ContentPos, oid.Length)) == TSTInfoOid);
        }
        const QByteArray tstInfo = ExtractTSTInfo(reply);
        Check(found.has_value());
        Check(tstInfo.size() < reply.size() && reply.indexOf(tstInfo, *found) >= *found);
    } catch (const EASN1Exception&) {
    }

    // The whole input as the content of an identifier: what reads as dotted text is written back
    // as the same octets. Kept short, since writing a long arc in decimal is slow by nature.
    if (size <= 64) {
        try {
            const QString dotted = DerToOid(reply);
            Check(!dotted.isEmpty());
            if (IsMinimalOid(reply)) {
                QByteArray written;
                try {
                    written = OidToDer(dotted);
                } catch (const EASN1Exception&) {
                    return 0; // an arc beyond 64 bits, which the writer does not take
                }
                Check(written == reply);
            }
        } catch (const EASN1Exception&) {
        }
    }
    return 0;
}
