#include "ExchangeFolders.h"

#include "foundation/AtomicFileWriter.h"
#include "foundation/HttpClient.h"
#include "foundation/KeyValueFile.h"
#include "journal/Journal.h"
#include "smev/SoapTransport.h"
#include "tsp/TimeStamp.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

namespace {

using namespace std::chrono_literals;

const QString SettingsFileName = QStringLiteral("exchange.ini");
const QString CredentialName = QStringLiteral("zelvan-password");
const QString OperationKey = QStringLiteral("Operation");
const QString UnknownOutcomeText =
    QStringLiteral("исход неизвестен, проверьте статус перед повторной отправкой");
constexpr std::chrono::milliseconds FirstPause = 1s;
constexpr std::chrono::milliseconds LongestPause = 5min;

// The write end of the stop pipe. A signal handler can reach nothing but a static, and may do
// nothing but write to a descriptor; this is the one process-wide value the service keeps, set
// only while a StopSignals lives.
int stopPipeWrite = -1;

extern "C" void OnStopSignal(int /*signal*/)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(stopPipeWrite, &byte, 1);
    errno = saved;
}

// SIGTERM and SIGINT turned into a readable pipe, so that a stop is noticed between files and
// during a pause, and the exchange in flight is never broken off.
class StopSignals final {
  public:
    StopSignals()
    {
        if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0)
            throw Exception(QStringLiteral("pipe: ") + qt_error_string(errno));
        stopPipeWrite = fds_[1];
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, &previousTerm_);
        sigaction(SIGINT, &action, &previousInt_);
    }
    ~StopSignals()
    {
        sigaction(SIGTERM, &previousTerm_, nullptr);
        sigaction(SIGINT, &previousInt_, nullptr);
        stopPipeWrite = -1;
        close(fds_[0]);
        close(fds_[1]);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Waits at most `timeout` for a stop; true once one has come.
    bool wait(std::chrono::milliseconds timeout)
    {
        if (stopped_)
            return true;
        pollfd readable{fds_[0], POLLIN, 0};
        const int ready = poll(&readable, 1, int(timeout.count()));
        stopped_ = ready > 0;
        return stopped_;
    }
    bool stopped() { return wait(0ms); }

  private:
    int fds_[2] = {-1, -1};
    bool stopped_ = false;
    struct sigaction previousTerm_ {};
    struct sigaction previousInt_ {};
};

// A failure of the folders themselves: the service cannot go on.
class FolderError final : public Exception {
  public:
    using Exception::Exception;
};

QString Resolved(const QString& folder, const QString& path)
{
    return path.isEmpty() ? path : QDir(folder).absoluteFilePath(path);
}

// Operations whose request must not reach the state system twice.
bool SentOnce(Operation operation)
{
    return operation == Operation::Payment || operation == Operation::Order ||
           operation == Operation::Cancellation;
}

// No answer because the other side (or the way to it) is down, not because of what was sent.
bool Unreachable(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EHttpTransportError&) {
        return true;
    } catch (const ESOAPHTTPException&) {
        return true;
    } catch (const ETimeStampException&) {
        return true;
    } catch (...) {
        return false;
    }
}

bool IsJournalError(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EJournalError&) {
        return true;
    } catch (...) {
        return false;
    }
}

