// What a hostile reply costs before it is refused: processor time and the memory the parser
// takes besides the reply itself, for the replies that once took half a minute or a gigabyte, and for
// one at the client's 100 MB cap. The floor beside each is a real reply of the same order of size
// (a page of 10,000 payment documents), read whole, in the same run.
#include "BenchReplies.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"

#include <benchmark/benchmark.h>
#include <libxml/xmlmemory.h>

#include <cstdlib>
#include <cstring>

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

void Read(benchmark::State& state, const QByteArray& reply, bool refused)
{
    if (!counted)
        state.SkipWithError("the parser's memory cannot be counted");
    ParserMemory::peak = ParserMemory::current;
    const size_t before = ParserMemory::current;
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(XmlDocument::parse(reply));
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

void RealDocumentPage(benchmark::State& state)
{
    Read(state, DocumentPageReply(int(state.range(0))), false);
}
BENCHMARK(RealDocumentPage)->Arg(10'000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
