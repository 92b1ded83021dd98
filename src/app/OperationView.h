#pragma once

#include "client/Operations.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>

class IDialogs;
class QLabel;
class QPlainTextEdit;
class QStatusBar;
class QTimer;
class QWidget;

// What an operation reports, shown as the operator has always seen it: the status bar's third
// panel (with the seconds while an exchange runs and a busy pointer), the records in their memos,
// the identifiers in their fields, and the messages.
class OperationView final : public QObject, public OperationSink {
  public:
    // `fields` holds the controls an identifier goes into; the memos take the records.
    OperationView(QStatusBar& bar, QWidget& fields, QPlainTextEdit& charges, QPlainTextEdit& documents,
                  IDialogs& dialogs);
    ~OperationView() override;

    // Puts the text into the status bar's third panel; `repaint` shows it at once.
    void setStatus(const QString& text, bool repaint = false);
    // The busy pointer and the seconds go: the operation ended without telling so.
    void idle();

    void started(const QString& text) override;
    void record(TRecordTable table, qsizetype number, const QStringList& lines) override;
    void identifier(const QString& control, const QString& caption, const QString& value) override;
    void finished(const QString& result) override;
    void warning(const QString& text) override;
    void information(const QString& text) override;
    bool askFollowUp(const QString& question) override;
    bool confirmRepeat(const QString& question) override;

  private:
    void flushRecords();
    void showElapsedTime();

    QStatusBar& bar_;
    QWidget& fields_;
    QPlainTextEdit& charges_;
    QPlainTextEdit& documents_;
    IDialogs& dialogs_;
    std::array<QLabel*, 3> panels_{};
    bool busy_ = false;
    QString startText_;
    QElapsedTimer elapsed_;
    QTimer* elapsedTimer_ = nullptr;
    // The record blocks of the operation in progress, put into their memo in large pieces: a memo
    // takes one long text far more cheaply than many short ones.
    QPlainTextEdit* pendingMemo_ = nullptr;
    QString pendingRecords_;
};
