// How many signed payments the sandbox checks and answers per second on one core, next to the bare
// cryptography of the same request (the two signature verifications and the two digests): the
// difference is what parsing, canonicalisation, the answer and its signature cost.
#include "BenchApplication.h"
#include "gisgmp/SoapPayment.h"
#include "sandbox/SandboxService.h"
#include "smev/SignatureVerifier.h"
#include "smev/SmevEnvelope.h"
#include "support/SampleForms.h"
#include "support/TestKeys.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <benchmark/benchmark.h>

namespace {

const QString Path = QStringLiteral("/gateway/services/SID0003663");
const QByteArray Action = "\"http://roskazna.ru/gisgmp/02000000/SmevGISGMPService/GISGMPTransferMsg\"";

const QByteArray& Payment()
{
    BenchApplication<QCoreApplication>();
    static TestKeyStore store;
    static const QByteArray envelope = [] {
        store.addContainer(QStringLiteral("bench"));
        FakeSoapValues form = GisGmpPaymentForm();
        ContainerKey key(store.store(), QStringLiteral("bench"));
        return BuildSignedEnvelope(key, SoapCreateImportRequest(key, form), form.identifiers()).toUtf8();
    }();
    return envelope;
}

void SandboxAnswersSignedPayment(benchmark::State& state)
{
    const QByteArray& payment = Payment();
    const SandboxIdentity identity = MakeSandboxIdentity();
    SandboxService service(LoadDemoData(), identity);
    for (auto _ : state) {
        const SandboxReply reply = service.handle(Path, Action, payment);
        if (reply.status != 200)
            state.SkipWithError(reply.body.constData());
        benchmark::DoNotOptimize(reply.body.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SandboxAnswersSignedPayment)->Unit(benchmark::kMillisecond);

void BareCryptoOfSignedPayment(benchmark::State& state)
{
    const QByteArray& payment = Payment();
    const SignatureCheck envelope = CheckEnvelopeSignature(payment);
    const SignatureCheck inner = CheckPaymentSignature(payment);
    // The signature values in document order: the payment's own first, then the envelope's.
    QList<QByteArray> values;
    static const QRegularExpression value(QStringLiteral("<ds:SignatureValue[^>]*>([^<]*)<"));
    for (const auto& match : value.globalMatch(QString::fromUtf8(payment)))
        values << QByteArray::fromBase64(match.captured(1).toLatin1());
    if (values.size() != 2 || !envelope.verified() || !inner.verified()) {
        state.SkipWithError("the payment does not verify");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(Gost94Hash(inner.signedC14N));
        benchmark::DoNotOptimize(Gost94Hash(envelope.signedC14N));
        benchmark::DoNotOptimize(VerifyGostSignature(inner.certificate, inner.signedInfoC14N, values[0]));
        benchmark::DoNotOptimize(
            VerifyGostSignature(envelope.certificate, envelope.signedInfoC14N, values[1]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BareCryptoOfSignedPayment)->Unit(benchmark::kMillisecond);

} // namespace
