// How long reading a time-stamp reply takes: an ordinary reply, and replies of the same size whose
// identifiers are long enough to make a careless reader spend minutes writing them in decimal.
// The operator waits for this on the window's thread, so it has to stay in milliseconds.
#include "tsp/TSP.h"

#include <benchmark/benchmark.h>

namespace {

QByteArray Oid(const char* dotted)
{
    return DerTLV(0x06, OidToDer(QString::fromLatin1(dotted)));
}

// A granted reply whose TSTInfo is `padding` octets long, or whose token carries, ahead of the
// TSTInfo content type, one identifier of `padding` octets made of a single enormous arc.
QByteArray Reply(qsizetype padding, bool longIdentifier)
{
    QByteArray arc(padding, '\xff');
    arc += '\x01';
    const QByteArray tstInfo = DerTLV(0x30, DerTLV(0x04, QByteArray(longIdentifier ? 16 : padding, 'x')));
    const QByteArray before = longIdentifier ? DerTLV(0x06, QByteArray("\x2a", 1) + arc) : QByteArray();
    const QByteArray content =
        DerTLV(0x30, before + Oid("1.2.840.113549.1.9.16.1.4") + DerTLV(0xA0, DerTLV(0x04, tstInfo)));
    const QByteArray token = DerTLV(0x30, Oid("1.2.840.113549.1.7.2") + DerTLV(0xA0, content));
    return DerTLV(0x30, DerTLV(0x30, DerTLV(0x02, DerInteger(0))) + token);
}

void ReadReply(benchmark::State& state, bool longIdentifier)
{
    const QByteArray reply = Reply(state.range(0), longIdentifier);
    for (auto _ : state) {
        CheckTimeStampReply(reply);
        benchmark::DoNotOptimize(ExtractTSTInfo(reply));
    }
    state.SetBytesProcessed(state.iterations() * reply.size());
}
BENCHMARK_CAPTURE(ReadReply, ordinary, false)->Arg(4 * 1024)->Arg(1024 * 1024);
BENCHMARK_CAPTURE(ReadReply, long_identifier, true)->Arg(4 * 1024)->Arg(1024 * 1024);

} // namespace
