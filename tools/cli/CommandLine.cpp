#include "CommandLine.h"

#include "ExchangeFolders.h"
#include "FileExchanges.h"
#include "Terminal.h"

#include "client/FieldFiles.h"
#include "client/Operations.h"
#include "client/Settings.h"
#include "foundation/Clock.h"
#include "foundation/CryptHelper.h"
#include "foundation/DataFolder.h"
#include "foundation/Exceptions.h"
#include "foundation/HttpClient.h"
#include "foundation/KeyValueFile.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"
#include "smev/ReplySignature.h"
#include "smev/SoapException.h"
#include "smev/SoapTransport.h"
#include "tsp/TimeStamp.h"
#include "values/ValueProvider.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <array>
#include <utility>

namespace {

struct OperationName {
    const char* name;
    Operation operation;
};

constexpr std::array OperationNames{
    OperationName{"payment", Operation::Payment},
    OperationName{"package-status", Operation::PackageStatus},
    OperationName{"charges", Operation::Charges},
    OperationName{"document-details", Operation::DocumentDetails},
    OperationName{"order", Operation::Order},
    OperationName{"cancellation", Operation::Cancellation},
    OperationName{"get-state", Operation::GetState},
};

// A failure of the command line itself, before any request.
class UsageError final : public Exception {
  public:
    using Exception::Exception;
};

} // namespace

QString CommandLineOperationName(Operation operation)
{
    for (const OperationName& entry : OperationNames)
        if (entry.operation == operation)
            return QLatin1String(entry.name);
    return {};
}

std::optional<Operation> CommandLineOperation(const QString& name)
{
    for (const OperationName& entry : OperationNames)
        if (name == QLatin1String(entry.name))
            return entry.operation;
    return std::nullopt;
}

ExitCode ExitCodeOf(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ESOAPException&) {
        return ExitCode::refused;
    } catch (const EXMLException&) {
        return ExitCode::refused;
    } catch (const EHttpTransportError&) {
        return ExitCode::transport;
    } catch (const ESOAPHTTPException&) {
        return ExitCode::transport;
    } catch (const EReplySignatureException&) {
        // Whatever it says, it is not known to come from the state system.
        return ExitCode::transport;
    } catch (const ETimeStampException&) {
        return ExitCode::transport;
    } catch (const ECryptException&) {
        return ExitCode::keys;
    } catch (const ERepeatedExchange&) {
        return ExitCode::repeated;
    } catch (const EAbort&) {
        // The only question an operation asks is the container's password.
        return ExitCode::keys;
    } catch (...) {
        return ExitCode::badInput;
    }
}

QString MessageOf(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Неизвестная ошибка.");
    }
}

namespace {

// One request as it is reported.
struct Request {
    QString operation;
    QString file;
    QString status;
    QList<std::pair<QString, QString>> identifiers; // caption, value
    QStringList warnings;
    QStringList information;
    QList<QStringList> records; // "label=value" lines
    QString error;
};

// Collects what an operation reports, one request per exchange step; the follow-up's answer is
// the --follow switch.
class CollectingSink final : public OperationSink {
  public:
    CollectingSink(Operation operation, QString file, Form& form, bool follow)
        : operation_(operation), file_(std::move(file)), form_(form), follow_(follow)
    {
    }

    QList<Request> requests;

    void started(const QString& text) override
    {
        // The second start of one run is the follow-up, asking the state of what was sent.
        Operation running = operation_;
        if (!requests.isEmpty())
            running = operation_ == Operation::Payment ? Operation::PackageStatus : Operation::GetState;
        Request request;
        request.operation = CommandLineOperationName(running);
        request.file = file_;
        request.status = text;
        requests.append(request);
    }
    void record(TRecordTable table, qsizetype /*number*/, const QStringList& lines) override
    {
        if (table != TRecordTable::rtNone)
            current().records.append(lines);
    }
    void identifier(const QString& control, const QString& caption, const QString& value) override
    {
        form_.set(control, value);
        current().identifiers.append({caption, value});
    }
    void finished(const QString& result) override { current().status = result; }
    void warning(const QString& text) override { current().warnings.append(text); }
    void information(const QString& text) override { current().information.append(text); }
    bool askFollowUp(const QString& /*question*/) override { return follow_; }

