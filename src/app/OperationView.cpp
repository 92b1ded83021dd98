#include "app/OperationView.h"

#include "app/Dialogs.h"
#include "app/Handler.h"
#include "values/ResultDisplay.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <utility>

OperationView::OperationView(QStatusBar& bar, QWidget& fields, QPlainTextEdit& charges,
                             QPlainTextEdit& documents, IDialogs& dialogs)
    : bar_(bar), fields_(fields), charges_(charges), documents_(documents), dialogs_(dialogs)
{
    // Three panels; the last one takes the rest of the bar, since it carries the status texts.
    const std::array<int, 3> widths{100, 50, 50};
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        auto* panel = new QLabel(&bar);
        panel->setObjectName(QStringLiteral("sbMainPanel%1").arg(i + 1));
        panel->setTextFormat(Qt::PlainText);
        panel->setMinimumWidth(widths[i]);
        const bool last = i + 1 == panels_.size();
        if (!last)
            panel->setFixedWidth(widths[i]);
        bar.addWidget(panel, last ? 1 : 0);
        panels_[i] = panel;
    }
    elapsedTimer_ = new QTimer(this);
    elapsedTimer_->setInterval(1000);
    ConnectHandler(elapsedTimer_, &QTimer::timeout, this, [this] { showElapsedTime(); });
}

OperationView::~OperationView()
{
    idle();
}

void OperationView::setStatus(const QString& text, bool repaint)
{
    panels_[2]->setText(text);
    if (repaint)
        bar_.repaint();
}

void OperationView::idle()
{
    elapsedTimer_->stop();
    if (busy_)
        QApplication::restoreOverrideCursor();
    busy_ = false;
}

void OperationView::showElapsedTime()
{
    const qint64 seconds = (elapsed_.elapsed() + 500) / 1000;
    setStatus(startText_ + QStringLiteral(" %1 с").arg(seconds));
}

void OperationView::started(const QString& text)
{
    // A busy pointer, not a wait cursor: the window still answers, and "Отменить" can be pressed.
    if (!busy_)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    busy_ = true;
    setStatus(text, true);
    // The seconds are added to the start text while the exchange runs.
    startText_ = text;
    elapsed_.start();
    elapsedTimer_->start();
}

void OperationView::record(TRecordTable table, qsizetype number, const QStringList& lines)
{
    QPlainTextEdit* memo = nullptr;
    if (table == TRecordTable::rtCharges)
        memo = &charges_;
    else if (table == TRecordTable::rtPaymentDocuments)
        memo = &documents_;
    if (!memo)
        return;
    if (memo != pendingMemo_)
        flushRecords();
    pendingMemo_ = memo;
    // Blocks are separated by a line feed, the first one in an empty memo stands alone.
    if (!pendingRecords_.isEmpty() || !memo->document()->isEmpty())
        pendingRecords_ += u'\n';
    AppendRecordBlockText(pendingRecords_, number, lines);
    // Outside an operation nobody would flush later. The first records go in one by one: the
    // memo's scroll bar appears while it is short, and the narrower view makes it lay out every
    // block it holds anew. After them, a long reply goes in in large pieces.
    constexpr int FirstBlocks = 1000;
    constexpr qsizetype FlushLength = 256 * 1024;
    if (!busy_ || memo->document()->blockCount() < FirstBlocks || pendingRecords_.size() >= FlushLength)
        flushRecords();
}

void OperationView::flushRecords()
{
    QPlainTextEdit* memo = std::exchange(pendingMemo_, nullptr);
    const QString text = std::exchange(pendingRecords_, QString());
    if (!memo || text.isEmpty())
        return;
    // Inserted at the end, never re-set: the view stays where it is, on the first records unless
    // the operator scrolled. The records are no edit of the operator's to undo.
    QTextDocument* document = memo->document();
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    document->setUndoRedoEnabled(undo);
    // The memo shows or hides its scroll bar on a queued call; taken now, while it is short.
    QCoreApplication::sendPostedEvents(memo, QEvent::MetaCall);
}

void OperationView::identifier(const QString& control, const QString& /*caption*/, const QString& value)
{
    if (auto* edit = fields_.findChild<QLineEdit*>(control))
        edit->setText(value);
}

void OperationView::finished(const QString& result)
{
    flushRecords();
    // The busy pointer is taken back before anything is shown to the operator.
    idle();
    setStatus(result);
}

void OperationView::warning(const QString& text)
{
    ShowWarning(dialogs_, text);
}

void OperationView::information(const QString& text)
{
    ShowInfo(dialogs_, text);
}

bool OperationView::askFollowUp(const QString& question)
{
    return AskYesNo(dialogs_, question);
}

bool OperationView::confirmRepeat(const QString& question)
{
    return AskYesNoDefaultNo(dialogs_, question);
}
