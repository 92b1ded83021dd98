// How long the provider takes for what one exchange asks of it: hashing a message body and signing
// a SignedInfo, each on a container opened afresh.
#include "BenchApplication.h"
#include "support/TestKeys.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

struct TBenchStore {
    TBenchStore()
    {
        store.addContainer(QStringLiteral("bench"));
        TestKeyOptions locked;
        locked.password = QStringLiteral("secret");
        store.addContainer(QStringLiteral("locked"), locked);
    }
    TestKeyStore store;
    CountingPasswords password{QStringLiteral("secret")};
};

TBenchStore& Store()
{
    BenchApplication<QCoreApplication>();
    static TBenchStore store;
    return store;
}

void HashBody(benchmark::State& state)
{
    const KeyStore keys = Store().store.store();
    const QByteArray body(state.range(0), 'x');
    QByteArray hash;
    for (auto _ : state)
        ContainerCrypt(keys, QStringLiteral("bench"), &body, nullptr, nullptr, &hash);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(HashBody)->Arg(4 * 1024)->Arg(1024 * 1024);

void SignSignedInfo(benchmark::State& state, const char* container)
{
    const KeyStore keys = Store().store.store(Store().password.provider());
    const QByteArray signedInfo(700, 's');
    QByteArray certificate, signature;
    for (auto _ : state)
        ContainerCrypt(keys, QLatin1String(container), &signedInfo, &certificate, &signature, nullptr);
}
BENCHMARK_CAPTURE(SignSignedInfo, plain_key, "bench");
BENCHMARK_CAPTURE(SignSignedInfo, encrypted_key, "locked");

} // namespace