// The journal's run of an inbox file's exchanges: a restart finds them by the file's name and
// content, whatever moment the service was stopped at.
QString RunOf(const QString& shownName, const QByteArray& content)
{
    return QStringLiteral("file:") + shownName + u':' +
           QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

// Whether the request of a recorded exchange can have reached the state system without an answer
// from it: no answer at all, or a server's answer that was not the state system's (an HTTP error,
// a proxy's page, a reply that cannot be read).
bool MayHaveArrived(const ExchangeRecord& exchange)
{
    return exchange.outcome == ExchangeOutcome::sending || exchange.outcome == ExchangeOutcome::unknown ||
           (exchange.outcome == ExchangeOutcome::transport && exchange.httpStatus);
}

// The journal's identifiers of the exchanges the command line's JSON reports, in order.
QList<qint64> JournalRows(const QJsonArray& json)
{
    QList<qint64> rows;
    for (const QJsonValue& request : json)
        for (const QJsonValue& row : request[QStringLiteral("journal")].toArray())
            rows << row.toInteger();
    return rows;
}

struct InboxFile {
    QString path;
    QString shown; // relative to the inbox
    QDateTime modified;
    std::optional<Operation> operation; // none: named on the file's first line
};

class ExchangeFolderService final {
  public:
    ExchangeFolderService(const ExchangeFolderOptions& options, Journal& journal, const FieldFileSender& send,
                          const CommandLineStreams& streams)
        : options_(options), journal_(journal), send_(send), log_(*streams.out), err_(*streams.err)
    {
    }

    int run()
    {
        prepareFolders();
        StopSignals stop;
        std::chrono::milliseconds pause = 0ms;
        while (!stop.stopped()) {
            const QList<InboxFile> files = inbox();
            bool waiting = false;
            for (const InboxFile& file : files) {
                if (stop.stopped())
                    break;
                const Handled handled = handle(file);
                if (handled == Handled::keys)
                    return int(ExitCode::keys);
                if (handled == Handled::journal)
                    return int(ExitCode::badInput);
                if (handled == Handled::unreachable) {
                    waiting = true;
                    break;
                }
                if (unreachable_) {
                    unreachable_ = false;
                    say(QStringLiteral("Связь восстановлена."));
                }
                pause = 0ms;
            }
            if (waiting) {
                pause = pause == 0ms ? FirstPause : std::min(pause * 2, LongestPause);
                if (!unreachable_) {
                    unreachable_ = true;
                    QString text =
                        QStringLiteral("Нет связи с государственной системой: %1\nФайлы остаются во "
                                       "входящей папке.")
                            .arg(lastFailure_);
                    if (!options_.once)
                        text += QStringLiteral(" Повтор через %1 с, затем все реже, не реже раза в %2 мин.")
                                    .arg(pause.count() / 1000)
                                    .arg(LongestPause.count() / 60000);
                    say(text);
                }
                if (options_.once)
                    return int(ExitCode::transport);
                stop.wait(pause);
            } else if (files.isEmpty()) {
                if (options_.once)
                    break;
                stop.wait(options_.scanInterval);
            }
        }
        return int(ExitCode::success);
    }

  private:
    enum class Handled { done, unreachable, keys, journal };

    void say(const QString& line)
    {
        log_ << line << '\n';
        log_.flush();
    }

    void prepareFolders()
    {
        if (options_.inbox.isEmpty() || options_.outbox.isEmpty() || options_.errors.isEmpty())
            throw FolderError(QStringLiteral("Укажите папки обмена: --inbox, --outbox и --errors или Inbox, "
                                             "Outbox и Errors в файле %1 папки данных.")
                                  .arg(SettingsFileName));
        QStringList folders{options_.inbox, options_.errors, done()};
        for (const QString& name : OperationFolderNames())
            folders << QDir(options_.inbox).filePath(name);
        for (const QString& folder : folders)
            if (!QDir().mkpath(folder))
                throw FolderError(
                    QStringLiteral("Не удалось создать папку \"%1\".").arg(QDir::toNativeSeparators(folder)));
    }

    static QStringList OperationFolderNames()
    {
        QStringList names;
        for (const Operation operation :
             {Operation::Payment, Operation::PackageStatus, Operation::Charges, Operation::DocumentDetails,
              Operation::Order, Operation::Cancellation, Operation::GetState})
            names << OperationCommandName(operation);
        return names;
    }

    QString done() const { return QDir(options_.outbox).filePath(QStringLiteral("done")); }

    // The finished files of the inbox, oldest first: `*.txt` in the inbox and in the operations'
    // folders; dot-files and files still being written under another name are left alone.
    QList<InboxFile> inbox() const
    {
        QList<InboxFile> files;
        const auto add = [&](const QString& folder, const QString& prefix,
                             std::optional<Operation> operation) {
            const QFileInfoList entries =
                QDir(folder).entryInfoList({QStringLiteral("*.txt")}, QDir::Files | QDir::NoDotAndDotDot);
            for (const QFileInfo& entry : entries)
                files.append({entry.filePath(), prefix + entry.fileName(), entry.lastModified(), operation});
        };
        add(options_.inbox, QString(), std::nullopt);
        for (const QString& name : OperationFolderNames())
            add(QDir(options_.inbox).filePath(name), name + u'/', OperationByCommandName(name));
        std::stable_sort(files.begin(), files.end(), [](const InboxFile& a, const InboxFile& b) {
            return a.modified != b.modified ? a.modified < b.modified : a.shown < b.shown;
        });
        return files;
    }

    // The operation a file in the inbox itself names on its first line, "Operation=NAME".
    static std::optional<Operation> FirstLineOperation(const QString& path)
    {
        const QString line = ReadKeyValueFile(path).value(0);
        if (line.section(u'=', 0, 0).trimmed().compare(OperationKey, Qt::CaseInsensitive) != 0)
            return std::nullopt;
        return OperationByCommandName(line.section(u'=', 1).trimmed());
    }

    // A name for the results that no earlier file of the same name has taken.
    QString stemFor(const InboxFile& file) const
    {
        const QString base = QFileInfo(file.path).completeBaseName();
        QString stem = base;
        for (int n = 2; QFileInfo::exists(QDir(done()).filePath(stem + QStringLiteral(".txt"))) ||
                        QFileInfo::exists(QDir(options_.errors).filePath(stem + QStringLiteral(".txt")));
             ++n)
            stem = base + u'-' + QString::number(n);
        return stem;
    }

    Handled handle(const InboxFile& file)
    {
        std::optional<Operation> operation = file.operation;
        if (!operation) {
            try {
                operation = FirstLineOperation(file.path);
            } catch (const Exception& e) {
                toErrors(file, {}, ExitCode::badInput, e.message());
                return Handled::done;
            }
            if (!operation) {
                toErrors(file, {}, ExitCode::badInput,
                         QStringLiteral("В первой строке файла нет операции (Operation=payment, charges, …), "
                                        "а лежит он не в папке операции."));
                return Handled::done;
            }
        }
        QByteArray content;
        try {
            content = ReadFileBytes(file.path);
        } catch (const Exception& e) {
            toErrors(file, {}, ExitCode::badInput, e.message());
            return Handled::done;
        }
        const QString runId = RunOf(file.shown, content);
        if (SentOnce(*operation))
            if (const std::optional<ExchangeRecord> earlier = journal_.lastOfRun(runId))
                if (const std::optional<Handled> handled = recover(file, *operation, *earlier))
                    return *handled;
        return send(file, *operation, !file.operation, runId);
    }

    // `fieldFile`: the fields, when they are not the inbox file's own.
    Handled send(const InboxFile& file, Operation operation, bool operationLine, const QString& runId,
                 const QString& fieldFile = {})
    {
        const SentFieldFile sent = send_(
            FieldFileRequest{operation, fieldFile.isEmpty() ? file.path : fieldFile, operationLine, runId});
        QList<ExchangeRecord> exchanges;
        for (const qint64 row : JournalRows(sent.json))
            if (std::optional<ExchangeRecord> exchange = journal_.exchange(row))
                exchanges << *std::move(exchange);
        if (!sent.error) {
            QList<QByteArray> replies;
            for (const ExchangeRecord& exchange : exchanges)
                replies << exchange.reply;
            toOutbox(file, sent.json, replies);
            return Handled::done;
        }
        const QString message = ErrorText(sent.error);
        const ExitCode code = ExitCodeOf(sent.error);
        if (code == ExitCode::keys || IsJournalError(sent.error)) {
            err_ << file.shown << ": " << message << '\n';
            err_.flush();
            return code == ExitCode::keys ? Handled::keys : Handled::journal;
        }
        // What the journal could not settle must not be sent again, nor retried as if nothing left.
        if (SentOnce(operation) && !exchanges.isEmpty() && MayHaveArrived(exchanges.last())) {
            toErrors(file, sent.json, code, UnknownOutcomeText + QStringLiteral("\n") + message);
            return Handled::done;
        }
        if (Unreachable(sent.error)) {
            lastFailure_ = message;
            return Handled::unreachable;
        }
        toErrors(file, sent.json, code, message);
        return Handled::done;
    }

    // A file an earlier run sent and recorded, killed before the file was moved: finished from the
    // journal rather than sent again. Nothing when nothing of it was taken and it is to be sent.
    std::optional<Handled> recover(const InboxFile& file, Operation operation, const ExchangeRecord& earlier)
    {
        const bool payment = operation == Operation::Payment;
        switch (earlier.outcome) {
        case ExchangeOutcome::accepted: {
            const QJsonObject request{
                {QStringLiteral("operation"), OperationCommandName(operation)},
                {QStringLiteral("file"), file.path},
                {QStringLiteral("status"), QStringLiteral("Отправлено.")},
                {QStringLiteral("identifiers"),
                 QJsonObject{payment ? std::pair{QStringLiteral("Идентификатор пакета"),
                                                 QJsonValue(earlier.identifiers.packageId)}
                                     : std::pair{QStringLiteral("Идентификатор сообщения"),
                                                 QJsonValue(earlier.identifiers.messageGuid)}}},
                {QStringLiteral("journal"), QJsonArray{earlier.id}}};
            toOutbox(file, QJsonArray{request}, {earlier.reply});
            return Handled::done;
        }
        case ExchangeOutcome::refused:
        case ExchangeOutcome::unverified:
            // Settled by the state system's answer (or one that could not be trusted): sending it
            // again would not change it, and might pay twice.
            toErrors(file, {},
                     earlier.outcome == ExchangeOutcome::refused ? ExitCode::refused : ExitCode::transport,
                     earlier.text);
            return Handled::done;
        default:
            if (!MayHaveArrived(earlier))
                return std::nullopt;
            if (payment && !earlier.identifiers.packageId.isEmpty()) {
                // The package is known: its status tells whether the payment arrived.
                QTemporaryDir folder;
                const QString status = folder.filePath(QStringLiteral("status.txt"));
                WriteFileAtomically(status, "PackageID=" + earlier.identifiers.packageId.toUtf8() + "\r\n");
                return send(file, Operation::PackageStatus, false, QString(), status);
            }
            toErrors(file, {}, ExitCode::transport, UnknownOutcomeText);
            return Handled::done;
        }
    }

    void move(const InboxFile& file, const QString& target)
    {
        if (!QFile::rename(file.path, target))
            throw FolderError(
                QStringLiteral("Не удалось переместить файл \"%1\" в \"%2\".")
                    .arg(QDir::toNativeSeparators(file.path), QDir::toNativeSeparators(target)));
    }

    void toOutbox(const InboxFile& file, const QJsonArray& json, const QList<QByteArray>& replies)
    {
        const QString stem = stemFor(file);
        const QDir outbox(options_.outbox);
        WriteFileAtomically(outbox.filePath(stem + QStringLiteral(".json")),
                            QJsonDocument(json).toJson(QJsonDocument::Indented));
        for (qsizetype i = 0; i < replies.size(); ++i)
            WriteFileAtomically(outbox.filePath(stem + (i == 0 ? QStringLiteral(".reply.xml")
                                                               : QStringLiteral(".reply-%1.xml").arg(i + 1))),
                                replies[i]);
        move(file, QDir(done()).filePath(stem + QStringLiteral(".txt")));
        const QString status =
            json.isEmpty() ? QString() : json.last().toObject().value(QStringLiteral("status")).toString();
        say(QStringLiteral("%1: %2 -> %3")
                .arg(file.shown, status, outbox.filePath(stem + QStringLiteral(".json"))));
    }

    void toErrors(const InboxFile& file, const QJsonArray& json, ExitCode code, const QString& message)
    {
        const QString stem = stemFor(file);
        const QDir errors(options_.errors);
        const QJsonObject report{{QStringLiteral("file"), file.shown},
                                 {QStringLiteral("exitCode"), int(code)},
                                 {QStringLiteral("message"), message},
                                 {QStringLiteral("requests"), json}};
        WriteFileAtomically(errors.filePath(stem + QStringLiteral(".error.json")),
                            QJsonDocument(report).toJson(QJsonDocument::Indented));
        move(file, errors.filePath(stem + QStringLiteral(".txt")));
        say(QStringLiteral("%1: %2 -> %3")
                .arg(file.shown, message.section(u'\n', 0, 0),
                     errors.filePath(stem + QStringLiteral(".txt"))));
    }

    const ExchangeFolderOptions& options_;
    Journal& journal_;
    const FieldFileSender& send_;
    QTextStream& log_;
    QTextStream& err_;
    bool unreachable_ = false;
    QString lastFailure_;
};

} // namespace

