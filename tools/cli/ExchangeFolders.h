#pragma once

// `zelvan-cli serve`: the exchange with a bank's own systems through folders. Field files moved into
// the inbox are sent one at a time, oldest first, through the command line's one-request path; each
// ends either in the outbox (its JSON and its reply, the input in outbox/done) or in the errors
// folder (the input and NAME.error.json), never in both and never lost.

#include "CommandLine.h"

#include <QProcessEnvironment>
#include <QString>

#include <chrono>
#include <functional>

class Journal;

struct ExchangeFolderOptions {
    QString inbox;
    QString outbox;
    QString errors;
    // The container's password on its first line; readable by its owner only.
    QString passwordFile;
    // Handle what the inbox holds and exit, instead of watching it until stopped.
    bool once = false;
    // How often an idle inbox is looked at.
    std::chrono::milliseconds scanInterval{500};
};

// The service's own settings file in a data folder (exchange.ini: Inbox, Outbox, Errors and
// PasswordFile, relative to the data folder), empty values when there is none. A file that cannot
// be read or holds an unknown key raises Exception.
ExchangeFolderOptions ReadExchangeFolderSettings(const QString& dataFolder);

// The password file the service reads: systemd's credential "zelvan-password" when the service
// manager passed one, else the settings' file. A file that other users can read or write is
// refused (Exception) before anything is read from it. Empty: no password file.
QString ServicePasswordFile(const ExchangeFolderOptions& options, const QProcessEnvironment& environment);

using FieldFileSender = std::function<SentFieldFile(const FieldFileRequest& request)>;

// Serves the folders until SIGTERM or SIGINT (after the file in flight), or with `once` until the
// inbox has been gone through. `send` records each file's exchanges in `journal` under the request's
// run, where a restart finds what became of a file. Returns the exit code: 0, or 2 when the folders
// or the journal are not usable, 3 when `once` left files in the inbox because the state system
// could not be reached, 4 when the key container cannot sign (the file stays in the inbox).
int RunExchangeFolders(const ExchangeFolderOptions& options, Journal& journal, const FieldFileSender& send,
                       const CommandLineStreams& streams);
