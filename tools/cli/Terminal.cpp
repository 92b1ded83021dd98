#include "Terminal.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <string>

bool IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) == 1;
}

std::optional<QString> AskHidden(const QString& prompt)
{
    if (!IsTerminal(stdin))
        return std::nullopt;
    std::fputs(prompt.toUtf8().constData(), stderr);
    std::fflush(stderr);
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios silent = saved;
    silent.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
    if (!read)
        return std::nullopt;
    return QString::fromStdString(line);
}
