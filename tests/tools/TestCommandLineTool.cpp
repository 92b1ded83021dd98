// zelvan-cli as a script runs it: the built program, a settings file, field files, a key store
// of its own and a loopback server standing in for the state systems.
#include "smev/SignatureVerifier.h"
#include "support/LoopbackHttpServer.h"
#include "support/PostgresServer.h"
#include "support/StateSystemReplies.h"
#include "support/TestKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <deque>
#include <mutex>
#include <thread>

namespace {

const QString Signer = QStringLiteral("Подписант");

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class CommandLineTool : public ::testing::Test {
  protected:
    TestKeyStore keys;
    QTemporaryDir folder;
    std::mutex mutex;
    std::deque<TScriptedReply> replies;
    TLoopbackHttpServer server;

    void SetUp() override
    {
        keys.addContainer(Signer);
        server.setHandler([this](const TRecordedRequest&) {
            std::lock_guard lock(mutex);
            TScriptedReply reply = replies.empty() ? TScriptedReply{} : replies.front();
            if (!replies.empty())
                replies.pop_front();
            return reply;
        });
        WriteSettings(server.url());
        // The tab's file in the current folder, which a run without --fields reads.
        Write(QStringLiteral("Charge.txt"),
              QStringLiteral("SearchType=1\r\nSupplierBillID=18810000000000000001\r\n"));
    }

    QString Path(const QString& name) const { return QDir(folder.path()).filePath(name); }

    void Write(const QString& name, const QString& text)
    {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8().prepend("\xEF\xBB\xBF"));
    }

    void WriteSettings(const QString& url)
    {
        Write(QStringLiteral("zelvan.ini"),
              QStringLiteral(
                  "ServiceChargesGISGMP=%1\r\nServicePaymentGISGMP=%1\r\nSystemName=БАНК\r\n"
                  "SMEVCode=BANK00001\r\nGISGMPCode=123ab4\r\nSoapTestMode=1\r\nCryptContainer=%2\r\n")
                  .arg(url, Signer));
    }

    QStringList CliArguments(QStringList arguments) const
    {
        return arguments << QStringLiteral("--settings") << Path(QStringLiteral("zelvan.ini"))
                         << QStringLiteral("--store") << keys.path();
    }

    // The journal of the test's own data folder, never the person's running it.
    QProcessEnvironment CliEnvironment(const QString& dataHome = QStringLiteral("data")) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), Path(dataHome));
        return environment;
    }

    CliRun Cli(const QStringList& arguments) { return Run(CliArguments(arguments), CliEnvironment()); }

    CliRun Run(const QStringList& arguments, const QProcessEnvironment& environment)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder.path());
        process.start(QStringLiteral(ZELVAN_CLI), arguments);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return {-1, {}, QStringLiteral("zelvan-cli did not finish")};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
};

} // namespace

TEST_F(CommandLineTool, ABatchGoesOnPastAFailedRequestAndEndsWithASummary)
{
    for (const char* name : {"Pay1.txt", "Pay2.txt", "Pay3.txt"})
        Write(QLatin1String(name), QStringLiteral("SupplierBillID=1881000000000000000%1\r\nAmount=10.00\r\n")
                                       .arg(QLatin1String(name).mid(3, 1)));
    replies = {Soap(ImportResult(QStringLiteral("PKG-1"))),
               Soap(GisGmpReply(QStringLiteral("<Ticket><RequestProcessResult><ResultCode>12</ResultCode>"
                                               "<ResultDescription>Неверный УИН</ResultDescription>"
                                               "</RequestProcessResult></Ticket>"))),
               Soap(ImportResult(QStringLiteral("PKG-3")))};
    const CliRun run =
        Cli({QStringLiteral("payment"), QStringLiteral("--fields"), Path("Pay1.txt"),
             QStringLiteral("--fields"), Path("Pay2.txt"), QStringLiteral("--fields"), Path("Pay3.txt")});

    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_TRUE(run.out.contains(QStringLiteral("Отправлено.\nИдентификатор пакета: PKG-1\n")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("Отправлено.\nИдентификатор пакета: PKG-3\n")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("Ошибка.\n"))) << run.out.toStdString();
    const QStringList errors = run.err.trimmed().split(u'\n');
    ASSERT_EQ(errors.size(), 2) << run.err.toStdString();
    EXPECT_TRUE(errors[0].startsWith(Path("Pay2.txt") + QStringLiteral(": ")));
    EXPECT_TRUE(errors[0].contains(QStringLiteral("Неверный УИН")));
    EXPECT_EQ(errors[1], QStringLiteral("Файлов: 3, выполнено: 2, с ошибкой: 1"));
}

