// What a hostile reply costs before it is refused: processor time and the memory the parser
// takes besides the reply itself, for the replies that once took half a minute or a gigabyte, and for
// one at the client's 100 MB cap. The floor beside each is a real reply of the same order of size
// (a page of 10,000 payment documents), read whole, in the same run. Real pages are also read as the
// client reads them, each record taken out of the tree as it ends.
#include "BenchReplies.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"
#include "gisgkx/GisGkxReplies.h"
#include "gisgmp/GisGmpReplies.h"
#include "sandbox/EnvelopeSigner.h"
#include "sandbox/SandboxIdentity.h"
#include "smev/SignatureVerifier.h"

#include <benchmark/benchmark.h>
#include <libxml/xmlmemory.h>

#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

// What libxml2 holds at most while it reads: its allocations counted as they come and go. The
// process's peak would hide them behind memory the reply's construction freed before.
struct ParserMemory {
    static inline size_t current = 0;
    static inline size_t peak = 0;
    static constexpr size_t header = alignof(std::max_align_t);

    static void* take(void* block, size_t size)
    {
        if (!block)
            return nullptr;
        *static_cast<size_t*>(block) = size;
        current += size;
        peak = std::max(peak, current);
        return static_cast<char*>(block) + header;
    }
    static void* allocate(size_t size) { return take(std::malloc(size + header), size); }
    static void release(void* pointer)
    {
        if (!pointer)
            return;
        void* block = static_cast<char*>(pointer) - header;
        current -= *static_cast<size_t*>(block);
        std::free(block);
    }
    static void* reallocate(void* pointer, size_t size)
    {
        if (!pointer)
            return allocate(size);
        void* block = static_cast<char*>(pointer) - header;
        current -= *static_cast<size_t*>(block);
        return take(std::realloc(block, size + header), size);
    }
    static char* duplicate(const char* text)
    {
        const size_t size = std::strlen(text) + 1;
        return static_cast<char*>(std::memcpy(allocate(size), text, size));
    }
    // Before the parser's first allocation, and for the whole program.
    static bool install() { return xmlMemSetup(release, allocate, reallocate, duplicate) == 0; }
};
const bool counted = ParserMemory::install();

QByteArray Hostile(const QByteArray& content)
{
    return "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>" + content +
           "</s:Body></s:Envelope>";
}

QByteArray Attributes(int count)
{
    QByteArray element = "<a";
    for (int i = 0; i < count; ++i)
        element += " a" + QByteArray::number(i) + "=\"\"";
    return Hostile(element + "/>");
}

// `take`, when given, takes the reply's records out as it is read; the lines made of them are Qt's
// memory, not the parser's.
void Read(benchmark::State& state, const QByteArray& reply, bool refused,
          const TakenRecords::Reader& take = {}, XmlTreeSize size = XmlTreeSize::bounded)
{
    if (!counted)
        state.SkipWithError("the parser's memory cannot be counted");
    ParserMemory::peak = ParserMemory::current;
    const size_t before = ParserMemory::current;
    for (auto _ : state) {
        std::optional<TakenRecords> taken;
        if (take)
            taken.emplace(take);
        try {
            benchmark::DoNotOptimize(
                XmlDocument::parse(reply, {}, taken ? taken->handOff() : XmlHandOff(), size));
            if (refused)
                state.SkipWithError("the hostile reply was read");
        } catch (const EXMLException&) {
            if (!refused)
                state.SkipWithError("the real reply was refused");
        }
    }
    state.counters["reply_MB"] = double(reply.size()) / (1024.0 * 1024.0);
    state.counters["added_MB"] = double(ParserMemory::peak - before) / (1024.0 * 1024.0);
    state.SetBytesProcessed(state.iterations() * reply.size());
}

