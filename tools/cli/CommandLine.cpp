#include "CommandLine.h"

#include "ExchangeFolders.h"
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
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextStream>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace {

// A failure of the command line itself, before any request.
class UsageError final : public Exception {
  public:
    using Exception::Exception;
};

} // namespace

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
    QList<qint64> journalRows; // the journal's identifiers of the request's exchanges
    // The sent message was accepted but asking for its state failed.
    QString followUpError;
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
        request.operation = OperationCommandName(running);
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
    if (!request.followUpError.isEmpty())
        object.insert(QStringLiteral("followUpError"), request.followUpError);
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

// What each control is called on the window's tab, read from the window's own forms: the text of
// the label whose buddy it is; for a list without a label its items by position, or else the title
// of its group.
QHash<QString, QString> FormCaptions(FieldFileKind kind)
{
    static const char* const forms[] = {":/forms/PaymentTab.ui", ":/forms/ChargesTab.ui",
                                        ":/forms/OrderTab.ui", ":/forms/DocumentDetailsTab.ui"};
    QFile file(QLatin1String(forms[int(kind)]));
    QHash<QString, QString> captions;
    QHash<QString, QString> groups; // control, the title of the group it lies in
    if (!file.open(QIODevice::ReadOnly))
        return captions;
    QXmlStreamReader xml(&file);
    struct Widget {
        QString className;
        QString name;
        QString text;
        QString buddy;
        QStringList items;
    };
    QList<Widget> widgets; // the open widget elements
    QStringList elements;  // every open element
    QString property;
    bool inItem = false; // a list's own item, not a layout's
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement())
            elements.removeLast();
        if (xml.isStartElement()) {
            const QString parent = elements.value(elements.size() - 1);
            elements << xml.name().toString();
            if (xml.name() == u"widget") {
                widgets.append({xml.attributes().value(QLatin1String("class")).toString(),
                                xml.attributes().value(QLatin1String("name")).toString(),
                                {},
                                {},
                                {}});
            } else if (xml.name() == u"item" && parent == u"widget") {
                inItem = true;
            } else if (xml.name() == u"property") {
                property = xml.attributes().value(QLatin1String("name")).toString();
            } else if (!widgets.isEmpty() && (xml.name() == u"string" || xml.name() == u"cstring")) {
                Widget& widget = widgets.last();
                // Reading the text consumes the element's end as well.
                const QString text = xml.readElementText();
                elements.removeLast();
                if (inItem && property == u"text")
                    widget.items << text;
                else if (property == u"text" || property == u"title")
                    widget.text = text;
                else if (property == u"buddy")
                    widget.buddy = text;
            }
        } else if (xml.isEndElement() && xml.name() == u"item" &&
                   elements.value(elements.size() - 1) == u"widget") {
            inItem = false;
        } else if (xml.isEndElement() && xml.name() == u"widget" && !widgets.isEmpty()) {
            const Widget widget = widgets.takeLast();
            for (auto group = widgets.crbegin(); group != widgets.crend(); ++group)
                if (group->className == u"QGroupBox") {
                    groups.insert(widget.name, group->text);
                    break;
                }
            if (widget.className == u"QLabel" && !widget.buddy.isEmpty()) {
                captions.insert(widget.buddy, widget.text);
            } else if (widget.className == u"QComboBox" && !widget.items.isEmpty() &&
                       !captions.contains(widget.name)) {
                QStringList positions;
                for (qsizetype i = 0; i < widget.items.size(); ++i)
                    positions << QStringLiteral("%1 %2").arg(i).arg(widget.items[i]);
                captions.insert(widget.name,
                                QStringLiteral("варианты: ") + positions.join(QStringLiteral("; ")));
            }
        }
    }
    // A list without a label of its own is named by its group.
    for (auto group = groups.cbegin(); group != groups.cend(); ++group)
        if (!captions.contains(group.key()))
            captions.insert(group.key(), group.value());
    return captions;
}

