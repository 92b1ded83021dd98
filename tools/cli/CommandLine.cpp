#include "CommandLine.h"

#include "Terminal.h"

#include "client/FieldFiles.h"
#include "client/Operations.h"
#include "client/Session.h"
#include "client/Settings.h"
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
#include <memory>
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

QString NameOf(Operation operation)
{
    for (const OperationName& entry : OperationNames)
        if (entry.operation == operation)
            return QLatin1String(entry.name);
    return {};
}

// A failure of the command line itself, before any request.
class UsageError final : public Exception {
  public:
    using Exception::Exception;
};

ExitCode ExitCodeOf(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ERepeatRefused&) {
        return ExitCode::repeat;
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
    } catch (const EPasswordCancelled&) {
        return ExitCode::keys;
    } catch (...) {
        return ExitCode::badInput;
    }
}

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
    QList<qint64> journalRows; // the journal's identifiers of the request's exchanges
};

// Collects what an operation reports, one request per exchange step; the follow-up's answer is
// the --follow switch.
class CollectingSink final : public OperationSink {
  public:
    CollectingSink(Operation operation, QString file, Form& form, bool follow, bool allowRepeat)
        : operation_(operation), file_(std::move(file)), form_(form), follow_(follow),
          allowRepeat_(allowRepeat)
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
        request.operation = NameOf(running);
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
    bool confirmRepeat(const QString& /*question*/) override { return allowRepeat_; }
    void journaled(qint64 row) override { current().journalRows.append(row); }

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
    bool allowRepeat_;
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
    if (!request.journalRows.isEmpty()) {
        QJsonArray rows;
        for (const qint64 row : request.journalRows)
            rows.append(row);
        object.insert(QStringLiteral("journal"), rows);
    }
    if (!request.error.isEmpty())
        object.insert(QStringLiteral("error"), request.error);
    return object;
}

// The password of an encrypted container: the first line of --password-file, or asked on the
// terminal.
TPasswordProvider CommandLinePasswords(const QString& passwordFile, const CommandLineStreams& streams)
{
    std::optional<QString> fromFile;
    if (!passwordFile.isEmpty()) {
        // UTF-8, as scripts write it; only the first line counts.
        fromFile = SplitTextLines(QString::fromUtf8(ReadFileBytes(passwordFile))).value(0);
    }
    return [fromFile, ask = streams.askPassword](const QString& container) -> std::optional<QString> {
        if (fromFile)
            return fromFile;
        if (!ask)
            return std::nullopt;
        return ask(QStringLiteral("Пароль контейнера %1: ").arg(container));
    };
}

struct Options {
    Operation operation = Operation::Payment;
    QString container;      // --container: instead of the settings' container
    QStringList fieldFiles; // an empty name: the tab's file in the current folder, if it is there
    QStringList overrides;  // KEY=VALUE
    QString passwordFile;
    bool follow = false;
    bool allowRepeat = false;
    bool json = false;
};

// The lines of a field file with the overrides in front, where they win. A damaged file is not
// sent: nobody is watching a batch who could look at what was read before it is signed.
QStringList FieldLines(const Options& options, const QString& file)
{
    const FieldFileKind kind = OperationFieldFile(options.operation);
    QString path = file;
    if (path.isEmpty() && QFileInfo::exists(StartupFieldFile(kind)))
        path = StartupFieldFile(kind);
    QStringList lines;
    if (!path.isEmpty()) {
        QString damage;
        lines = ReadKeyValueFile(path, FieldFileKeys(kind), damage);
        if (!damage.isEmpty())
            throw UsageError(damage + QStringLiteral("\nЗапрос не отправлен."));
    }
    return options.overrides + lines;
}

