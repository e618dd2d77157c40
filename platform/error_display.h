#pragma once

// The application error display and the one wrapper through which every
// handler is connected. An exception that leaves a handler is shown in a
// message box under the application title (stop icon, OK), the rest of that
// handler is skipped and the program goes on: no exception ever reaches Qt's
// event loop. User-interface thread only.

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

#include <QObject>
#include <QString>

namespace platform {

// The text the display shows for an error message: the message with "." added
// when its last character sorts after "." (letters and digits do; "!", ")" and
// "." itself do not).
QString ErrorDisplayText(const QString &message);

// Shows the message box for `message` and returns when the user has closed it.
// The title is the application title (QGuiApplication::applicationDisplayName).
void ShowError(const QString &message);

// Shows the message of the exception in flight; call from a catch block only.
void ShowCurrentException();

// Runs `fn` and shows any exception that leaves it.
template <typename Fn> void RunGuarded(Fn &&fn) noexcept {
    try {
        std::forward<Fn>(fn)();
    } catch (...) {
        ShowCurrentException();
    }
}

// Calls `fn` with the signal's arguments when it takes them, else with none.
template <typename Fn, typename... Args> void InvokeHandler(Fn &fn, Args &&...args) {
    if constexpr (std::is_invocable_v<Fn &, Args...>)
        std::invoke(fn, std::forward<Args>(args)...);
    else
        std::invoke(fn);
}

// `fn` wrapped so that an exception leaving it is shown by the error display.
template <typename Fn> auto Guarded(Fn fn) {
    return [fn = std::move(fn)](auto &&...args) mutable noexcept {
        RunGuarded([&] { InvokeHandler(fn, std::forward<decltype(args)>(args)...); });
    };
}

// Connects `signal` of `sender` to `handler`, guarded: a callable, or a member
// function of `context` (called with the signal's arguments when it takes
// them). `context` ends the connection when it is destroyed.
template <typename Sender, typename Signal, typename Context, typename Handler>
QMetaObject::Connection ConnectHandler(Sender *sender, Signal signal, Context *context,
                                       Handler handler) {
    if constexpr (std::is_member_function_pointer_v<Handler>) {
        return QObject::connect(
            sender, signal, context, Guarded([context, handler](auto &&...args) {
                if constexpr (std::is_invocable_v<Handler, Context *, decltype(args)...>)
                    (context->*handler)(std::forward<decltype(args)>(args)...);
                else
                    (context->*handler)();
            }));
    } else {
        return QObject::connect(sender, signal, context, Guarded(std::move(handler)));
    }
}

} // namespace platform
