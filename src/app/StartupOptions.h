#pragma once

#include "client/Session.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The window's command line and where it was started from. The settings, window-state and debug
// files sit in the data folder (see DataFolder.h): beside the executable for a portable copy, so a
// test that names an executable in a temporary folder holding "zelvan.ini" or "keys" keeps them there.
struct StartupOptions {
    QString executablePath; // full path of the executable
    QStringList arguments;  // the command line without the program name
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    static StartupOptions fromApplication();

    // The value of "--data DIR" (or "--data=DIR"), empty without the switch.
    QString dataOption() const;
    // The window's session: its files named after the executable, debug files with the debug
    // switch, passwords asked in a dialog.
    SessionOptions sessionOptions() const;
};

// True when an argument is "-" or "/" followed by `name`, in any letter case.
bool HasCommandLineSwitch(const QStringList& arguments, const QString& name);