void AttributesOnOneElement(benchmark::State& state)
{
    Read(state, Attributes(100'000), true);
}
BENCHMARK(AttributesOnOneElement)->Iterations(1)->Unit(benchmark::kMillisecond);

void EmptyElements(benchmark::State& state)
{
    Read(state, Hostile(QByteArray("<a/>").repeated(state.range(0))), true);
}
// 16 MB, and the client's 100 MB cap.
BENCHMARK(EmptyElements)->Arg(4'000'000)->Arg(26'200'000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Elements that each use as many prefixes and attributes as an element may have, the prefixes
// declared once on the envelope: every element of the Body declares them all again in the canonical
// form, at the 100 MB cap.
QByteArray PrefixedAttributes()
{
    QByteArray declarations;
    QByteArray element = "<a";
    for (int p = 0; p + 1 < XmlLimits::MaxNamespaceDeclarationsPerElement; ++p) {
        const QByteArray prefix = "p" + QByteArray::number(p);
        declarations += " xmlns:" + prefix + "=\"urn:" + QByteArray::number(p) + "\"";
        for (const char* name : {"a", "b", "c", "d"})
            element += " " + prefix + ":" + name + "=\"\"";
    }
    element += "/>";
    const QByteArray open = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"" +
                            declarations + "><s:Header/><s:Body>";
    const QByteArray close = "</s:Body></s:Envelope>";
    return open + element.repeated((100 * 1024 * 1024 - open.size() - close.size()) / element.size()) + close;
}

void ManyPrefixedAttributes(benchmark::State& state)
{
    Read(state, PrefixedAttributes(), true);
}
BENCHMARK(ManyPrefixedAttributes)->Iterations(1)->Unit(benchmark::kMillisecond);

// Elements that each declare as many namespaces as an element may, at the 100 MB cap.
QByteArray NamespaceDeclarations()
{
    QByteArray element = "<a";
    for (int p = 0; p < XmlLimits::MaxNamespaceDeclarationsPerElement; ++p)
        element += " xmlns:p" + QByteArray::number(p) + "=\"urn:" + QByteArray::number(p) + "\"";
    element += "/>";
    return Hostile(element.repeated(100 * 1024 * 1024 / element.size()));
}

void ManyNamespaceDeclarations(benchmark::State& state)
{
    Read(state, NamespaceDeclarations(), true);
}
BENCHMARK(ManyNamespaceDeclarations)->Iterations(1)->Unit(benchmark::kMillisecond);

void RealDocumentPage(benchmark::State& state)
{
    Read(state, DocumentPageReply(int(state.range(0))), false, {}, XmlTreeSize::whole);
}
BENCHMARK(RealDocumentPage)->Arg(10'000)->Iterations(1)->Unit(benchmark::kMillisecond);

void RealDocumentPageByRecord(benchmark::State& state)
{
    Read(state, DocumentPageReply(int(state.range(0))), false, TakePaymentDocuments);
}
BENCHMARK(RealDocumentPageByRecord)->Arg(10'000)->Iterations(1)->Unit(benchmark::kMillisecond);

void RealChargesPage(benchmark::State& state)
{
    Read(state, ChargePages(int(state.range(0)), 1).first(), false, {}, XmlTreeSize::whole);
}
BENCHMARK(RealChargesPage)->Arg(10'000)->Iterations(1)->Unit(benchmark::kMillisecond);

void RealChargesPageByRecord(benchmark::State& state)
{
    Read(state, ChargePages(int(state.range(0)), 1).first(), false, TakeCharge);
}
BENCHMARK(RealChargesPageByRecord)->Arg(10'000)->Iterations(1)->Unit(benchmark::kMillisecond);

// The signature check of a reply as the client runs it, the Body canonicalised and hashed as it
// is read: a forged reply is refused, a genuine one verifies, at a cost of its own beside the tree's.
void Check(benchmark::State& state, const QByteArray& reply, bool genuine)
{
    if (!counted)
        state.SkipWithError("the parser's memory cannot be counted");
    ParserMemory::peak = ParserMemory::current;
    const size_t before = ParserMemory::current;
    for (auto _ : state)
        if (CheckEnvelopeSignature(reply, {false, {}}).verified() != genuine)
            state.SkipWithError(genuine ? "the genuine reply was refused" : "the forged reply was accepted");
    state.counters["reply_MB"] = double(reply.size()) / (1024.0 * 1024.0);
    state.counters["added_MB"] = double(ParserMemory::peak - before) / (1024.0 * 1024.0);
    state.SetBytesProcessed(state.iterations() * reply.size());
}

void CheckingEmptyElements(benchmark::State& state)
{
    Check(state, Hostile(QByteArray("<a/>").repeated(state.range(0))), false);
}
void CheckingManyPrefixedAttributes(benchmark::State& state)
{
    Check(state, PrefixedAttributes(), false);
}

BENCHMARK(CheckingManyPrefixedAttributes)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK(CheckingEmptyElements)
    ->Arg(4'000'000)
    ->Arg(26'200'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// A page of 10,000 rich charges as the state system signs it.
void CheckingSignedChargesPage(benchmark::State& state)
{
    const SandboxIdentity identity = MakeSandboxIdentity();
    const QByteArray page = ChargePages(int(state.range(0)), 1).first();
    const qsizetype start = page.indexOf('>', page.indexOf(":Body")) + 1;
    const qsizetype end = page.lastIndexOf("</");
    const QByteArray content = page.mid(start, page.lastIndexOf("</", end - 1) - start);
    Check(state,
          SignedSoapEnvelope(QString::fromUtf8(content), CertificateDer(identity.signerCertificate.get()),
                             identity.signerKey.get()),
          true);
}
BENCHMARK(CheckingSignedChargesPage)->Arg(10'000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