    Request& current()
    {
        if (requests.isEmpty())
            started(QString());
        return requests.last();
    }

  private:
    Operation operation_;
    QString file_;
    Form& form_;
    bool follow_;
};

QString RecordsText(const QList<QStringList>& records)
{
    QStringList blocks;
    for (qsizetype i = 0; i < records.size(); ++i)
        blocks << RecordBlockText(i + 1, records[i]);
    return blocks.join(u'\n');
}

void WriteText(QTextStream& out, const Request& request)
{
    out << request.status << '\n';
    for (const auto& [caption, value] : request.identifiers)
        out << caption << ": " << value << '\n';
    out << RecordsText(request.records);
    for (const QString& text : request.warnings + request.information)
        out << text << '\n';
}

QJsonObject JsonOf(const Request& request)
{
    QJsonObject identifiers;
    for (const auto& [caption, value] : request.identifiers)
        identifiers.insert(caption, value);
    QJsonArray records;
    for (const QStringList& lines : request.records) {
        QJsonArray fields;
        for (const QString& line : lines) {
            const qsizetype separator = line.indexOf(u'=');
            fields.append(
                QJsonObject{{QStringLiteral("label"), separator < 0 ? line : line.left(separator)},
                            {QStringLiteral("value"), separator < 0 ? QString() : line.mid(separator + 1)}});
        }
        records.append(fields);
    }
    QJsonObject object{
        {QStringLiteral("operation"), request.operation},
        {QStringLiteral("file"), request.file},
        {QStringLiteral("status"), request.status},
        {QStringLiteral("identifiers"), identifiers},
        {QStringLiteral("warnings"), QJsonArray::fromStringList(request.warnings)},
        {QStringLiteral("information"), QJsonArray::fromStringList(request.information)},
        {QStringLiteral("records"), records},
    };
    if (!request.error.isEmpty())
        object.insert(QStringLiteral("error"), request.error);
    return object;
}

// The password of an encrypted container: the first line of --password-file, or asked on the
// terminal. Put back as it was when the run ends.
class PasswordSource final {
  public:
    PasswordSource(const QString& passwordFile, const CommandLineStreams& streams)
    {
        std::optional<QString> fromFile;
        if (!passwordFile.isEmpty()) {
            // UTF-8, as scripts write it; only the first line counts.
            fromFile = SplitTextLines(QString::fromUtf8(ReadFileBytes(passwordFile))).value(0);
        }
        const auto ask = streams.askPassword;
        previous_ = SetPasswordProvider([fromFile, ask](const QString& container) -> std::optional<QString> {
            if (fromFile)
                return fromFile;
            if (!ask)
                return std::nullopt;
            return ask(QStringLiteral("Пароль контейнера %1: ").arg(container));
        });
    }
    ~PasswordSource() { SetPasswordProvider(std::move(previous_)); }
    PasswordSource(const PasswordSource&) = delete;
    PasswordSource& operator=(const PasswordSource&) = delete;

  private:
    TPasswordProvider previous_;
};

class KeyStoreScope final {
  public:
    explicit KeyStoreScope(const QString& store) : active_(!store.isEmpty())
    {
        if (active_)
            previous_ = SetKeyStorePath(store);
    }
    ~KeyStoreScope()
    {
        if (active_)
            SetKeyStorePath(previous_);
    }
    KeyStoreScope(const KeyStoreScope&) = delete;
    KeyStoreScope& operator=(const KeyStoreScope&) = delete;

