// Several programs on one journal, as the window and zelvan-cli are: the test program starts copies
// of itself that run the child case below, told what to do through the environment.

#include "journal/Journal.h"

#include "EachStore.h"
#include "support/PrintQt.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace {

const char* const ChildVariable = "ZELVAN_JOURNAL_CHILD";
const QString Bill = QStringLiteral("18810000000000000042");
const QString Payer = QStringLiteral("1010000000001234567890");

ExchangeStart Payment(const QString& runId, int number)
{
    ExchangeStart start;
    start.operation = QStringLiteral("payment");
    start.runId = runId;
    start.request = QByteArray("<payment n=\"") + QByteArray::number(number) + "\">" + QByteArray(4000, 'p') +
                    "</payment>";
    start.identifiers.supplierBillId = Bill;
    start.identifiers.amountKopecks = 10000;
    start.identifiers.payerIdentifier = Payer;
    return start;
}

// Starts the child case with "WHAT FOLDER [DATABASE]".
std::unique_ptr<QProcess> StartChild(const QString& what, const QString& folder, const QString& database = {})
{
    auto child = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(ChildVariable),
                       QStringList{what, folder, database}.join(u' ').trimmed());
    child->setProcessEnvironment(environment);
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=JournalChild.*")});
    EXPECT_TRUE(child->waitForStarted(10000));
    return child;
}

using JournalProcesses = EachJournalStore;

} // namespace

INSTANTIATE_FOR_EACH_JOURNAL_STORE(JournalProcesses);

// What a child does: "hold" begins a payment, says so, and waits to be killed; "record:N" records
// N exchanges from begin to end; "pay:N" waits for the file "go" in its folder, then sends N
// payments of different bills through the repeat guard and prints the numbers it was let send.
TEST(JournalChild, Run)
{
    const QStringList task = qEnvironmentVariable(ChildVariable).split(u' ');
    if (task.size() < 2)
        GTEST_SKIP() << "only run as a child of the journal's process tests";
    Journal::Options options;
    options.database = task.value(2);
    Journal journal(task[1], options);
    if (task[0].startsWith(u"pay:")) {
        const QString go = task[1] + QStringLiteral("/go");
        while (!QFile::exists(go))
            QThread::msleep(1);
        for (int i = 0; i < task[0].section(u':', 1).toInt(); ++i) {
            ExchangeStart start = Payment(QStringLiteral("pay"), i);
            start.identifiers.supplierBillId = QString::number(i);
            // Bytes that do not compress keep the row's transaction open long enough for the other
            // program to meet it.
            start.request.resize(1 << 20);
            QRandomGenerator(i).fillRange(reinterpret_cast<quint32*>(start.request.data()),
                                          start.request.size() / 4);
            const GuardedBegin begun = journal.beginUnlessRepeated(start);
            if (begun.repeat)
                continue;
            ExchangeEnd end;
            end.outcome = ExchangeOutcome::accepted;
            journal.complete(begun.id, end);
            std::printf("sent %d\n", i);
        }
        std::fflush(stdout);
        return;
    }
    if (task[0] == u"hold") {
        journal.begin(Payment(QStringLiteral("held"), 0));
        std::fputs("begun\n", stdout);
        std::fflush(stdout);
        QThread::sleep(60);
        return;
    }
    const int count = task[0].section(u':', 1).toInt();
    const QString runId = QStringLiteral("child-%1").arg(QCoreApplication::applicationPid());
    for (int i = 0; i < count; ++i) {
        ExchangeEnd end;
        end.outcome = ExchangeOutcome::accepted;
        end.reply = QByteArray("<reply n=\"") + QByteArray::number(i) + "\"/>";
        journal.complete(journal.begin(Payment(runId, i)), end);
    }
}