// Answers the value provider from a form and notes which controls it asked about.
class RecordingReader final : public IControlReader {
  public:
    explicit RecordingReader(const Form& form) : form_(form) {}
    mutable QSet<QString> read;

    QString ControlText(const QString& name) const override
    {
        read.insert(name);
        return form_.contains(name) ? form_.ControlText(name) : QString();
    }
    int ControlIndex(const QString& name) const override
    {
        read.insert(name);
        return form_.contains(name) ? form_.ControlIndex(name) : -1;
    }

  private:
    const Form& form_;
};

// `zelvan-cli fields OPERATION`: the keys of the field file the operation reads, in the file's
// order, each with the caption of its field on the window's tab and whether the operation's
// requests (its follow-up's included) read it, with the file's default selections: a search type
// picks which keys count. A key is required when a value the request always carries reads it.
void WriteFieldReference(QTextStream& out, Operation operation)
{
    const FieldFileKind kind = OperationFieldFile(operation);
    Form form;
    AddSettingsFields(DefaultSettings(), form);
    LoadFieldLines(kind, {}, form, QDate::currentDate());
    TValuesState state;
    state.ValuesType = OperationValuesType(operation);
    const QStringList mandatory = MandatoryValueKeys(operation);
    QSet<QString> read;
    QSet<QString> required;
    for (const QString& key : ValueKeys(state.ValuesType)) {
        const RecordingReader reader(form);
        try {
            GetFieldValue(key, reader, state);
        } catch (const Exception&) {
            // An empty form may not render; what it asked for is known all the same.
        }
        read += reader.read;
        if (mandatory.contains(key))
            required += reader.read;
    }
    const QHash<QString, QString> captions = FormCaptions(kind);
    const QStringList keys = FieldFileKeys(kind);
    const QStringList controls = FieldFileControls(kind);
    out << QStringLiteral("# Файл полей %1 для %2: ключ, поле окна, \"обязательно\" - элемент ключа есть в "
                          "запросе и пустым, \"читается\" - значение ключа идет в запросы этой операции "
                          "(с выборами файла по умолчанию)\n")
               .arg(StartupFieldFile(kind), OperationCommandName(operation));
    for (qsizetype i = 0; i < keys.size(); ++i)
        out << keys[i] << '\t' << captions.value(controls[i]) << '\t'
            << (required.contains(controls[i]) ? QStringLiteral("обязательно")
                : read.contains(controls[i])   ? QStringLiteral("читается")
                                               : QString())
            << '\n';
    out.flush();
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
    bool dryRun = false;
    bool settingsGiven = false;
    bool lenient = false; // --lenient: settings lines it cannot use are passed over with a warning
    // `serve`: the folders the command line names (the rest from exchange.ini of the data folder).
    std::optional<ExchangeFolderOptions> serve;
};

// The lines of a field file with the overrides in front, where they win. A damaged file is not
// sent: nobody is watching a batch who could look at what was read before it is signed. Neither is
// a missing one, the tab's default included: an empty request is never what a script meant. A file
// read as UTF-8 for want of a byte-order mark holds what was written; the note goes to `warnings`.
QStringList FieldLines(Operation operation, const QStringList& overrides, const QString& file,
                       bool operationLine, QStringList& warnings)
{
    const FieldFileKind kind = OperationFieldFile(operation);
    const QString path = file.isEmpty() ? StartupFieldFile(kind) : file;
    if (!QFileInfo::exists(path))
        throw UsageError(QStringLiteral("Нет файла полей %1. Укажите его в --fields или создайте; ключи "
                                        "файла показывает zelvan-cli fields %2.")
                             .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()),
                                  OperationCommandName(operation)));
    QString damage;
    bool onlyEncodingGuessed = false;
    QStringList lines = ReadKeyValueFile(path, FieldFileKeys(kind), damage, &onlyEncodingGuessed);
    if (onlyEncodingGuessed)
        warnings << damage;
    else if (!damage.isEmpty())
        throw UsageError(damage + QStringLiteral("\nЗапрос не отправлен."));
    // Dropped once read, so that a damaged line keeps its number in the message.
    if (operationLine && !lines.isEmpty())
        lines.removeFirst();
    return overrides + lines;
}

