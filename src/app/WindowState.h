#pragma once

#include <QString>

class QMainWindow;
class QTabWidget;
class QWidget;

// The window's place, size and last data tab, kept in the session's window-state file.
class WindowState final {
  public:
    explicit WindowState(QString fileName) : fileName_(std::move(fileName)) {}

    // Without a file the window opens maximized on the settings tab. A value that cannot be used
    // ends the restore without a word: the window then opens where and as it would have without it.
    void restore(QMainWindow& window, QTabWidget& pages, QWidget& settingsPage) const;
    // Replaces the file.
    void store(const QMainWindow& window, const QTabWidget& pages) const;

  private:
    QString fileName_;
};