TEST_F(CommandLineTool, ChargesAsJsonAreTheRecordsTheWindowShows)
{
    Write(QStringLiteral("Charge.txt"),
          QStringLiteral("SearchType=1\r\nSupplierBillID=18810000000000000001\r\n"));
    replies = {Soap(ExportCharges(QStringLiteral("hasMore=\"false\""),
                                  {ChargeInfo(QStringLiteral("1"), QStringLiteral("150000")),
                                   ChargeInfo(QStringLiteral("2"), QStringLiteral("1250"))}))};
    // The tab's file in the current folder, as the window reads it at start-up.
    const CliRun run = Cli({QStringLiteral("charges"), QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << "no progress where no one watches";

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    ASSERT_EQ(document.array().size(), 1);
    const QJsonObject request = document.array()[0].toObject();
    EXPECT_EQ(request["operation"].toString(), "charges");
    EXPECT_EQ(request["file"].toString(), "Charge.txt");
    EXPECT_EQ(request["status"].toString(), "Получено начислений: 2");
    EXPECT_TRUE(request["warnings"].toArray().isEmpty());
    const QJsonArray records = request["records"].toArray();
    ASSERT_EQ(records.size(), 2);
    const auto value = [&](int record, const QString& label) {
        for (const QJsonValue& field : records[record].toArray())
            if (field["label"].toString() == label)
                return field["value"].toString();
        return QStringLiteral("<missing>");
    };
    EXPECT_EQ(value(0, QStringLiteral("Сумма")), "1500.00");
    EXPECT_EQ(value(1, QStringLiteral("Сумма")), "12.50");
    EXPECT_EQ(value(1, QStringLiteral("Назначение")), "Штраф");
}

TEST_F(CommandLineTool, ExitCodesTellBadInputTransportAndKeysApart)
{
    const CliRun unknownOperation = Cli({QStringLiteral("refund")});
    EXPECT_EQ(unknownOperation.exitCode, 2);
    EXPECT_TRUE(unknownOperation.err.contains(QStringLiteral("refund")));
    EXPECT_EQ(
        Cli({QStringLiteral("charges"), QStringLiteral("--set"), QStringLiteral("NoSuchKey=1")}).exitCode, 2);
    EXPECT_EQ(Cli({QStringLiteral("charges"), QStringLiteral("--fields"), Path("missing.txt")}).exitCode, 2);
    EXPECT_EQ(Cli({QStringLiteral("charges"), QStringLiteral("--container"), QStringLiteral("Нет такого")})
                  .exitCode,
              4);
    // A damaged field file is named and not sent: nobody watches a batch who could check it first.
    Write(QStringLiteral("Damaged.txt"), QStringLiteral("SearchType=1\r\nSupplierBillID=1\x01\r\n"));
    const CliRun damaged = Cli({QStringLiteral("charges"), QStringLiteral("--fields"), Path("Damaged.txt")});
    EXPECT_EQ(damaged.exitCode, 2);
    EXPECT_TRUE(
        damaged.err.contains(QStringLiteral("Damaged.txt\" поврежден:\nстрока 2: байты, недопустимые в "
                                            "кодировке UTF-8\n")))
        << damaged.err.toStdString();
    EXPECT_EQ(server.requestCount(), 0);

    WriteSettings(QStringLiteral("http://127.0.0.1:%1/").arg(UnusedLoopbackPort()));
    const CliRun refused = Cli({QStringLiteral("charges")});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_FALSE(refused.err.isEmpty());

    // A reply that cannot be shown to come from the state system is no answer either.
    QFile trusted(Path(QStringLiteral("trusted.cer")));
    ASSERT_TRUE(trusted.open(QIODevice::WriteOnly));
    trusted.write(keys.addContainer(QStringLiteral("Authority")));
    trusted.close();
    WriteSettings(server.url());
    QFile settings(Path(QStringLiteral("zelvan.ini")));
    ASSERT_TRUE(settings.open(QIODevice::Append));
    settings.write("VerifyReplySignature=1\r\nTrustedCertificates=trusted.cer\r\n");
    settings.close();
    replies = {Soap(ExportCharges(QStringLiteral("hasMore=\"false\""), {}))};
    const CliRun unsigned_ = Cli({QStringLiteral("charges")});
    EXPECT_EQ(unsigned_.exitCode, 3);
    EXPECT_TRUE(unsigned_.err.contains(QStringLiteral("ответ не подписан"))) << unsigned_.err.toStdString();
}

TEST_F(CommandLineTool, WhatCannotBeMeantIsRefusedBeforeAnythingIsSigned)
{
    // Nothing is sent, and what the script reads says what to do without internal names.
    const auto refused = [&](const CliRun& run, const QString& named) {
        EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(named)) << run.err.toStdString();
        for (const char* internal : {"Exception", "std::", "Crypt", "Error:"})
            EXPECT_FALSE(run.err.contains(QLatin1String(internal))) << run.err.toStdString();
        EXPECT_EQ(server.requestCount(), 0);
    };
    // No Pay.txt in the folder: not an empty payment.
    refused(Cli({QStringLiteral("payment")}), QStringLiteral("Pay.txt"));

    QFile huge(Path(QStringLiteral("huge.txt")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write("Amount=1\r\n" + QByteArray(2 * 1024 * 1024, 'x'));
    huge.close();
    refused(Cli({QStringLiteral("payment"), QStringLiteral("--fields"), Path("huge.txt")}),
            QStringLiteral("huge.txt"));
    refused(Cli({QStringLiteral("payment"), QStringLiteral("--fields"), QStringLiteral("/dev/zero")}),
            QStringLiteral("/dev/zero"));

    Write(QStringLiteral("Pay.txt"), QStringLiteral("SupplierBillID=18810000000000000001\r\nAmount=-5\r\n"));
    refused(Cli({QStringLiteral("payment")}), QStringLiteral("Amount"));
    EXPECT_EQ(
        Cli({QStringLiteral("payment"), QStringLiteral("--set"), QStringLiteral("Amount=1.005")}).exitCode,
        2);

    // Written by a Linux editor: UTF-8 without a byte-order mark, read as such and named.
    QFile plain(Path(QStringLiteral("Pay.txt")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write(
        QStringLiteral("SupplierBillID=18810000000000000001\nNarrative=Штраф ГИБДД\nAmount=1,5\n").toUtf8());
    plain.close();
    replies = {Soap(ImportResult(QStringLiteral("PKG-1")))};
    const CliRun sent = Cli({QStringLiteral("payment")});
    EXPECT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    EXPECT_TRUE(sent.err.contains(QStringLiteral("сохранен в UTF-8 без метки"))) << sent.err.toStdString();
    ASSERT_EQ(server.requestCount(), 1);
    const QString request = QString::fromUtf8(server.requests().first().Body);
    EXPECT_TRUE(request.contains(QStringLiteral(">Штраф ГИБДД<"))) << request.toStdString();
    EXPECT_TRUE(request.contains(QStringLiteral("<pi:Amount>150</pi:Amount>"))) << request.toStdString();
}

TEST_F(CommandLineTool, ExitCodesSayWhatHappenedToTheMessagesSent)
{
    Write(QStringLiteral("Pay.txt"), QStringLiteral("SupplierBillID=18810000000000000001\r\nAmount=10\r\n"));
    // Accepted, then the status query fails: a script that retries on failure would pay twice.
    replies = {Soap(ImportResult(QStringLiteral("PKG-1"))), Xml("<broken", 500)};
    const CliRun followed = Cli({QStringLiteral("payment"), QStringLiteral("--follow"),
                                 QStringLiteral("--format"), QStringLiteral("json")});
    EXPECT_EQ(followed.exitCode, 0) << followed.err.toStdString();
    EXPECT_TRUE(followed.err.contains(QStringLiteral("PKG-1"))) << followed.err.toStdString();
    EXPECT_TRUE(followed.err.contains(QStringLiteral("Не отправляйте сообщение повторно")));
    const QJsonArray requests = QJsonDocument::fromJson(followed.out.toUtf8()).array();
    ASSERT_EQ(requests.size(), 2) << followed.out.toStdString();
    EXPECT_EQ(requests[0]["status"].toString(), "Отправлено.");
    EXPECT_FALSE(requests[0]["followUpError"].toString().isEmpty());
    EXPECT_FALSE(requests[0].toObject().contains(QStringLiteral("error")));
    EXPECT_EQ(server.requestCount(), 2);

    // A batch ends with its worst outcome whatever the order: here a refusal beside bad input.
    Write(QStringLiteral("Bad.txt"), QStringLiteral("SupplierBillID=1\r\nAmount=-1\r\n"));
    for (const QStringList& order :
         {QStringList{Path("Pay.txt"), Path("Bad.txt")}, QStringList{Path("Bad.txt"), Path("Pay.txt")}}) {
        replies = {Soap(GisGmpReply(QStringLiteral("<Ticket><RequestProcessResult><ResultCode>12</ResultCode>"
                                                   "</RequestProcessResult></Ticket>")))};
        EXPECT_EQ(Cli({QStringLiteral("payment"), QStringLiteral("--allow-repeat"),
                       QStringLiteral("--fields"), order[0], QStringLiteral("--fields"), order[1]})
                      .exitCode,
                  2);
    }

    // A dry run signs what it would send and sends nothing, not even for a time stamp.
    QFile settings(Path(QStringLiteral("zelvan.ini")));
    ASSERT_TRUE(settings.open(QIODevice::Append));
    settings.write("TimeStampEnable=1\r\nTimeStampServer=http://127.0.0.1:1/tsp\r\n");
    settings.close();
    const int sent = server.requestCount();
    const CliRun dry = Cli({QStringLiteral("payment"), QStringLiteral("--dry-run"),
                            QStringLiteral("--debug-dir"), Path("signed")});
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_EQ(server.requestCount(), sent);
    QFile request(Path(QStringLiteral("signed/PaymentRequest.xml")));
    ASSERT_TRUE(request.open(QIODevice::ReadOnly));
    EXPECT_TRUE(CheckEnvelopeSignature(request.readAll()).verified());
    EXPECT_EQ(Cli({QStringLiteral("payment"), QStringLiteral("--dry-run")}).exitCode, 2);

    // The settings a script signs with are the ones it wrote: an unknown key stops it, with its line.
    settings.open(QIODevice::Append);
    settings.write("SoapTestMod=1\r\n");
    settings.close();
    const CliRun unknown = Cli({QStringLiteral("charges")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("строка 10: неизвестный ключ SoapTestMod")))
        << unknown.err.toStdString();
    replies = {Soap(ExportCharges(QStringLiteral("hasMore=\"false\""), {}))};
    const CliRun lenient = Cli({QStringLiteral("charges"), QStringLiteral("--lenient")});
    EXPECT_EQ(lenient.exitCode, 0) << lenient.err.toStdString();
    EXPECT_TRUE(lenient.err.contains(QStringLiteral("SoapTestMod")));
}

TEST_F(CommandLineTool, FieldsListsTheKeysOfTheFileTheOperationReads)
{
    const CliRun reference =
        Run({QStringLiteral("fields"), QStringLiteral("order")}, QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(reference.exitCode, 0) << reference.err.toStdString();
    const QStringList lines = reference.out.split(u'\n', Qt::SkipEmptyParts).mid(1);
    QHash<QString, QString> marks; // key, its mark
    for (const QString& line : lines) {
        const QStringList columns = line.split(u'\t');
        ASSERT_EQ(columns.size(), 3) << line.toStdString();
        EXPECT_FALSE(columns[1].isEmpty())
            << "every field has its caption or choices: " << line.toStdString();
        marks.insert(columns[0], columns[2]);
    }
    // Written from the order file's keys and the notification as it is built: its amount and number
    // are elements it always carries, its purpose and comment only when given, and the cancellation's
    // comment goes into a cancellation only.
    for (const char* key : {"Amount", "OrderNum", "SupplierID"})
        EXPECT_EQ(marks.value(QLatin1String(key)), "обязательно") << key << reference.out.toStdString();
    for (const char* key : {"PaymentPurpose", "Comment"})
        EXPECT_EQ(marks.value(QLatin1String(key)), "читается") << key << reference.out.toStdString();
    EXPECT_EQ(marks.value(QStringLiteral("CancellationComment"), QStringLiteral("?")), QString());
    EXPECT_EQ(
        Run({QStringLiteral("fields"), QStringLiteral("refund")}, QProcessEnvironment::systemEnvironment())
            .exitCode,
        2);
}

TEST_F(CommandLineTool, AnEncryptedContainerOpensWithThePasswordFile)
{
    TestKeyOptions encrypted;
    encrypted.password = QStringLiteral("секрет");
    keys.addContainer(QStringLiteral("Сейф"), encrypted);
    Write(QStringLiteral("right.txt"), QStringLiteral("секрет\n"));
    Write(QStringLiteral("wrong.txt"), QStringLiteral("не тот\n"));
    replies = {Soap(ExportCharges(QStringLiteral("hasMore=\"false\""), {}))};
    const QStringList charges{QStringLiteral("charges"), QStringLiteral("--container"),
                              QStringLiteral("Сейф"), QStringLiteral("--password-file")};

    const CliRun right = Cli(charges + QStringList{Path("right.txt")});
    EXPECT_EQ(right.exitCode, 0) << right.err.toStdString();
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_EQ(Cli(charges + QStringList{Path("wrong.txt")}).exitCode, 4);
    // No terminal to ask on: the container stays shut.
    EXPECT_EQ(
        Cli({QStringLiteral("charges"), QStringLiteral("--container"), QStringLiteral("Сейф")}).exitCode, 4);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(CommandLineTool, WithoutSettingsOrStoreItUsesTheDataFolderAsTheWindowDoes)
{
    const QString bin = QFileInfo(QStringLiteral(ZELVAN_CLI)).absolutePath();
    if (QFileInfo::exists(bin + QStringLiteral("/zelvan.ini")) ||
        QFileInfo::exists(bin + QStringLiteral("/keys")))
        GTEST_SKIP() << "the build folder is a portable copy, which wins over XDG_DATA_HOME";
    // The data folder as the window and the key tool leave it: settings and a private key store.
    const QString data = Path(QStringLiteral("xdg/zelvan"));
    const QString container = data + QStringLiteral("/keys/") + Signer;
    ASSERT_TRUE(QDir().mkpath(container));
    for (const char* name : {KeyFileName, CertificateFileName})
        ASSERT_TRUE(QFile::copy(QDir(keys.containerPath(Signer)).filePath(QLatin1String(name)),
                                QDir(container).filePath(QLatin1String(name))));
    const QFileDevice::Permissions ownerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    for (const QString& path : {data, data + QStringLiteral("/keys"), container})
        QFile::setPermissions(path, ownerOnly);
    QFile::setPermissions(container + u'/' + QLatin1String(KeyFileName),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(QFile::rename(Path(QStringLiteral("zelvan.ini")), data + QStringLiteral("/zelvan.ini")));
    Write(QStringLiteral("Charge.txt"),
          QStringLiteral("SearchType=1\r\nSupplierBillID=18810000000000000001\r\n"));
    replies = {Soap(ExportCharges(QStringLiteral("hasMore=\"false\""), {})),
               Soap(ExportCharges(QStringLiteral("hasMore=\"false\""), {}))};

    QProcessEnvironment environment = CliEnvironment(QStringLiteral("xdg"));
    const CliRun byEnvironment = Run({QStringLiteral("charges")}, environment);
    EXPECT_EQ(byEnvironment.exitCode, 0) << byEnvironment.err.toStdString();
    EXPECT_TRUE(byEnvironment.err.isEmpty()) << byEnvironment.err.toStdString();

    // The switch wins over the environment; a key store open to others is named, and still used.
    QFile::setPermissions(data + QStringLiteral("/keys"),
                          ownerOnly | QFileDevice::ReadOther | QFileDevice::ExeOther);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), Path(QStringLiteral("elsewhere")));
    const CliRun bySwitch = Run({QStringLiteral("charges"), QStringLiteral("--data"), data}, environment);
    EXPECT_EQ(bySwitch.exitCode, 0) << bySwitch.err.toStdString();
    EXPECT_TRUE(bySwitch.err.contains(data + QStringLiteral("/keys"))) << bySwitch.err.toStdString();
    EXPECT_EQ(server.requestCount(), 2);
}

TEST_F(CommandLineTool, APaymentSentBeforeIsRefusedUnlessAllowedAndEveryExchangeKeepsItsBytes)
{
    Write(QStringLiteral("Pay.txt"),
          QStringLiteral("SupplierBillID=18810000000000000001\r\nAmount=10.00\r\nPayerIdentifier=1010000000"
                         "000000000000000\r\n"));
    replies = {Soap(ImportResult(QStringLiteral("PKG-1"))), Soap(ImportResult(QStringLiteral("PKG-2")))};
    const QStringList payment{QStringLiteral("payment"), QStringLiteral("--fields"), Path("Pay.txt"),
                              QStringLiteral("--format"), QStringLiteral("json")};
    const CliRun first = Cli(payment);
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    const QJsonArray rows =
        QJsonDocument::fromJson(first.out.toUtf8()).array().at(0).toObject().value("journal").toArray();
    ASSERT_EQ(rows.size(), 1) << first.out.toStdString();

    // The journal holds exactly what reached the state system.
    const QString data = Path(QStringLiteral("data/zelvan"));
    const CliRun show =
        Run({QStringLiteral("journal"), QStringLiteral("show"), QString::number(rows.at(0).toInteger()),
             QStringLiteral("--data"), data, QStringLiteral("--request"), Path("sent.xml")},
            QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(show.exitCode, 0) << show.err.toStdString();
    QFile sent(Path("sent.xml"));
    ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
    EXPECT_EQ(sent.readAll(), server.requests().at(0).Body);

    // Another process asked to send the same payment refuses, naming the earlier one.
    const CliRun again = Cli(payment);
    EXPECT_EQ(again.exitCode, 5);
    EXPECT_TRUE(
        again.err.contains(QStringLiteral("Платеж по начислению 18810000000000000001 на сумму 10.00 руб. "
                                          "уже отправлялся")))
        << again.err.toStdString();
    EXPECT_TRUE(again.err.contains(QStringLiteral("пакет PKG-1"))) << again.err.toStdString();
    EXPECT_EQ(server.requestCount(), 1);

    const CliRun allowed = Cli(payment + QStringList{QStringLiteral("--allow-repeat")});
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err.toStdString();
    EXPECT_EQ(server.requestCount(), 2);

    // A program killed while it waits for the reply leaves the exchange of unknown outcome: the
    // next one says so at start and asks before the same payment goes out again.
    std::atomic<bool> released = false;
    server.setHandler([&](const TRecordedRequest&) {
        for (int waited = 0; !released && waited < 3000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Soap(ImportResult(QStringLiteral("PKG-3")));
    });
    Write(QStringLiteral("Pay3.txt"), QStringLiteral("SupplierBillID=18810000000000000003\r\nAmount=3\r\n"));
    const QStringList third{QStringLiteral("payment"), QStringLiteral("--fields"), Path("Pay3.txt")};
    QProcess killed;
    killed.setProcessEnvironment(CliEnvironment());
    killed.setWorkingDirectory(folder.path());
    killed.start(QStringLiteral(ZELVAN_CLI), CliArguments(third));
    for (int waited = 0; server.requestCount() < 3 && waited < 3000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(server.requestCount(), 3);
    ::kill(pid_t(killed.processId()), SIGKILL);
    killed.waitForFinished();
    released = true;
    const CliRun afterKill = Cli(third);
    EXPECT_EQ(afterKill.exitCode, 5) << afterKill.err.toStdString();
    EXPECT_TRUE(afterKill.err.contains(QStringLiteral("с неизвестным исходом: 1.")) &&
                afterKill.err.contains(QStringLiteral("(неизвестно, пакет не получен)")))
        << afterKill.err.toStdString();
    EXPECT_EQ(server.requestCount(), 3);

    // A journal that cannot be opened is named, and nothing goes out. (A file without write
    // permission would not do: the tests may run as root.)
    const QString journal = data + QStringLiteral("/journal.sqlite");
    ASSERT_TRUE(QFile::rename(journal, journal + QStringLiteral(".kept")));
    ASSERT_TRUE(QDir().mkpath(journal));
    const CliRun readOnly = Cli(payment + QStringList{QStringLiteral("--allow-repeat")});
    EXPECT_NE(readOnly.exitCode, 0);
    EXPECT_TRUE(readOnly.err.contains(journal)) << readOnly.err.toStdString();
    EXPECT_EQ(server.requestCount(), 3);
}

TEST_F(CommandLineTool, TwoWorkstationsOnOneSharedJournalSendTheSamePaymentOnce)
{
    PostgresServer journal;
    QFile settings(Path(QStringLiteral("zelvan.ini")));
    ASSERT_TRUE(settings.open(QIODevice::Append));
    settings.write(QStringLiteral("JournalDatabase=%1\r\n").arg(journal.uri()).toUtf8());
    settings.close();
    Write(QStringLiteral("Pay.txt"), QStringLiteral("SupplierBillID=18810000000000000007\r\nAmount=70\r\n"));
    // The state system takes its time, so both workstations are sending at once.
    server.setHandler([](const TRecordedRequest&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return Soap(ImportResult(QStringLiteral("PKG-7")));
    });
    std::array<QProcess, 2> workstations;
    for (std::size_t i = 0; i < workstations.size(); ++i) {
        workstations[i].setProcessEnvironment(CliEnvironment(QStringLiteral("data%1").arg(i)));
        workstations[i].setWorkingDirectory(folder.path());
    }
    for (QProcess& workstation : workstations)
        workstation.start(
            QStringLiteral(ZELVAN_CLI),
            CliArguments({QStringLiteral("payment"), QStringLiteral("--fields"), Path("Pay.txt")}));
    QList<int> codes;
    for (QProcess& workstation : workstations) {
        ASSERT_TRUE(workstation.waitForFinished(60000));
        codes << workstation.exitCode();
    }
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes, QList<int>({0, 5})) << workstations[0].readAllStandardError().toStdString()
                                         << workstations[1].readAllStandardError().toStdString();
    EXPECT_EQ(server.requestCount(), 1);
}