// The command line's options; what the session is made from goes into `session`.
std::optional<Options> ParseOptions(const QStringList& arguments, const CommandLineStreams& streams,
                                    SessionOptions& session)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs an operation of the client for each field file.\n"
        "OPERATION: payment, package-status, charges, document-details, order, cancellation, get-state.\n"
        "zelvan-cli serve sends every field file moved into the inbox folder, as a service.\n"
        "zelvan-cli fields OPERATION lists the keys of the operation's field file.\n"
        "Exit codes: 0 every request succeeded (with --follow: the message sent was accepted, even when\n"
        "the status query after it failed), 1 a state system refused, 2 bad input, 3 transport, 4 key\n"
        "container or signing; a batch ends with the largest code of its files."));
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
    const QCommandLineOption lenient(
        QStringLiteral("lenient"),
        QStringLiteral("Passes over settings lines it cannot use (and a missing default settings file) "
                       "with a warning, as the window does."));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("Builds and signs each request, writes it to --debug-dir "
                                                   "and sends nothing (no time stamp either)."));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Gives up an exchange after this many seconds "
                                                    "(shortens the client's own limits)."),
                                     QStringLiteral("SECONDS"));
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
    parser.addOptions({settings, fields, set, container, store, data, debugDir, follow, allowRepeat, format,
                       passwordFile, lenient, dryRun, timeout, inbox, outbox, errors, once});
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
    QStringList positional = parser.positionalArguments();
    const bool reference = positional.value(0) == u"fields";
    if (reference)
        positional.removeFirst();
    if (positional.size() != 1)
        throw UsageError(QStringLiteral("Укажите одну операцию: ") + parser.helpText());
    const bool serve = !reference && positional[0] == u"serve";
    if (const std::optional<Operation> operation = OperationByCommandName(positional[0]))
        options.operation = *operation;
    else if (!serve)
        throw UsageError(QStringLiteral("Неизвестная операция: ") + positional[0]);
    // What a service is handed comes from its files: nobody is there to choose per file.
    for (const QCommandLineOption& option : {inbox, outbox, errors, once})
        if (!serve && parser.isSet(option))
            throw UsageError(
                QStringLiteral("Ключ --%1 действует только для serve.").arg(option.names().constFirst()));
    for (const QCommandLineOption& option : {fields, set, follow, allowRepeat, dryRun})
        if (serve && parser.isSet(option))
            throw UsageError(
                QStringLiteral("Ключ --%1 не действует для serve.").arg(option.names().constFirst()));
    if (reference) {
        WriteFieldReference(*streams.out, options.operation);
        return std::nullopt;
    }

    const QString formatName = parser.value(format);
    if (formatName != u"text" && formatName != u"json")
        throw UsageError(QStringLiteral("Неизвестный формат: ") + formatName);
    options.json = formatName == u"json";

    // The window's own files, found as the window finds them.
    session.executableFolder = QCoreApplication::applicationDirPath();
    // A switch wins; without one, a folder the caller already chose stays.
    if (parser.isSet(data))
        session.dataOption = parser.value(data);
    session.settingsOption = parser.value(settings);
    options.settingsGiven = parser.isSet(settings);
    options.lenient = parser.isSet(lenient);
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
    options.dryRun = parser.isSet(dryRun);
    if (options.dryRun && session.debugFolder.isEmpty())
        throw UsageError(QStringLiteral("Для --dry-run укажите --debug-dir ПАПКА: подписанные запросы "
                                        "записываются туда."));
    if (serve) {
        ExchangeFolderOptions folders;
        folders.inbox = parser.value(inbox);
        folders.outbox = parser.value(outbox);
        folders.errors = parser.value(errors);
        folders.once = parser.isSet(once);
        options.serve = folders;
    }
    if (parser.isSet(timeout)) {
        bool number = false;
        const int seconds = parser.value(timeout).toInt(&number);
        if (!number || seconds < 1 || seconds > RequestTimeoutMs / 1000)
            throw UsageError(QStringLiteral("--timeout: укажите целое число секунд от 1 до %1, а не \"%2\".")
                                 .arg(RequestTimeoutMs / 1000)
                                 .arg(parser.value(timeout)));
        const int limitMs = seconds * 1000;
        session.httpLimits.SilenceMs = std::min(session.httpLimits.SilenceMs, limitMs);
        session.httpLimits.SlowWindowMs = std::min(session.httpLimits.SlowWindowMs, limitMs);
        session.httpLimits.ExchangeMs = std::min(session.httpLimits.ExchangeMs, limitMs);
    }
    return options;
}

