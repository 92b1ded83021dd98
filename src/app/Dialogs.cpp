#include "app/Dialogs.h"

#include "foundation/Exceptions.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>

namespace {

class QtDialogs final : public IDialogs {
  public:
    std::optional<QString> askOpenFileName(const QString& fileName, const QString& filter) override
    {
        // The Qt open dialog only lets the operator pick a file that exists.
        const QString path = QFileDialog::getOpenFileName(QApplication::activeWindow(), QString(), fileName,
                                                          QtFileFilter(filter));
        return chosen(path);
    }

    std::optional<QString> askSaveFileName(const QString& fileName, const QString& filter) override
    {
        // The Qt save dialog confirms replacing an existing file unless told not to.
        const QString path = QFileDialog::getSaveFileName(QApplication::activeWindow(), QString(), fileName,
                                                          QtFileFilter(filter));
        return chosen(path);
    }

    void showWarning(const QString& text, const QString& caption) override
    {
        show(QMessageBox::Warning, text, caption, QMessageBox::Ok);
    }

    void showInfo(const QString& text, const QString& caption) override
    {
        show(QMessageBox::Information, text, caption, QMessageBox::Ok);
    }

    bool askYesNo(const QString& text, const QString& caption, bool defaultNo) override
    {
        return show(QMessageBox::Question, text, caption, QMessageBox::Yes | QMessageBox::No,
                    defaultNo ? QMessageBox::No : QMessageBox::NoButton) == QMessageBox::Yes;
    }

    void showError(const QString& text, const QString& caption) override
    {
        show(QMessageBox::Critical, text, caption, QMessageBox::Ok);
    }

  private:
    // A message box wraps its text at about 500 pixels, and a line such as "Идентификатор пакета: "
    // with a GUID after it is longer: the identifier was broken at a space or its hyphens. The
    // text is given the width of its longest line, as far as the message box's own limit (the
    // screen less room for the icon and margins) allows.
    static void KeepLinesWhole(QMessageBox& box, const QString& text)
    {
        auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        const QScreen* screen = box.screen();
        if (!label || !screen)
            return;
        int widest = 0;
        for (const QString& line : text.split(u'\n'))
            widest = qMax(widest, label->fontMetrics().horizontalAdvance(line) + 1);
        const int screenWidth = screen->availableGeometry().width();
        const int boxLimit = screenWidth <= 1024 ? screenWidth : qMin(screenWidth - 480, 1000);
        label->setMinimumWidth(qMin(widest, boxLimit * 3 / 4));
    }

    static std::optional<QString> chosen(const QString& path)
    {
        if (path.isEmpty())
            return std::nullopt;
        return path;
    }

    static int show(QMessageBox::Icon icon, const QString& text, const QString& caption,
                    QMessageBox::StandardButtons buttons,
                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
    {
        // Messages may break their lines with CR LF or with a carriage return alone; Qt breaks a
        // plain text only at a line feed.
        QString shown = text;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        QMessageBox box(icon, caption, shown, buttons, QApplication::activeWindow());
        box.setWindowModality(Qt::ApplicationModal);
        box.setTextFormat(Qt::PlainText);
        if (defaultButton != QMessageBox::NoButton)
            box.setDefaultButton(defaultButton);
        KeepLinesWhole(box, shown);
        return box.exec();
    }
};

QString captionOrTitle(const QString& caption)
{
    return caption.isEmpty() ? ApplicationTitle() : caption;
}

} // namespace

IDialogs& ScreenDialogs()
{
    // Stateless: every call puts up a dialog of its own.
    static QtDialogs screen;
    return screen;
}

IDialogs& DialogsOf(const QObject* context)
{
    for (const QObject* object = context; object; object = object->parent())
        if (const auto* owner = dynamic_cast<const DialogsOwner*>(object))
            return owner->dialogs();
    return ScreenDialogs();
}

QString ApplicationTitle()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString QtFileFilter(const QString& filter)
{
    if (!filter.contains(u'|'))
        return filter;
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList masks = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& mask : masks)
            mask = mask.trimmed();
        filters << parts[i] + QStringLiteral(" (") + masks.join(u' ') + u')';
    }
    return filters.join(QStringLiteral(";;"));
}

QString AskOpenFileName(IDialogs& dialogs, const QString& fileName, const QString& filter)
{
    const std::optional<QString> path = dialogs.askOpenFileName(fileName, filter);
    if (!path)
        throw EAbort();
    return *path;
}

QString AskSaveFileName(IDialogs& dialogs, const QString& fileName, const QString& filter)
{
    const std::optional<QString> path = dialogs.askSaveFileName(fileName, filter);
    if (!path)
        throw EAbort();
    return *path;
}

void ShowWarning(IDialogs& dialogs, const QString& text, const QString& caption)
{
    dialogs.showWarning(text, captionOrTitle(caption));
}

void ShowInfo(IDialogs& dialogs, const QString& text, const QString& caption)
{
    dialogs.showInfo(text, captionOrTitle(caption));
}

bool AskYesNo(IDialogs& dialogs, const QString& text, const QString& caption)
{
    return dialogs.askYesNo(text, captionOrTitle(caption), false);
}

bool AskYesNoDefaultNo(IDialogs& dialogs, const QString& text)
{
    return dialogs.askYesNo(text, captionOrTitle(QString()), true);
}

void ShowException(IDialogs& dialogs, const std::exception_ptr& error) noexcept
{
    if (!error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return;
    } catch (...) {
        // Every other error is shown below, in its own words.
    }
    try {
        dialogs.showError(ErrorText(error), ApplicationTitle());
    } catch (...) {
        // Nothing is left that could tell the operator; the error has to go unreported.
    }
}
