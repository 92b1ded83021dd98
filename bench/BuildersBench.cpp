// How long building one outgoing message takes: the unsigned request texts alone, and a payment
// with its own signature wrapped in the signed envelope next to the bare cryptography of it, time
// stamping off.
#include "BenchApplication.h"
#include "foundation/CryptHelper.h"
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

// One payment as an operation builds it: one key for both signatures, read afresh each time.
void SignedPaymentEnvelope(benchmark::State& state)
{
    Store();
    FakeSoapValues form = GisGmpPaymentForm();
    for (auto _ : state) {
        ContainerKey key(Store().store(), QStringLiteral("bench"));
        benchmark::DoNotOptimize(
            BuildSignedEnvelope(key, SoapCreateImportRequest(key, form), form.identifiers()));
        form.clearReads();
    }
}
BENCHMARK(SignedPaymentEnvelope)->Unit(benchmark::kMillisecond);

// The cryptography alone of the same envelope: one key read, the digests of the payment and of the
// body, and the two signatures of their SignedInfo, over the very bytes the envelope holds.
void BareCryptoOfSignedPayment(benchmark::State& state)
{
    Store();
    FakeSoapValues form = GisGmpPaymentForm();
    const QString envelope = [&] {
        ContainerKey key(Store().store(), QStringLiteral("bench"));
        return BuildSignedEnvelope(key, SoapCreateImportRequest(key, form), form.identifiers());
    }();
    const auto element = [&](const QString& start, const QString& end, int from = 0) {
        const qsizetype begin = envelope.indexOf(start, from);
        const qsizetype finish = envelope.indexOf(end, begin);
        if (begin < 0 || finish < 0)
            return QByteArray();
        return envelope.mid(begin, finish + end.size() - begin).toUtf8();
    };
    const QByteArray payment =
        element(QStringLiteral("<pi:FinalPayment"), QStringLiteral("</pi:FinalPayment>"));
    const QByteArray body = element(QStringLiteral("<soapenv:Body"), QStringLiteral("</soapenv:Body>"));
    const QByteArray paymentSignedInfo =
        element(QStringLiteral("<ds:SignedInfo"), QStringLiteral("</ds:SignedInfo>"),
                int(envelope.indexOf(QStringLiteral("<pi:FinalPayment"))));
    const QByteArray envelopeSignedInfo =
        element(QStringLiteral("<ds:SignedInfo"), QStringLiteral("</ds:SignedInfo>"));
    if (payment.isEmpty() || body.isEmpty() || paymentSignedInfo.isEmpty() || envelopeSignedInfo.isEmpty()) {
        state.SkipWithError("the envelope lacks a signed part");
        return;
    }
    for (auto _ : state) {
        ContainerKey key(Store().store(), QStringLiteral("bench"));
        benchmark::DoNotOptimize(key.algorithm());
        benchmark::DoNotOptimize(key.hash(payment));
        benchmark::DoNotOptimize(key.sign(paymentSignedInfo));
        benchmark::DoNotOptimize(key.certificate());
        benchmark::DoNotOptimize(key.hash(body));
        benchmark::DoNotOptimize(key.sign(envelopeSignedInfo));
    }
}
BENCHMARK(BareCryptoOfSignedPayment)->Unit(benchmark::kMillisecond);

} // namespace
