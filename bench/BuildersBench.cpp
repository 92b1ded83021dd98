// How long building one outgoing message takes: the unsigned request texts alone, and a payment
// with its own signature wrapped in the signed envelope (four container calls), time stamping off.
#include "BenchApplication.h"
#include "gisgkx/GisGkxRequests.h"
#include "gisgmp/SoapPayment.h"
#include "smev/SmevEnvelope.h"
#include "support/SampleForms.h"
#include "support/TestKeys.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

TestKeyStore& Store()
{
    BenchApplication<QCoreApplication>();
    static TestKeyStore store;
    static const bool made = (store.addContainer(QStringLiteral("bench")), true);
    Q_UNUSED(made);
    return store;
}

void ExportRequest(benchmark::State& state)
{
    FakeSoapValues form = GisGmpChargesForm();
    for (auto _ : state) {
        benchmark::DoNotOptimize(SoapCreateExportRequest(form));
        form.clearReads(); // the fake logs every read
    }
}
BENCHMARK(ExportRequest);

void NotificationRequest(benchmark::State& state)
{
    FakeSoapValues form = GisGkxPaymentForm();
    for (auto _ : state) {
        benchmark::DoNotOptimize(SoapCreateImportNotificationsOfOrderExecutionRequest(QString(), form));
        form.clearReads();
    }
}
BENCHMARK(NotificationRequest);

void SignedPaymentEnvelope(benchmark::State& state)
{
    Store();
    FakeSoapValues form = GisGmpPaymentForm();
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildSignedEnvelope(QStringLiteral("bench"),
                                                     SoapCreateImportRequest(QStringLiteral("bench"), form)));
        form.clearReads();
    }
}
BENCHMARK(SignedPaymentEnvelope)->Unit(benchmark::kMillisecond);

} // namespace
