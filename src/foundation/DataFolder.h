#pragma once

#include "foundation/Exceptions.h"

#include <QProcessEnvironment>
#include <QString>

// The operator's data folder could not be made or written; the message names the folder.
ZELVAN_DECLARE_EXCEPTION(EDataFolderException, Exception);

// The folder of the operator's own files: settings, window state, debug files and the key store.
// It never lies inside a build tree by default, so that a clean build cannot delete a private key.
// Chosen in this order:
// - `dataOption` (the `--data DIR` switch) when it is not empty, relative to the current folder;
// - `executableFolder` itself when it holds "zelvan.ini" or "keys" (a portable copy);
// - `$XDG_DATA_HOME/zelvan`, or `$HOME/.local/share/zelvan` when that variable is unset or not an
//   absolute path.
// Nothing is made or changed on disk.
QString LocateDataFolder(const QString& dataOption, const QString& executableFolder,
                         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// The key store inside a data folder.
QString DataKeyStorePath(const QString& dataFolder);

// Makes the data folder (mode 0700, its parents as usual) and its key store (0700) when they are
// missing, and proves that a file can be written into the folder. Existing folders keep their
// modes. Raises EDataFolderException naming the folder when it cannot be made or written; what was
// made for the probe is taken away again.
void PrepareDataFolder(const QString& dataFolder);

// Makes one folder readable by its owner only (mode 0700, its parents as usual); an existing folder is
// left as it is. Raises EDataFolderException naming the folder when it cannot be made.
void MakeOwnerOnlyFolder(const QString& path);

// The operator is warned when other users can look into the key store or read a private key in it.
// Empty when all is well (or when there is no key store yet); otherwise a Russian text naming what
// is open to others. The store stays usable; the caller shows the text once per start.
QString KeyStoreExposureWarning(const QString& dataFolder);
