// What showing one returned charge costs, on an empty memo and on one that already holds thousands
// of records: a long reply must not get slower with every record it adds.
#include "BenchApplication.h"
#include "app/Dialogs.h"
#include "app/OperationView.h"
#include "client/Session.h"
#include "foundation/XmlDocument.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QApplication& Application()
{
    // No display is needed to measure the memo; the offscreen platform lays it out all the same.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return BenchApplication<QApplication>();
}

// The lines of a typical charge as the reader hands them over.
QStringList ChargeLines(qint64 number)
{
    const QString id = QStringLiteral("188101771408147%1").arg(number, 5, 10, QLatin1Char('0'));
    return {
        QStringLiteral("supplierBillID=") + id,
        QStringLiteral("billDate=2016-02-01T10:00:00+03:00"),
        QStringLiteral("ValidUntil=2016-03-01T00:00:00+03:00"),
        QStringLiteral("TotalAmount=150000"),
        QStringLiteral("AmountToPay=150000"),
        QStringLiteral("BillFor=Штраф по постановлению ") + id,
        QStringLiteral("SupplierOrgInfo\\Name=УФК по г. Москве (ГУ МВД России по г. Москве)"),
        QStringLiteral("SupplierOrgInfo\\INN=7707089101"),
        QStringLiteral("SupplierOrgInfo\\KPP=770731005"),
        QStringLiteral("SupplierOrgInfo\\Account\\AccountNumber=40101810800000010041"),
        QStringLiteral("SupplierOrgInfo\\Account\\Bank\\BIK=044583001"),
        QStringLiteral("KBK=18811630020016000140"),
        QStringLiteral("OKTMO=45383000"),
        QStringLiteral("Payer\\payerIdentifier=1010000000000123456789643"),
        QStringLiteral("QuittanceWithPaymentStatus=3"),
    };
}

// Appends one record to a memo that already shows state.range(0) records.
void BM_DisplayRecord(benchmark::State& state)
{
    Application();
    QTemporaryDir folder;
    // Its data folder is the temporary one, never the home of whoever runs the benchmark.
    SessionOptions options;
    options.dataOption = folder.path();
    Session session(std::move(options));
    // The window's view of the records: the charges memo, shown at the size the window gives it.
    QMainWindow window;
    auto* charges = new QPlainTextEdit(&window);
    window.setCentralWidget(charges);
    QPlainTextEdit documents;
    OperationView view(*window.statusBar(), window, *charges, documents, ScreenDialogs());
    window.resize(1000, 700);
    window.show();
    QCoreApplication::processEvents();
    const Form controls;
    OperationRunner runner(session.inputs(ClientSettings()), controls, view);
    runner.setValuesType(TValuesType::vtGISGMPCharges);

    const XmlDocument document;
    QStringList lines;
    qint64 number = 0;
    for (; number < state.range(0); ++number) {
        lines = ChargeLines(number);
        runner.DisplayRecord(document, lines);
    }
    for (auto _ : state) {
        state.PauseTiming();
        lines = ChargeLines(number++);
        state.ResumeTiming();
        runner.DisplayRecord(document, lines);
    }
    state.counters["memo_lines"] = double(charges->blockCount());
}
BENCHMARK(BM_DisplayRecord)->Arg(0)->Arg(1000)->Arg(10000)->Iterations(2000)->Unit(benchmark::kMicrosecond);

} // namespace
