#include "app/Application.h"

#include "app/Dialogs.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // The operation that raised it is over; the window carries on waiting for the operator.
        ShowException(std::current_exception());
        return false;
    }
}
