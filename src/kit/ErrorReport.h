#pragma once

#include <exception>
#include <functional>

// The application's standard error reporting. Qt does not carry exceptions through its event loop, so
// every event handler that can fail runs inside runGuarded: the silent abort passes without a word, any
// other failure is shown in a plain message box and written to standard error, and the kiosk goes on.
void runGuarded(const std::function<void()>& handler) noexcept;
void reportFailure(std::exception_ptr failure) noexcept;
