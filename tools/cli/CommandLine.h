#pragma once

#include "client/Session.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <optional>

class QTextStream;

// The exit codes of zelvan-cli.
enum class ExitCode {
    success = 0,   // every request succeeded
    refused = 1,   // a state system refused a request or answered with a fault
    badInput = 2,  // usage, an unreadable file, a value that does not convert, an unknown value
    transport = 3, // no connection, a time-out, an HTTP error, the time-stamp server
    keys = 4,      // the key container or the signature
    repeat = 5,    // the journal shows the payment or order as sent before; --allow-repeat sends it
};

// Where the program writes and how it asks.
struct CommandLineStreams {
    QTextStream* out = nullptr;
    QTextStream* err = nullptr;
    // Progress ("2/15 file") is written to the error stream only for a person watching it.
    bool progress = false;
    // Asks for a container's password without showing it; nothing when no one can answer.
    std::function<std::optional<QString>(const QString& prompt)> askPassword;

    // The process's standard output and error, and the terminal.
    static CommandLineStreams standard();
};

// What an error of an operation or of the command line means for a script.
ExitCode ExitCodeOf(const std::exception_ptr& error);

// One field file for the command line's one-request path, sent as `zelvan-cli OPERATION --fields
// FILE --format json` sends it.
struct FieldFileRequest {
    Operation operation = Operation::Payment;
    QString file;
    // The file's first line names the operation and is not one of its fields.
    bool operationLine = false;
    // The journal's run of the file's exchanges (OperationInputs::runId).
    QString runId;
};

struct SentFieldFile {
    QJsonArray json;          // what --format json prints for the file
    std::exception_ptr error; // null when it went through
};

// Runs `zelvan-cli OPERATION [options]`; `arguments` start with the program's name. The session is
// made from `session` (its clock, identifiers and HTTP limits) with the folders and files the
// arguments name.
int RunCommandLine(const QStringList& arguments, const CommandLineStreams& streams,
                   SessionOptions session = {});
