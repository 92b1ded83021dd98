#pragma once

#include <QString>

class QObject;

#include <exception>
#include <optional>

// Everything the window asks the operator or shows to them passes through this seam, so that a
// test can answer the questions and see what would have been shown. The free functions below are
// what the window calls; the seam only puts the question on screen.
class IDialogs {
  public:
    virtual ~IDialogs() = default;

    // The chosen path, or nothing when the operator cancels.
    virtual std::optional<QString> askOpenFileName(const QString& fileName, const QString& filter) = 0;
    virtual std::optional<QString> askSaveFileName(const QString& fileName, const QString& filter) = 0;

    virtual void showWarning(const QString& text, const QString& caption) = 0;
    virtual void showInfo(const QString& text, const QString& caption) = 0;
    // `defaultNo`: «Нет» is the button Enter presses, for a question whose Yes cannot be undone.
    virtual bool askYesNo(const QString& text, const QString& caption, bool defaultNo) = 0;
    virtual void showError(const QString& text, const QString& caption) = 0;
};

// The dialogs on the screen.
IDialogs& ScreenDialogs();

// A window that shows its questions and errors through the dialogs it was given (a test gives
// it scripted ones).
class DialogsOwner {
  public:
    virtual IDialogs& dialogs() const = 0;

  protected:
    ~DialogsOwner() = default;
};

// The dialogs of the window `context` belongs to; the screen's outside any such window.
IDialogs& DialogsOf(const QObject* context);

// The executable's file name without its extension: the caption of every message box.
QString ApplicationTitle();

// A filter of the form "Description|*.a;*.b|Description|*.c" in the form the Qt file dialogs take.
QString QtFileFilter(const QString& filter);

// Asks for an existing file, proposing `fileName`; a cancel ends the calling operation with the
// silent abort.
QString AskOpenFileName(IDialogs& dialogs, const QString& fileName, const QString& filter);

// Asks for a file to write, proposing `fileName`; replacing an existing file is confirmed by the
// operator first. A cancel ends the calling operation with the silent abort.
QString AskSaveFileName(IDialogs& dialogs, const QString& fileName, const QString& filter);

// Message boxes, modal for the whole application; an empty caption means the application title.
void ShowWarning(IDialogs& dialogs, const QString& text, const QString& caption = QString());
void ShowInfo(IDialogs& dialogs, const QString& text, const QString& caption = QString());
bool AskYesNo(IDialogs& dialogs, const QString& text, const QString& caption = QString());
// The same with «Нет» as the default button.
bool AskYesNoDefaultNo(IDialogs& dialogs, const QString& text);

// The application's error display: the error's own message under the application title. The
// silent abort shows nothing. Never throws.
void ShowException(IDialogs& dialogs, const std::exception_ptr& error) noexcept;
