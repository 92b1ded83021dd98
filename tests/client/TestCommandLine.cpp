// The command line and the window run the same operations: for the same settings file, field file,
// clock and identifiers they send the same request, byte for byte (the signature values aside,
// which GOST makes anew on every signing, and the digests over them).
#include "../app/PressButton.h"
#include "../app/ScriptedDialogs.h"
#include "../app/TestWindow.h"

#include "CommandLine.h"
#include "foundation/TextHelper.h"
#include "support/GoldenText.h"
#include "support/LoopbackHttpServer.h"
#include "support/StateSystemReplies.h"
#include "support/TestKeys.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTextStream>
#include <QUuid>

namespace {

const QString Signer = QStringLiteral("Подписант");

void WriteFile(const QString& path, const QString& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8().prepend("\xEF\xBB\xBF"));
}

// Every run starts from the same moment and the same identifier counters.
void FixClockAndIdentifiers(SessionOptions& options)
{
    options.clock = [] { return QDateTime(QDate(2016, 3, 5), QTime(10, 20, 30)); };
    options.lastIdSuffix = 0;
    auto next = std::make_shared<int>(0);
    options.guids = [next] {
        return QUuid(QStringLiteral("00000000-0000-4000-8000-%1").arg(++*next, 12, 10, QChar(u'0')));
    };
}

// The envelope's digest covers the payment's signature value, so it differs with it.
QString Masked(const QByteArray& request)
{
    const QString text = MaskElementContent(QString::fromUtf8(request), QStringLiteral("ds:SignatureValue"),
                                            QStringLiteral("X"));
    return MaskElementContent(text, QStringLiteral("ds:DigestValue"), QStringLiteral("X"));
}

} // namespace

TEST(CommandLine, SendsTheRequestTheWindowSendsForEveryOperation)
{
    TestKeyStore keys;
    keys.addContainer(Signer);
    TLoopbackHttpServer server;
    QTemporaryDir data;
    const QString previousFolder = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(data.path()));

    const QString settings =
        QStringLiteral(
            "ServiceChargesGISGMP=%1\r\nServicePaymentGISGMP=%1\r\nServiceChargesGISGKX=%"
            "1\r\nServicePaymentGISGKX=%1\r\n"
            "SystemName=БАНК\r\nSMEVCode=BANK00001\r\nGISGMPCode=123ab4\r\n"
            "GISGKXCode=7d3a9c1e-5f2b-4e8a-b6c4-1a2b3c4d5e6f\r\nSoapTestMode=1\r\nTimeStampEnable=0\r\n"
            "CryptContainer=%2\r\n")
            .arg(server.url(QStringLiteral("/service")), Signer);
    WriteFile(
        QStringLiteral("Pay.txt"),
        QStringLiteral("SupplierBillID=18810000000000000001\r\nAmount=1500.00\r\nPaymentDate=01.03.2016\r\n"
                       "PayerName=Иванов Иван & сын\r\nNarrative=Оплата#13#10штрафа\r\nChangeStatus=1\r\n"
                       "PayerIdentifier=1010000000000123456789\r\nPackageID=PKG-1\r\nPaytCondition=2\r\n"));
    WriteFile(QStringLiteral("Charge.txt"),
              QStringLiteral("SearchType=1\r\nSupplierBillID=18810000000000000001\r\n"
                             "ChargeKind=2\r\n"));
    WriteFile(QStringLiteral("DocumentDetails.txt"),
              QStringLiteral(
                  "SearchType=1\r\nPaymentDocumentID=12АБ345678-01-6011\r\nYear=2016\r\nMonth=Март\r\n"));
    WriteFile(QStringLiteral("Order.txt"),
              QStringLiteral(
                  "OrderType=2\r\nOrderDate=05.03.2016\r\nOrderNum=7\r\nSubSystem=12\r\nAmount=100.50\r\n"
                  "UnifiedAccountNumber=12АБ345678\r\nYear=2016\r\nMonth=Февраль\r\n"
                  "PaymentPurpose=За#13#10февраль\r\nChangeStatus=0\r\nMessageGUID=MSG-1\r\n"
                  "CancellationComment=Ошибка\r\n"));

    ScriptedDialogs dialogs;

    struct Case {
        const char* operation;
        const char* button;
        int changeStatus; // the order tab's status for the window; the command line goes by name
    };
    const Case cases[] = {
        {"payment", "buPaymentSend", 0}, {"package-status", "buPackageStatus", 0},
        {"charges", "buGetCharge", 0},   {"document-details", "buGetDocumentDetails", 0},
        {"order", "buOrderSend", 0},     {"cancellation", "buOrderSend", 1},
        {"get-state", "buGetState", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        // A window of its own for each, so that it starts from the same identifiers as the command line.
        TestWindow window(TestWindowSetup()
                              .dialogs(dialogs)
                              .prepare([&](const QString& folder) {
                                  WriteFile(QDir(folder).filePath("zelvan.ini"), settings);
                              })
                              .keyStore(keys.path())
                              .session(FixClockAndIdentifiers));
        window->show();
        // A click reaches only a window the platform has shown.
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // Its tabs are laid out before the press, as the operator finds them.
        QCoreApplication::processEvents();
        window.control<QComboBox>("cbChangeStatus2")->setCurrentIndex(c.changeStatus);
        const int before = server.requestCount();
        PressButton(window, QLatin1String(c.button));

        SessionOptions session;
        FixClockAndIdentifiers(session);
        session.dataOption = window.folder();
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        // The window's data folder, so that both record in one journal and none of the user's own.
        RunCommandLine({QStringLiteral("zelvan-cli"), QLatin1String(c.operation), QStringLiteral("--data"),
                        window.folder(), QStringLiteral("--settings"),
                        QDir(window.folder()).filePath("zelvan.ini"), QStringLiteral("--store"), keys.path()},
                       {&outStream, &errStream, false, {}}, session);

        const QList<TRecordedRequest> requests = server.requests();
        ASSERT_EQ(requests.size(), before + 2) << "one request each; " << err.toStdString();
        const TRecordedRequest& fromWindow = requests[requests.size() - 2];
        const TRecordedRequest& fromCommandLine = requests.last();
        EXPECT_EQ(fromCommandLine.header("SOAPAction"), fromWindow.header("SOAPAction"));
        EXPECT_EQ(Masked(fromCommandLine.Body), Masked(fromWindow.Body));
        // The window's error is the command line's, in the same words.
        ASSERT_FALSE(dialogs.shown(ScriptedDialogs::Kind::Error).isEmpty());
        EXPECT_EQ(err.trimmed(), dialogs.shown(ScriptedDialogs::Kind::Error).last().text.trimmed());
    }
    QDir::setCurrent(previousFolder);
}

