#pragma once

#include "app/Dialogs.h"

#include <QObject>
#include <QThread>

#include <exception>
#include <future>
#include <memory>
#include <utility>

// Runs a handler of the windows. Whatever error leaves it is caught here, where the handler
// starts, and shown through `dialogs` (the silent abort shows nothing): no exception crosses Qt's
// signal and event dispatch.
template <class Handler> void RunHandler(IDialogs& dialogs, Handler&& handler) noexcept
{
    try {
        handler();
    } catch (...) {
        ShowException(dialogs, std::current_exception());
    }
}

// Connects a signal to a handler run as above, its errors shown by the dialogs of the window
// `context` belongs to. Every connection of the windows goes through this.
template <class Sender, class Signal, class Handler>
QMetaObject::Connection ConnectHandler(Sender* sender, Signal signal, QObject* context, Handler handler)
{
    return QObject::connect(sender, signal, context, [context, handler = std::move(handler)] {
        RunHandler(DialogsOf(context), handler);
    });
}

// Runs `call` on the thread of `context` (the window's) and waits for it there. An error it raises
// is caught on that thread and raised again on the calling one, so nothing leaves through Qt's
// event dispatch. On the context's own thread the call simply runs.
template <class Call> void RunOnThreadOf(QObject* context, Call&& call)
{
    if (QThread::currentThread() == context->thread()) {
        call();
        return;
    }
    // A promise rather than a blocking connection: an event dropped with its receiver breaks the
    // promise (the caller gets an error) instead of leaving the caller waiting, and the wait is
    // one the thread sanitizer can follow.
    auto promise = std::make_shared<std::promise<void>>();
    std::future<void> done = promise->get_future();
    QMetaObject::invokeMethod(
        context,
        [&call, promise = std::move(promise)] {
            try {
                call();
                promise->set_value();
            } catch (...) {
                promise->set_exception(std::current_exception());
            }
        },
        Qt::QueuedConnection);
    done.get();
}
