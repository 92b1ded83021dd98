#pragma once

// A full disk without root: a limit on the size of the files a process writes. SIGXFSZ is
// ignored, so a write past the limit fails with EFBIG ("File too large") as it would on a full
// disk, instead of killing the process.

#include <QProcess>

#include <sys/resource.h>

// Lowers this process's limit while the object lives. Only the soft limit changes, so the old
// one can be restored without privileges.
class ScopedFileSizeLimit final {
  public:
    explicit ScopedFileSizeLimit(rlim_t bytes);
    ~ScopedFileSizeLimit();
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

  private:
    rlimit FSaved{};
    void (*FSavedHandler)(int) = nullptr;
};

// The same limit for a program the test starts, set in the child before it runs.
void LimitFileSize(QProcess& process, rlim_t bytes);
