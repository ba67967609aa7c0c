#pragma once

#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <type_traits>

// The application's standard error reporting. Qt does not carry exceptions through its event loop, so
// every event handler that can fail runs inside runGuarded: the silent abort passes without a word, any
// other failure is shown in a plain message box and written to standard error, and the kiosk goes on.
void runGuarded(const std::function<void()>& handler) noexcept;
void reportFailure(std::exception_ptr failure) noexcept;

// Connects a signal to a handler that runs inside runGuarded. The handler takes the signal's arguments, or
// none.
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection connectGuarded(const Sender* sender, Signal signal, const QObject* context,
                                       Handler handler) {
    return QObject::connect(sender, signal, context, [handler = std::move(handler)](auto&&... arguments) {
        runGuarded([&] {
            if constexpr (std::is_invocable_v<Handler&, decltype(arguments)...>) {
                handler(arguments...);
            } else {
                handler();
            }
        });
    });
}

// The kiosk cannot go on (its register is unknown, say): the reason is logged at error priority, and the
// program, once its main form has closed, ends with a non-zero status, so that its service manager starts
// it again and the journal says why.
void reportProgramEnd(const QString& reason) noexcept;
// 0, or 1 once reportProgramEnd has been called.
int programExitStatus();
