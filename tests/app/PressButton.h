#pragma once

#include "TestWindow.h"

#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTest>

// Waits until the operation a press started has ended and its last message has been shown. The
// operations run off the window's thread; a test looks at the outcome only after this.
inline void WaitUntilIdle(TestWindow& window)
{
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.busy(); }, 120000)) << "the operation never ended";
}

enum class PressWait { untilIdle, no };

// Presses a button of the main window where the operator finds it: on its tab, scrolled into view,
// with a real mouse click, so an error that leaves the handler reaches the application's display.
// Unless told otherwise, returns once the operation the button started has ended.
inline void PressButton(TestWindow& window, const QString& name, PressWait wait = PressWait::untilIdle)
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
    if (wait == PressWait::untilIdle)
        WaitUntilIdle(window);
}
