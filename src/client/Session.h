#pragma once

#include "client/Operations.h"
#include "client/Settings.h"
#include "foundation/CryptHelper.h"
#include "foundation/HttpClient.h"
#include "foundation/TextHelper.h"
#include "journal/Journal.h"

#include <QDateTime>
#include <QProcessEnvironment>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

// What a program's main knows when it makes its session: its command line and where it runs.
struct SessionOptions {
    // The folder of the running program: a portable copy keeps its files there.
    QString executableFolder;
    // The client's executable file name; its settings and window-state files are named after it.
    QString clientFileName = QStringLiteral("zelvan");
    QString dataOption;     // --data DIR; empty: the data folder rule
    QString keyStoreOption; // --store DIR; empty: "keys" of the data folder
    QString settingsOption; // --settings FILE; empty: the client's settings file in the data folder
    // Requests and replies are kept in `debugFolder`, or beside the settings file with `debug`.
    bool debug = false;
    QString debugFolder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    // How the program asks for a container's password; none: encrypted keys cannot be used.
    TPasswordProvider passwords;
    // The local wall-clock time every message is stamped with; empty: the system's clock.
    std::function<QDateTime()> clock;
    THttpLimits httpLimits;
    // The identifier counter's value before the first message, and the GUID source (empty: random).
    quint32 lastIdSuffix = 0;
    std::function<QUuid()> guids;
};

// Everything one run of a program works from, made once in its main and handed down: the data
// folder, the settings file and its settings, the key store with the password source, the HTTP
// client, the clock and the identifier source. The exchange journal joins them here.
class Session final {
  public:
    // Finds the folders and files by the options; nothing is read or made on disk.
    explicit Session(SessionOptions options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const QString& dataFolder() const { return dataFolder_; }
    // True when the data folder was named on the command line rather than found.
    bool dataFolderGiven() const { return !options_.dataOption.isEmpty(); }
    const QString& settingsFile() const { return settingsFile_; }
    // The window's place, size and last data tab, beside the settings file.
    const QString& windowStateFile() const { return windowStateFile_; }
    // Empty when requests and replies are not kept.
    const QString& debugFolder() const { return debugFolder_; }

    const KeyStore& keyStore() const { return keyStore_; }
    THttpClient& http() { return *http_; }
    QDateTime now() const { return clock_(); }
    const std::function<QDateTime()>& clock() const { return clock_; }
    IdentifierSource& identifiers() { return *identifiers_; }

    // The settings as last read or written.
    const ClientSettings& settings() const { return settings_; }
    // Reads the settings file (the defaults when there is none). What the operator must be told of a
    // damaged file that was read all the same goes to `damage`, the lines that could not be used to
    // `problems`. Raises Exception when it cannot be read.
    const ClientSettings& readSettings(QString* damage = nullptr, QStringList* problems = nullptr);
    // Replaces the settings file with these settings.
    void writeSettings(const ClientSettings& settings);

    // Opens the data folder's exchange journal, once; later calls only repeat what the first said.
    // Returns what the operator is told at start: how many exchanges of programs that ended while
    // sending are now of unknown outcome, or why the journal cannot be used (then nothing is sent).
    QString openJournal();
    // Nothing until opened, or when it could not be.
    Journal* journal() const { return journal_.get(); }

    // What an operation under these settings runs from; the journal is opened first.
    OperationInputs inputs(const ClientSettings& settings);

  private:
    SessionOptions options_;
    QString dataFolder_;
    QString settingsFile_;
    QString windowStateFile_;
    QString debugFolder_;
    KeyStore keyStore_;
    std::function<QDateTime()> clock_;
    std::unique_ptr<THttpClient> http_;
    std::unique_ptr<IdentifierSource> identifiers_;
    ClientSettings settings_ = DefaultSettings();
    std::unique_ptr<Journal> journal_;
    std::optional<QString> journalNotice_;
    QString journalError_;
};
