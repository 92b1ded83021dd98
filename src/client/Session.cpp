#include "client/Session.h"

#include "foundation/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// The path with the extension of its file name replaced, or added when it has none.
QString ChangeFileExt(const QString& path, const QString& extension)
{
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype stemEnd = dot >= nameStart ? dot : path.size();
    return path.left(stemEnd) + extension;
}

} // namespace

Session::Session(SessionOptions options)
    : options_(std::move(options)),
      dataFolder_(LocateDataFolder(options_.dataOption, options_.executableFolder, options_.environment)),
      clock_(options_.clock ? options_.clock : &QDateTime::currentDateTime),
      http_(std::make_unique<THttpClient>(options_.httpLimits)),
      identifiers_(std::make_unique<IdentifierSource>(options_.lastIdSuffix, options_.guids))
{
    // The files are named after the client's executable, as they always were, in the data folder.
    const QString clientFiles = QDir(dataFolder_).filePath(options_.clientFileName);
    settingsFile_ = options_.settingsOption.isEmpty() ? ChangeFileExt(clientFiles, QStringLiteral(".ini"))
                                                      : options_.settingsOption;
    windowStateFile_ =
        ChangeFileExt(ChangeFileExt(clientFiles, QStringLiteral(".ini")), QStringLiteral(".pro"));
    if (!options_.debugFolder.isEmpty()) {
        debugFolder_ = options_.debugFolder;
    } else if (options_.debug) {
        debugFolder_ = QFileInfo(ChangeFileExt(clientFiles, QStringLiteral(".ini"))).path();
        if (!debugFolder_.endsWith(u'/'))
            debugFolder_ += u'/';
    }
    keyStore_.path =
        options_.keyStoreOption.isEmpty() ? DataKeyStorePath(dataFolder_) : options_.keyStoreOption;
    keyStore_.passwords = options_.passwords;
}

Session::~Session() = default;

const ClientSettings& Session::readSettings(QString* damage, QStringList* problems)
{
    settings_ = ReadSettingsFile(settingsFile_, damage, problems);
    return settings_;
}

void Session::writeSettings(const ClientSettings& settings)
{
    WriteSettingsFile(settingsFile_, settings);
    settings_ = settings;
}

QString Session::openJournal()
{
    if (journalNotice_)
        return *journalNotice_;
    try {
        // The command line has no window to make the folder at start; making it again does no harm.
        PrepareDataFolder(dataFolder_);
        journal_ = std::make_unique<Journal>(
            dataFolder_,
            Journal::Options{QCoreApplication::applicationVersion(), {}, settings_.journalDatabase});
        const qsizetype recovered = journal_->recoveredOnOpen();
        journalNotice_ =
            recovered == 0
                ? QString()
                : QStringLiteral("Обменов, прерванных завершением программы, с неизвестным исходом: %1. "
                                 "Узнайте их статус на вкладке \"Журнал\", прежде чем отправлять снова.")
                      .arg(recovered);
    } catch (const Exception& e) {
        journalError_ = e.message();
        journalNotice_ = journalError_;
    }
    return *journalNotice_;
}

OperationInputs Session::inputs(const ClientSettings& settings)
{
    openJournal();
    OperationInputs inputs;
    inputs.settings = settings;
    inputs.debugFolder = debugFolder_;
    inputs.clock = clock_;
    inputs.http = http_.get();
    inputs.identifiers = identifiers_.get();
    inputs.keys = keyStore_;
    inputs.journal = journal_.get();
    inputs.journalError = journalError_;
    return inputs;
}
