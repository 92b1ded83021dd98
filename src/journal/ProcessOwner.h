#pragma once

#include <QString>

// The process that wrote a row still being sent. Another program on the same journal (the window
// and zelvan-cli at once) may be in the middle of a send: its rows must be left alone, and only
// those of a process that is gone are turned into `unknown`.
struct ProcessOwner {
    QString host;
    QString bootId; // a process id means nothing across a restart of the machine
    qint64 pid = 0;
    qint64 startTicks = 0; // tells a process apart from a later one given the same id
};

ProcessOwner CurrentProcessOwner();

// True only when the owner is known to be gone: on this host, from an earlier boot, or its process
// id no longer names the process that started then. A process of another host may be alive.
bool OwnerIsGone(const ProcessOwner& owner, const ProcessOwner& self);

// The user the program runs as, for the rows it writes.
QString CurrentUserName();
