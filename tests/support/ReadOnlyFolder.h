#pragma once

#include <QString>

// Makes a folder refuse new files for as long as the object lives, and restores it afterwards.
// Permission bits alone do not stop the superuser (test containers often run as root), so there the
// folder is also marked immutable. `isReadOnly()` says whether it really took effect: a test that
// needs it skips with a reason rather than passing without checking anything.
class ReadOnlyFolder final {
  public:
    explicit ReadOnlyFolder(QString path);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool isReadOnly() const { return FReadOnly; }

  private:
    QString FPath;
    bool FImmutable = false;
    bool FReadOnly = false;
};
