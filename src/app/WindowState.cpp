#include "app/WindowState.h"

#include "foundation/KeyValueFile.h"

#include <QFileInfo>
#include <QMainWindow>
#include <QTabWidget>

namespace {

// The data tabs the window remembers, by the name in the window-state file. The payment tab is
// where an unknown name leads, so it needs no name of its own.
struct RememberedPage {
    const char* name;
    const char* page; // the tab's object name
};

const RememberedPage RememberedPages[] = {
    {"GISGMPCharges", "tsGISGMPCharges"},
    {"GISGKXPayment", "tsGISGKXPayment"},
    {"GISGKXCharges", "tsGISGKXCharges"},
};

} // namespace

void WindowState::restore(QMainWindow& window, QTabWidget& pages, QWidget& settingsPage) const
{
    if (!QFileInfo::exists(fileName_)) {
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
        pages.setCurrentWidget(&settingsPage);
        return;
    }
    const QStringList lines = ReadKeyValueFile(fileName_);

    if (KeyValue(lines, QStringLiteral("WindowState")) == u"Maximized") {
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    } else {
        int bounds[4] = {};
        const char* const keys[4] = {"Left", "Top", "Width", "Height"};
        for (int i = 0; i < 4; ++i) {
            bool ok = false;
            bounds[i] = KeyValue(lines, QLatin1String(keys[i])).toInt(&ok, 10);
            if (!ok)
                return;
        }
        window.move(bounds[0], bounds[1]);
        window.resize(bounds[2], bounds[3]);
    }

    const QString activePage = KeyValue(lines, QStringLiteral("ActivePage"));
    QWidget* page = pages.findChild<QWidget*>(QStringLiteral("tsGISGMPPayment"));
    for (const RememberedPage& remembered : RememberedPages)
        if (activePage == QLatin1String(remembered.name))
            page = pages.findChild<QWidget*>(QLatin1String(remembered.page));
    pages.setCurrentWidget(page);
}

void WindowState::store(const QMainWindow& window, const QTabWidget& pages) const
{
    QStringList lines;
    if (window.isMaximized()) {
        lines << QStringLiteral("WindowState=Maximized");
    } else {
        lines << QStringLiteral("Left=%1").arg(window.x()) << QStringLiteral("Top=%1").arg(window.y())
              << QStringLiteral("Width=%1").arg(window.width())
              << QStringLiteral("Height=%1").arg(window.height());
    }
    for (const RememberedPage& remembered : RememberedPages)
        if (pages.currentWidget()->objectName() == QLatin1String(remembered.page))
            lines << QStringLiteral("ActivePage=") + QLatin1String(remembered.name);
    WriteKeyValueFile(fileName_, lines);
}
