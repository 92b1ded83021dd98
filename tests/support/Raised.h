#pragma once

#include <QString>

#include <utility>

// The message of the exception of class E that `call` raises, or "<not raised>" when it returns.
// Any other exception passes through, so the test reports it as it is.
template <class E, class F> QString Raised(F&& call)
{
    try {
        std::forward<F>(call)();
    } catch (const E& e) {
        return e.message();
    }
    return QStringLiteral("<not raised>");
}