// One field file as the batch and the exchange folders send it.
struct FileRun {
    Operation operation = Operation::Payment;
    QString file;      // empty: the tab's file in the current folder
    QString shownFile; // as the requests and messages name it
    QString where;     // what a message about it starts with in a batch
    QStringList overrides;
    bool operationLine = false;
    bool follow = false;
    bool allowRepeat = false;
    bool dryRun = false;
    QString debugFolder; // where a dry run writes its requests
    QString runId;
};

struct FileResult {
    QList<Request> requests;
    std::exception_ptr error; // null when it counts as done
};

FileResult SendFieldFile(Session& session, const ClientSettings& settings,
                         const std::shared_ptr<ContainerKey>& key, const FileRun& run, QTextStream& err)
{
    Form form;
    CollectingSink sink(run.operation, run.shownFile, form, run.follow, run.allowRepeat);
    FileResult result;
    try {
        AddSettingsFields(settings, form);
        QStringList fileWarnings;
        const QStringList lines =
            FieldLines(run.operation, run.overrides, run.file, run.operationLine, fileWarnings);
        for (const QString& warning : fileWarnings) {
            err << warning << '\n';
            err.flush();
        }
        LoadFieldLines(OperationFieldFile(run.operation), lines, form, session.now().date());
        OperationInputs inputs = session.inputs(settings);
        inputs.key = key;
        inputs.runId = run.runId;
        if (run.dryRun) {
            inputs.debugFolder = run.debugFolder;
            if (!QDir().mkpath(inputs.debugFolder))
                throw UsageError(QStringLiteral("Не удалось создать папку %1 для подписанных запросов.")
                                     .arg(QDir::toNativeSeparators(inputs.debugFolder)));
        }
        inputs.dryRun = run.dryRun;
        OperationRunner runner(std::move(inputs), form, sink);
        runner.run(run.operation);
    } catch (const ERequestNotSent& notSent) {
        sink.current().status = QStringLiteral("Подписано, не отправлено.");
        sink.current().information.append(notSent.message());
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        const QString message = ErrorText(error);
        // The follow-up after a payment or an order failed: the message itself was accepted,
        // and an exit code of failure would have a script send it again.
        if (sink.requests.size() > 1) {
            Request& sent = sink.requests.first();
            sent.followUpError = message;
            sink.requests.last().error = message;
            QStringList identifiers;
            for (const auto& [caption, value] : sent.identifiers)
                identifiers << caption + QStringLiteral(": ") + value;
            err << run.where
                << QStringLiteral("Предупреждение: сообщение принято (%1), но запрос его состояния не "
                                  "выполнен: %2\nНе отправляйте сообщение повторно: его состояние можно "
                                  "запросить позже.")
                       .arg(identifiers.join(QStringLiteral(", ")), message)
                << '\n';
            err.flush();
        } else {
            result.error = error;
            sink.current().error = message;
        }
    }
    result.requests = sink.requests;
    return result;
}

