#pragma once

#include "app/Dialogs.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <deque>
#include <optional>

// Stands in for the real dialogs of whatever it is given to: records what the operator would have
// been shown and answers with what the test scripted. A question nobody scripted fails the test and is
// answered with a cancel or a No.
class ScriptedDialogs final : public IDialogs {
  public:
    enum class Kind { Open, Save, Warning, Info, Question, Error };

    struct Shown {
        Kind kind;
        QString text;    // the message, or the proposed file name
        QString caption; // the caption, or the filter of a file dialog
        bool defaultNo = false;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // Answers for the next file dialog (nothing = cancel) and the next question.
    void answerFile(std::optional<QString> path) { FFiles.push_back(std::move(path)); }
    void answerYesNo(bool yes) { FAnswers.push_back(yes); }

    const QList<Shown>& shown() const { return FShown; }
    QList<Shown> shown(Kind kind) const;
    void clear() { FShown.clear(); }

    std::optional<QString> askOpenFileName(const QString& fileName, const QString& filter) override;
    std::optional<QString> askSaveFileName(const QString& fileName, const QString& filter) override;
    void showWarning(const QString& text, const QString& caption) override;
    void showInfo(const QString& text, const QString& caption) override;
    bool askYesNo(const QString& text, const QString& caption, bool defaultNo) override;
    void showError(const QString& text, const QString& caption) override;

  private:
    std::optional<QString> nextFile(Kind kind, const QString& fileName, const QString& filter);

    QList<Shown> FShown;
    std::deque<std::optional<QString>> FFiles;
    std::deque<bool> FAnswers;
};

// A window whose handlers and dialogs show what they show through the test's scripted dialogs.
class ScriptedOwner final : public QWidget, public DialogsOwner {
  public:
    explicit ScriptedOwner(ScriptedDialogs& dialogs) : FDialogs(dialogs) {}
    IDialogs& dialogs() const override { return FDialogs; }

  private:
    ScriptedDialogs& FDialogs;
};