// The command line's options; what the session is made from goes into `session`.
std::optional<Options> ParseOptions(const QStringList& arguments, const CommandLineStreams& streams,
                                    SessionOptions& session)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs an operation of the client for each field file.\n"
        "OPERATION: payment, package-status, charges, document-details, order, cancellation, get-state."));
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
    const QCommandLineOption allowRepeat(
        QStringLiteral("allow-repeat"),
        QStringLiteral("Sends a payment or an order the journal shows as sent before all the same."));
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("text or json."),
                                    QStringLiteral("FORMAT"), QStringLiteral("text"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("The container's password, on the first line."),
                                          QStringLiteral("FILE"));
    parser.addOptions(
        {settings, fields, set, container, store, data, debugDir, follow, allowRepeat, format, passwordFile});
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
    bool known = false;
    for (const OperationName& entry : OperationNames)
        if (positional[0] == QLatin1String(entry.name)) {
            options.operation = entry.operation;
            known = true;
        }
    if (!known)
        throw UsageError(QStringLiteral("Неизвестная операция: ") + positional[0]);

    const QString formatName = parser.value(format);
    if (formatName != u"text" && formatName != u"json")
        throw UsageError(QStringLiteral("Неизвестный формат: ") + formatName);
    options.json = formatName == u"json";

    // The window's own files, found as the window finds them.
    session.executableFolder = QCoreApplication::applicationDirPath();
    session.dataOption = parser.value(data);
    session.settingsOption = parser.value(settings);
    if (parser.isSet(settings) && !QFileInfo::exists(session.settingsOption))
        throw UsageError(QStringLiteral("Нет файла настроек ") +
                         QDir::toNativeSeparators(session.settingsOption));
    options.container = parser.value(container);

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
    session.debugFolder = parser.value(debugDir);
    session.keyStoreOption = parser.value(store);
    options.passwordFile = parser.value(passwordFile);
    options.follow = parser.isSet(follow);
    options.allowRepeat = parser.isSet(allowRepeat);
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

int RunCommandLine(const QStringList& arguments, const CommandLineStreams& streams,
                   SessionOptions sessionOptions)
{
    QTextStream& out = *streams.out;
    QTextStream& err = *streams.err;
    std::optional<Options> parsed;
    std::optional<Session> session;
    ClientSettings settings;
    bool storeGiven = false;
    try {
        parsed = ParseOptions(arguments, streams, sessionOptions);
        if (!parsed)
            return int(ExitCode::success);
        // The password file is read once the settings have been, as a run has always told of them.
        auto passwords = std::make_shared<TPasswordProvider>();
        sessionOptions.passwords = [passwords](const QString& container) { return (*passwords)(container); };
        storeGiven = !sessionOptions.keyStoreOption.isEmpty();
        session.emplace(std::move(sessionOptions));
        if (const QString damage = session->readSettings(); !damage.isEmpty()) {
            err << damage << '\n';
            err.flush();
        }
        *passwords = CommandLinePasswords(parsed->passwordFile, streams);
        settings = session->settings();
        if (const QString notice = session->openJournal(); !notice.isEmpty()) {
            err << notice << '\n';
            err.flush();
        }
        if (!parsed->container.isEmpty())
            settings.container = parsed->container;
    } catch (...) {
        err << ErrorText(std::current_exception()) << '\n';
        err.flush();
        return int(ExitCode::badInput);
    }
    const Options& options = *parsed;
    // A key store of the data folder that others can read is told of; one named with --store is
    // the caller's own choice.
    if (!storeGiven) {
        if (const QString warning = KeyStoreExposureWarning(session->dataFolder()); !warning.isEmpty()) {
            err << warning << '\n';
            err.flush();
        }
    }
    // One key for the whole batch: an encrypted container's password is asked once per run.
    const auto key = std::make_shared<ContainerKey>(session->keyStore(), settings.container);

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
        Form form;
        CollectingSink sink(options.operation, shownFile, form, options.follow, options.allowRepeat);
        try {
            AddSettingsFields(settings, form);
            LoadFieldLines(OperationFieldFile(options.operation), FieldLines(options, file), form,
                           session->now().date());
            OperationInputs inputs = session->inputs(settings);
            inputs.key = key;
            OperationRunner runner(std::move(inputs), form, sink);
            runner.run(options.operation);
            ++succeeded;
        } catch (...) {
            const std::exception_ptr error = std::current_exception();
            const QString message = ErrorText(error);
            if (exitCode == ExitCode::success)
                exitCode = ExitCodeOf(error);
            sink.current().error = message;
            err << (total > 1 ? shownFile + QStringLiteral(": ") : QString()) << message << '\n';
            err.flush();
        }
        if (!options.json) {
            if (total > 1)
                out << shownFile << ":\n";
            for (const Request& request : sink.requests)
                WriteText(out, request);
            out.flush();
        }
        reported += sink.requests;
    }

    if (options.json) {
        QJsonArray array;
        for (const Request& request : reported)
            array.append(JsonOf(request));
        out << QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
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