TEST(CommandLine, ABatchAsksForThePasswordOnce)
{
    TestKeyStore keys;
    TestKeyOptions encrypted;
    encrypted.password = QStringLiteral("секрет");
    keys.addContainer(Signer, encrypted);
    TLoopbackHttpServer server;
    server.setReply(Soap(ExportCharges(QStringLiteral("hasMore=\"true\""), {ChargeInfo("1", "100")})));
    QTemporaryDir data;
    const QString settings = QDir(data.path()).filePath("zelvan.ini");
    WriteFile(settings,
              QStringLiteral("ServiceChargesGISGMP=%1\r\nTimeStampEnable=0\r\nCryptContainer=%2\r\n")
                  .arg(server.url(), Signer));
    // The test's own data folder, so the journal written is never the person's running it.
    QStringList arguments{QStringLiteral("zelvan-cli"), QStringLiteral("charges"),
                          QStringLiteral("--settings"), settings,
                          QStringLiteral("--store"),    keys.path(),
                          QStringLiteral("--data"),     data.path()};
    for (const char* name : {"first.txt", "second.txt", "third.txt"}) {
        const QString path = QDir(data.path()).filePath(QLatin1String(name));
        WriteFile(path, QStringLiteral("SearchType=1\r\nSupplierBillID=18810000000000000001\r\n"));
        arguments << QStringLiteral("--fields") << path;
    }
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    int asked = 0;
    const int exitCode = RunCommandLine(arguments, {&outStream, &errStream, false, [&](const QString&) {
                                                        ++asked;
                                                        return std::optional<QString>(encrypted.password);
                                                    }});
    EXPECT_EQ(exitCode, 0) << err.toStdString();
    // Three files of ten pages each, thirty signatures.
    EXPECT_EQ(server.requestCount(), 30);
    EXPECT_EQ(asked, 1);
}