  private:
    bool active_;
    QString previous_;
};

struct Options {
    Operation operation = Operation::Payment;
    ClientSettings settings;
    QStringList fieldFiles; // an empty name: the tab's file in the current folder, if it is there
    QStringList overrides;  // KEY=VALUE
    QString debugFolder;
    QString passwordFile;
    QString keyStore;
    QString exposureWarning; // the data folder's keys are open to other users
    bool follow = false;
    bool json = false;
    std::optional<ExchangeFolderOptions> serve;
};

// The lines of a field file with the overrides in front, where they win. A damaged file is not
// sent: nobody is watching a batch who could look at what was read before it is signed.
QStringList FieldLines(Operation operation, const QStringList& overrides, const QString& file,
                       bool operationLine)
{
    const FieldFileKind kind = OperationFieldFile(operation);
    QString path = file;
    if (path.isEmpty() && QFileInfo::exists(StartupFieldFile(kind)))
        path = StartupFieldFile(kind);
    QStringList lines;
    if (!path.isEmpty()) {
        QString damage;
        lines = ReadKeyValueFile(path, FieldFileKeys(kind), damage);
        if (!damage.isEmpty())
            throw UsageError(damage + QStringLiteral("\nЗапрос не отправлен."));
        // Read before it is dropped, so that a damaged line keeps its number in the warning.
        if (operationLine && !lines.isEmpty())
            lines.removeFirst();
    }
    return overrides + lines;
}

// The one-request path: one field file (an empty name: the tab's file in the current folder), sent
// and reported; a failure is recorded in the last request reported and returned.
std::exception_ptr SendOne(Operation operation, const QString& file, const QString& shownFile,
                           bool operationLine, const QStringList& overrides, const OperationInputs& inputs,
                           bool follow, QList<Request>& requests)
{
    Form form;
    CollectingSink sink(operation, shownFile, form, follow);
    std::exception_ptr error;
    try {
        AddSettingsFields(inputs.settings, form);
        LoadFieldLines(OperationFieldFile(operation), FieldLines(operation, overrides, file, operationLine),
                       form, Now().date());
        OperationRunner runner(inputs, form, sink);
        runner.run(operation);
    } catch (...) {
        error = std::current_exception();
        sink.current().error = MessageOf(error);
    }
    requests = sink.requests;
    return error;
}

QJsonArray JsonOf(const QList<Request>& requests)
{
    QJsonArray array;
    for (const Request& request : requests)
        array.append(JsonOf(request));
    return array;
}

std::optional<Options> ParseOptions(const QStringList& arguments, const CommandLineStreams& streams)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs an operation of the client for each field file.\n"
        "OPERATION: payment, package-status, charges, document-details, order, cancellation, get-state.\n"
        "serve: sends every field file that appears in the inbox folder, as a service."));
    parser.addPositionalArgument(QStringLiteral("OPERATION"), QStringLiteral("The operation to run."));
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        QStringLiteral("The settings file (default: zelvan.ini in the data folder)."),
        QStringLiteral("FILE"));
    const QCommandLineOption fields(
        QStringLiteral("fields"),
        QStringLiteral("A field file; repeat for a batch (default: the tab's file "
                       "in the current folder)."),
        QStringLiteral("FILE"));
    const QCommandLineOption set(QStringLiteral("set"), QStringLiteral("Overrides a field of the files."),
                                 QStringLiteral("KEY=VALUE"));
    const QCommandLineOption container(QStringLiteral("container"), QStringLiteral("The key container."),
                                       QStringLiteral("NAME"));
    const QCommandLineOption store(QStringLiteral("store"),
                                   QStringLiteral("The key store folder (default: keys in the data folder)."),
                                   QStringLiteral("DIR"));
    const QCommandLineOption data(QStringLiteral("data"),
                                  QStringLiteral("The client's data folder (default: beside the program when "
                                                 "it holds zelvan.ini or keys, else ~/.local/share/zelvan)."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption debugDir(QStringLiteral("debug-dir"),
                                      QStringLiteral("Keeps every request and reply in this folder."),
                                      QStringLiteral("DIR"));
    const QCommandLineOption follow(QStringLiteral("follow"),
                                    QStringLiteral("After a payment or an order, asks for its status."));
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("text or json."),
                                    QStringLiteral("FORMAT"), QStringLiteral("text"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("The container's password, on the first line."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption inbox(QStringLiteral("inbox"),
                                   QStringLiteral("serve: the folder the field files are moved into."),
                                   QStringLiteral("DIR"));
    const QCommandLineOption outbox(
        QStringLiteral("outbox"), QStringLiteral("serve: the folder of the results; sent files go to done/."),
        QStringLiteral("DIR"));
    const QCommandLineOption errors(QStringLiteral("errors"),
                                    QStringLiteral("serve: the folder of the files that failed."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption once(QStringLiteral("once"),
                                  QStringLiteral("serve: handles the files there are and exits."));
    parser.addOptions({settings, fields, set, container, store, data, debugDir, follow, format, passwordFile,
                       inbox, outbox, errors, once});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    if (!parser.parse(arguments))
        throw UsageError(parser.errorText());
    if (parser.isSet(help)) {
        *streams.out << parser.helpText();
        return std::nullopt;
    }
    if (parser.isSet(version)) {
        *streams.out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
                     << '\n';
        return std::nullopt;
    }

    Options options;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        throw UsageError(QStringLiteral("Укажите одну операцию: ") + parser.helpText());
    const bool serve = positional[0] == u"serve";
    if (const std::optional<Operation> operation = CommandLineOperation(positional[0]))
        options.operation = *operation;
    else if (!serve)
        throw UsageError(QStringLiteral("Неизвестная операция: ") + positional[0]);
    for (const QCommandLineOption& option : {inbox, outbox, errors, once})
        if (!serve && parser.isSet(option))
            throw UsageError(
                QStringLiteral("Ключ --%1 действует только для serve.").arg(option.names().constFirst()));

    const QString formatName = parser.value(format);
    if (formatName != u"text" && formatName != u"json")
        throw UsageError(QStringLiteral("Неизвестный формат: ") + formatName);
    options.json = formatName == u"json";

    // The window's own files, found as the window finds them.
    const QString dataFolder = LocateDataFolder(parser.value(data), QCoreApplication::applicationDirPath());
    const QString settingsFile = parser.isSet(settings)
                                     ? parser.value(settings)
                                     : QDir(dataFolder).filePath(QStringLiteral("zelvan.ini"));
    if (parser.isSet(settings) && !QFileInfo::exists(settingsFile))
        throw UsageError(QStringLiteral("Нет файла настроек ") + QDir::toNativeSeparators(settingsFile));
    QString damage;
    options.settings = ReadSettingsFile(settingsFile, &damage);
    if (!damage.isEmpty()) {
        *streams.err << damage << '\n';
        streams.err->flush();
    }
    if (parser.isSet(container))
        options.settings.container = parser.value(container);

    options.fieldFiles = parser.values(fields);
    if (options.fieldFiles.isEmpty())
        options.fieldFiles << QString();
    const QStringList keys = FieldFileKeys(OperationFieldFile(options.operation));
    for (const QString& entry : parser.values(set)) {
        const qsizetype separator = entry.indexOf(u'=');
        const QString key = entry.left(separator);
        if (separator <= 0 || !keys.contains(key, Qt::CaseInsensitive))
            throw UsageError(QStringLiteral("Неизвестное поле: ") + entry);
        options.overrides << entry;
    }
    options.debugFolder = parser.value(debugDir);
    options.passwordFile = parser.value(passwordFile);
    if (parser.isSet(store)) {
        options.keyStore = parser.value(store);
    } else {
        options.keyStore = DataKeyStorePath(dataFolder);
        options.exposureWarning = KeyStoreExposureWarning(dataFolder);
    }
    options.follow = parser.isSet(follow);
    if (serve) {
        ExchangeFolderOptions folders = ReadExchangeFolderSettings(dataFolder);
        folders.dataFolder = dataFolder;
        for (const auto& [option, folder] :
             {std::pair{&inbox, &folders.inbox}, std::pair{&outbox, &folders.outbox},
              std::pair{&errors, &folders.errors}})
            if (parser.isSet(*option))
                *folder = parser.value(*option);
        folders.once = parser.isSet(once);
        if (!options.passwordFile.isEmpty())
            folders.passwordFile = options.passwordFile;
        options.passwordFile = ServicePasswordFile(folders, QProcessEnvironment::systemEnvironment());
        options.serve = folders;
    }
    return options;
}

} // namespace

CommandLineStreams CommandLineStreams::standard()
{
    static QTextStream out(stdout);
    static QTextStream err(stderr);
    CommandLineStreams streams;
    streams.out = &out;
    streams.err = &err;
    streams.progress = IsTerminal(stderr);
    streams.askPassword = AskHidden;
    return streams;
}

int RunCommandLine(const QStringList& arguments, const CommandLineStreams& streams)
{
    QTextStream& out = *streams.out;
    QTextStream& err = *streams.err;
    std::optional<Options> parsed;
    try {
        parsed = ParseOptions(arguments, streams);
    } catch (...) {
        err << MessageOf(std::current_exception()) << '\n';
        err.flush();
        return int(ExitCode::badInput);
    }
    if (!parsed)
        return int(ExitCode::success);
    const Options& options = *parsed;

    std::optional<PasswordSource> passwords;
    try {
        passwords.emplace(options.passwordFile, streams);
    } catch (...) {
        err << MessageOf(std::current_exception()) << '\n';
        err.flush();
        return int(ExitCode::badInput);
    }
    if (!options.exposureWarning.isEmpty()) {
        err << options.exposureWarning << '\n';
        err.flush();
    }
    const KeyStoreScope keyStore(options.keyStore);
    THttpClient http;
    // One key for the whole batch: an encrypted container's password is asked once per run.
    const auto key = std::make_shared<ContainerKey>(options.settings.container);

    const OperationInputs inputs{options.settings, options.debugFolder, Now, &http, nullptr, key, {}, {}, {}};
    if (options.serve)
        return RunExchangeFolders(
            *options.serve,
            [&inputs](const FieldFileRequest& request) {
                OperationInputs watched = inputs;
                watched.posting = request.posting;
                watched.received = request.received;
                QList<Request> requests;
                SentFieldFile sent;
                sent.error = SendOne(request.operation, request.file, request.file, request.operationLine, {},
                                     watched, false, requests);
                sent.json = JsonOf(requests);
                return sent;
            },
            streams);

    QList<Request> reported;
    ExitCode exitCode = ExitCode::success;
    qsizetype succeeded = 0;
    const qsizetype total = options.fieldFiles.size();
    for (qsizetype i = 0; i < total; ++i) {
        const QString& file = options.fieldFiles[i];
        const QString shownFile =
            file.isEmpty() ? StartupFieldFile(OperationFieldFile(options.operation)) : file;
        if (streams.progress) {
            err << QStringLiteral("%1/%2 %3").arg(i + 1).arg(total).arg(shownFile) << '\n';
            err.flush();
        }
        QList<Request> requests;
        const std::exception_ptr error = SendOne(options.operation, file, shownFile, false, options.overrides,
                                                 inputs, options.follow, requests);
        if (!error) {
            ++succeeded;
        } else {
            if (exitCode == ExitCode::success)
                exitCode = ExitCodeOf(error);
            err << (total > 1 ? shownFile + QStringLiteral(": ") : QString()) << MessageOf(error) << '\n';
            err.flush();
        }
        if (!options.json) {
            if (total > 1)
                out << shownFile << ":\n";
            for (const Request& request : requests)
                WriteText(out, request);
            out.flush();
        }
        reported += requests;
    }

    if (options.json) {
        out << QString::fromUtf8(QJsonDocument(JsonOf(reported)).toJson(QJsonDocument::Indented));
        out.flush();
    }
    if (total > 1) {
        err << QStringLiteral("Файлов: %1, выполнено: %2, с ошибкой: %3")
                   .arg(total)
                   .arg(succeeded)
                   .arg(total - succeeded)
            << '\n';
        err.flush();
    }
    return int(exitCode);
}
