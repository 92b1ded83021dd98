// What a hostile reply costs before it is refused: processor time and the memory the reading adds
// to that of the reply itself, for the replies that once took half a minute or a gigabyte, and for
// one at the client's 100 MB cap. The floor beside each is a real reply of the same order of size
// (a page of 10,000 payment documents), read whole, in the same run.
#include "BenchReplies.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"

#include <benchmark/benchmark.h>

namespace {

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
    const double before = PeakMegabytes();
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
    state.counters["added_MB"] = PeakMegabytes() - before;
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
