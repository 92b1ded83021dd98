#pragma once

#include "TestWindow.h"

#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTest>

// Presses a button of the main window where the operator finds it: on its tab, scrolled into view,
// with a real mouse click, so an error that leaves the handler reaches the application's display.
inline void PressButton(TestWindow& window, const QString& name)
{
    auto* button = window.control<QPushButton>(name);
    if (!button)
        return;
    window->show();
    auto* tabs = window.control<QTabWidget>(QStringLiteral("pcMain"));
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->widget(i)->isAncestorOf(button))
            tabs->setCurrentIndex(i);
    for (QWidget* w = button->parentWidget(); w; w = w->parentWidget())
        if (auto* box = qobject_cast<QScrollArea*>(w))
            box->ensureWidgetVisible(button);
    QTest::mouseClick(button, Qt::LeftButton);
}