// A program killed between sending and the reply leaves its row `sending`: while it lives another
// program leaves it alone and its guard sees it being sent; once it is gone the next opening turns
// it into `unknown`, says so, and the guard still finds it.
TEST_P(JournalProcesses, RowOfAKilledProgramBecomesUnknownAndStaysGuarded)
{
    QTemporaryDir dir;
    const Journal::Options options = on();
    {
        Journal create(dir.path(), options);
    }
    const std::unique_ptr<QProcess> child = StartChild(QStringLiteral("hold"), dir.path(), options.database);
    // The child's own test output comes first.
    QByteArray line;
    while (line != "begun" && (child->canReadLine() || child->waitForReadyRead(20000)))
        line = child->readLine().trimmed();
    ASSERT_EQ(line, "begun");

    {
        Journal other(dir.path(), options);
        EXPECT_EQ(other.recoveredOnOpen(), 0);
        const std::optional<RepeatedExchange> repeat = other.findRepeatPayment(Bill, 10000, Payer);
        ASSERT_TRUE(repeat);
        EXPECT_EQ(repeat->outcome, ExchangeOutcome::sending);
    }

    ::kill(pid_t(child->processId()), SIGKILL);
    ASSERT_TRUE(child->waitForFinished(10000));

    Journal after(dir.path(), options);
    EXPECT_EQ(after.recoveredOnOpen(), 1);
    const std::optional<RepeatedExchange> repeat = after.findRepeatPayment(Bill, 10000, Payer);
    ASSERT_TRUE(repeat);
    EXPECT_EQ(repeat->outcome, ExchangeOutcome::unknown);
    EXPECT_FALSE(after.exchange(repeat->id)->text.isEmpty());
    EXPECT_EQ(Journal(dir.path(), options).recoveredOnOpen(), 0);
}

// Two programs recording at once, each waiting for the other's commits, lose nothing.
TEST_P(JournalProcesses, TwoProgramsRecordingAtOnceLoseNothing)
{
    QTemporaryDir dir;
    const Journal::Options options = on();
    {
        Journal create(dir.path(), options);
    }
    constexpr int PerChild = 200;
    const auto first = StartChild(QStringLiteral("record:%1").arg(PerChild), dir.path(), options.database);
    const auto second = StartChild(QStringLiteral("record:%1").arg(PerChild), dir.path(), options.database);
    for (QProcess* child : {first.get(), second.get()}) {
        ASSERT_TRUE(child->waitForFinished(120000));
        EXPECT_EQ(child->exitCode(), 0);
    }

    const Journal journal(dir.path(), options);
    JournalFilter accepted;
    accepted.outcome = ExchangeOutcome::accepted;
    EXPECT_EQ(journal.count({}), 2 * PerChild);
    EXPECT_EQ(journal.count(accepted), 2 * PerChild);
    QMap<QString, QList<int>> numbers;
    std::optional<JournalCursor> cursor;
    do {
        const JournalPage page = journal.page({}, cursor, 100);
        for (const ExchangeRecord& row : page.rows) {
            const ExchangeRecord full = *journal.exchange(row.id);
            const int n = full.request.mid(12).split('"').value(0).toInt();
            EXPECT_EQ(full.request, Payment(row.runId, n).request);
            EXPECT_EQ(full.reply, QByteArray("<reply n=\"") + QByteArray::number(n) + "\"/>");
            numbers[row.runId] << n;
        }
        cursor = page.next;
    } while (cursor);
    ASSERT_EQ(numbers.size(), 2);
    for (QList<int>& list : numbers) {
        std::sort(list.begin(), list.end());
        EXPECT_EQ(list.size(), PerChild);
        EXPECT_EQ(list.front(), 0);
        EXPECT_EQ(list.back(), PerChild - 1);
        EXPECT_EQ(std::adjacent_find(list.begin(), list.end()), list.end());
    }
}

// Two workstations sending the same payments at the same moment: each payment goes out once, and
// the journal holds one exchange of each.
TEST_P(JournalProcesses, TwoProgramsSendingTheSamePaymentsSendEachOnce)
{
    QTemporaryDir dir;
    QTemporaryDir otherDir;
    const Journal::Options options = on();
    {
        Journal create(dir.path(), options);
    }
    constexpr int Payments = 30;
    // On a server each program has a data folder of its own; on a file they share the folder.
    const QString second = onServer() ? otherDir.path() : dir.path();
    const auto children = {StartChild(QStringLiteral("pay:%1").arg(Payments), dir.path(), options.database),
                           StartChild(QStringLiteral("pay:%1").arg(Payments), second, options.database)};
    QThread::msleep(300);
    for (const QString& folder : {dir.path(), otherDir.path()}) {
        QFile go(folder + QStringLiteral("/go"));
        ASSERT_TRUE(go.open(QIODevice::WriteOnly));
    }
    QList<int> sent;
    for (const auto& child : children) {
        ASSERT_TRUE(child->waitForFinished(120000));
        EXPECT_EQ(child->exitCode(), 0);
        for (const QByteArray& line : child->readAllStandardOutput().split('\n'))
            if (line.startsWith("sent "))
                sent << line.mid(5).toInt();
    }
    std::sort(sent.begin(), sent.end());
    QList<int> once;
    for (int i = 0; i < Payments; ++i)
        once << i;
    EXPECT_EQ(sent, once);
    EXPECT_EQ(Journal(dir.path(), options).count({}), Payments);
}
