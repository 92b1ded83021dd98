#include "FileSizeLimit.h"

#include <csignal>
#include <stdexcept>

namespace {

void Lower(rlim_t bytes, rlimit* saved)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::runtime_error("getrlimit(RLIMIT_FSIZE) failed");
    if (saved)
        *saved = limit;
    limit.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::runtime_error("setrlimit(RLIMIT_FSIZE) failed");
}

} // namespace

ScopedFileSizeLimit::ScopedFileSizeLimit(rlim_t bytes)
{
    Lower(bytes, &FSaved);
    FSavedHandler = std::signal(SIGXFSZ, SIG_IGN);
}

ScopedFileSizeLimit::~ScopedFileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &FSaved);
    std::signal(SIGXFSZ, FSavedHandler);
}

void LimitFileSize(QProcess& process, rlim_t bytes)
{
    // Runs in the child between fork and exec: only calls that are safe there. An ignored signal
    // stays ignored across exec.
    process.setChildProcessModifier([bytes] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        if (::getrlimit(RLIMIT_FSIZE, &limit) == 0) {
            limit.rlim_cur = bytes;
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
    });
}
