#pragma once

#include <QStringList>

class QTextStream;

// zelvan-cli's journal commands; `arguments` start with the program's name, then "journal":
//   journal list [--from DATE] [--to DATE] [--operation NAME] [--outcome NAME] [--search TEXT]
//                [--format text|json|csv]
//   journal show ID [--request FILE] [--reply FILE]
//   journal check
//   journal archive --before DATE FILE
//   journal copy --to URI      (the data folder's file into a shared journal, each exchange once)
// each with [--data DIR] (the data folder, found as the other commands find it), on the journal the
// folder's settings name (JournalDatabase). Dates are local (yyyy-MM-dd, or a date and time); --to
// includes its whole day. Exit codes: 0 done, 1 the check
// found the journal damaged or could not open it, 2 bad usage or a journal that cannot be used.
int RunJournalCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);

// True when the arguments ask for a journal command.
bool IsJournalCommand(const QStringList& arguments);