ExchangeFolderOptions ReadExchangeFolderSettings(const QString& dataFolder)
{
    ExchangeFolderOptions options;
    const QString path = QDir(dataFolder).filePath(SettingsFileName);
    if (!QFileInfo::exists(path))
        return options;
    const QStringList keys{QStringLiteral("Inbox"), QStringLiteral("Outbox"), QStringLiteral("Errors"),
                           QStringLiteral("PasswordFile")};
    QString damage;
    const QStringList lines = ReadKeyValueFile(path, keys, damage);
    if (!damage.isEmpty())
        throw Exception(damage);
    for (const QString& line : lines)
        if (!line.trimmed().isEmpty() &&
            !keys.contains(line.section(u'=', 0, 0).trimmed(), Qt::CaseInsensitive))
            throw Exception(QStringLiteral("Неизвестное поле: ") + line);
    options.inbox = Resolved(dataFolder, KeyValue(lines, keys[0]));
    options.outbox = Resolved(dataFolder, KeyValue(lines, keys[1]));
    options.errors = Resolved(dataFolder, KeyValue(lines, keys[2]));
    options.passwordFile = Resolved(dataFolder, KeyValue(lines, keys[3]));
    return options;
}

QString ServicePasswordFile(const ExchangeFolderOptions& options, const QProcessEnvironment& environment)
{
    QString file = options.passwordFile;
    const QString credentials = environment.value(QStringLiteral("CREDENTIALS_DIRECTORY"));
    if (!credentials.isEmpty() && QFileInfo::exists(QDir(credentials).filePath(CredentialName)))
        file = QDir(credentials).filePath(CredentialName);
    if (file.isEmpty())
        return file;
    const QFileDevice::Permissions open =
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
    if (QFileInfo::exists(file) && (QFileInfo(file).permissions() & open))
        throw Exception(
            QStringLiteral("Файл пароля \"%1\" доступен другим пользователям. Оставьте доступ только "
                           "владельцу (chmod 600).")
                .arg(QDir::toNativeSeparators(file)));
    return file;
}

int RunExchangeFolders(const ExchangeFolderOptions& options, Journal& journal, const FieldFileSender& send,
                       const CommandLineStreams& streams)
{
    try {
        return ExchangeFolderService(options, journal, send, streams).run();
    } catch (const Exception& e) {
        *streams.err << e.message() << '\n';
        streams.err->flush();
        return int(ExitCode::badInput);
    }
}