QJsonArray JsonOf(const QList<Request>& requests)
{
    QJsonArray array;
    for (const Request& request : requests)
        array.append(JsonOf(request));
    return array;
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
        // A script is told what the window passes over: otherwise it signs with settings nobody meant.
        const QString settingsFile = session->settingsFile();
        const QString settingsPath = QDir::toNativeSeparators(QFileInfo(settingsFile).absoluteFilePath());
        const bool strict = !parsed->lenient;
        QStringList warnings;
        if (!QFileInfo::exists(settingsFile)) {
            if (strict || parsed->settingsGiven)
                throw UsageError(
                    QStringLiteral("Нет файла настроек %1. Сохраните настройки в окне программы или "
                                   "укажите файл в --settings.")
                        .arg(settingsPath));
            warnings << QStringLiteral("Нет файла настроек %1: настройки по умолчанию (--lenient).")
                            .arg(settingsPath);
        }
        QString damage;
        QStringList problems;
        settings = session->readSettings(&damage, &problems);
        if (!damage.isEmpty())
            warnings.prepend(damage);
        if (!problems.isEmpty()) {
            const QString text =
                QStringLiteral("Файл настроек %1:\n").arg(settingsPath) + problems.join(u'\n');
            if (strict)
                throw UsageError((damage.isEmpty() ? QString() : damage + u'\n') + text +
                                 QStringLiteral("\nИсправьте эти строки или запустите с --lenient, чтобы их "
                                                "пропустить."));
            warnings << text + QStringLiteral("\nЭти строки пропущены (--lenient).");
        }
        for (const QString& warning : warnings)
            err << warning << '\n';
        err.flush();
        if (parsed->serve) {
            // The command line's folders and password file win over the service's settings file.
            ExchangeFolderOptions folders = ReadExchangeFolderSettings(session->dataFolder());
            for (const auto& [given, folder] : {std::pair{&parsed->serve->inbox, &folders.inbox},
                                                std::pair{&parsed->serve->outbox, &folders.outbox},
                                                std::pair{&parsed->serve->errors, &folders.errors}})
                if (!given->isEmpty())
                    *folder = *given;
            folders.once = parsed->serve->once;
            if (!parsed->passwordFile.isEmpty())
                folders.passwordFile = parsed->passwordFile;
            parsed->passwordFile = ServicePasswordFile(folders, QProcessEnvironment::systemEnvironment());
            parsed->serve = folders;
        }
        *passwords = CommandLinePasswords(parsed->passwordFile, streams);
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

    if (options.serve) {
        if (!session->journal())
            return int(ExitCode::badInput);
        return RunExchangeFolders(
            *options.serve, *session->journal(),
            [&](const FieldFileRequest& request) {
                FileRun run;
                run.operation = request.operation;
                run.file = request.file;
                run.shownFile = request.file;
                run.operationLine = request.operationLine;
                run.runId = request.runId;
                const FileResult result = SendFieldFile(*session, settings, key, run, err);
                return SentFieldFile{JsonOf(result.requests), result.error};
            },
            streams);
    }

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
        FileRun run;
        run.operation = options.operation;
        run.file = file;
        run.shownFile = shownFile;
        run.where = total > 1 ? shownFile + QStringLiteral(": ") : QString();
        run.overrides = options.overrides;
        run.follow = options.follow;
        run.allowRepeat = options.allowRepeat;
        run.dryRun = options.dryRun;
        // A batch's dry run keeps each file's requests apart; the names within are the window's.
        run.debugFolder = total > 1 ? QDir(session->debugFolder())
                                          .filePath(QStringLiteral("%1-%2").arg(i + 1).arg(
                                              QFileInfo(shownFile).completeBaseName()))
                                    : session->debugFolder();
        const FileResult result = SendFieldFile(*session, settings, key, run, err);
        if (!result.error) {
            ++succeeded;
        } else {
            // The worst outcome of the batch, whatever the order of its files.
            exitCode = std::max(exitCode, ExitCodeOf(result.error));
            err << run.where << ErrorText(result.error) << '\n';
            err.flush();
        }
        if (!options.json) {
            if (total > 1)
                out << shownFile << ":\n";
            for (const Request& request : result.requests)
                WriteText(out, request);
            out.flush();
        }
        reported += result.requests;
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
