#include "app/WindowControls.h"

#include "foundation/Exceptions.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>

QWidget* WindowControls::control(const QString& name) const
{
    auto* control = root_.findChild<QWidget*>(name);
    if (!control)
        throw Exception(QStringLiteral("Нет поля <") + name + u'>');
    return control;
}

QString WindowControls::ControlText(const QString& name) const
{
    QWidget* control = this->control(name);
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return edit->text();
    if (auto* combo = qobject_cast<QComboBox*>(control))
        return combo->currentText();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) {
        // The raw text, since the plain-text view turns a non-breaking space into an ordinary one
        // and the operator's text must reach the file and the message as typed. A memo's lines are
        // separated by CR LF, as the messages have always carried them; a line broken with
        // Shift+Enter is a line like any other.
        QString text = memo->document()->toRawText();
        text.replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n');
        return text.replace(u'\n', QStringLiteral("\r\n"));
    }
    throw Exception(QStringLiteral("Поле <") + name + QStringLiteral("> не содержит текста"));
}

int WindowControls::ControlIndex(const QString& name) const
{
    if (auto* combo = qobject_cast<QComboBox*>(control(name)))
        return combo->currentIndex();
    throw Exception(QStringLiteral("Поле <") + name + QStringLiteral("> не является списком"));
}

Form WindowControls::snapshot() const
{
    Form form;
    const QList<QWidget*> controls = root_.findChildren<QWidget*>();
    for (QWidget* control : controls) {
        const QString name = control->objectName();
        if (name.isEmpty() || form.contains(name))
            continue;
        if (auto* combo = qobject_cast<QComboBox*>(control))
            form.set(name, combo->currentText(), combo->currentIndex());
        else if (qobject_cast<QLineEdit*>(control) || qobject_cast<QPlainTextEdit*>(control))
            form.set(name, ControlText(name));
    }
    return form;
}

void WindowControls::show(const Form& form) const
{
    for (auto it = form.fields().cbegin(); it != form.fields().cend(); ++it) {
        QWidget* control = this->control(it.key());
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setText(it->text);
        } else if (qobject_cast<QPlainTextEdit*>(control)) {
            SetMemoText(control, it->text);
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            if (combo->isEditable())
                combo->setEditText(it->text);
            else
                combo->setCurrentIndex(it->index);
        }
    }
}

void WindowControls::ResetViews(const QList<QWidget*>& controls)
{
    for (QWidget* control : controls) {
        if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) {
            memo->clear();
        } else if (auto* box = qobject_cast<QScrollArea*>(control)) {
            box->horizontalScrollBar()->setValue(0);
            box->verticalScrollBar()->setValue(0);
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            combo->clear();
        }
    }
}

void SetMemoText(QWidget* memo, const QString& text)
{
    if (auto* edit = qobject_cast<QPlainTextEdit*>(memo))
        edit->setPlainText(MemoText(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}
