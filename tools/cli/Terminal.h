#pragma once

#include <QString>

#include <cstdio>
#include <optional>

// True when the stream is a terminal a person reads.
bool IsTerminal(std::FILE* stream);

// Asks on the terminal with `prompt` and reads one line without echoing it; nothing when standard
// input is not a terminal or the reading ends before a line.
std::optional<QString> AskHidden(const QString& prompt);
