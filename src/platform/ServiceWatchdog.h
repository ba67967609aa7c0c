#pragma once

#include <QString>

#include <memory>

namespace platform {

// Tells the service manager that the kiosk is up and that its event loop still turns, so that a frozen
// screen is restarted like a crashed one. Under systemd (NOTIFY_SOCKET and WATCHDOG_USEC in the
// environment) it sends "READY=1" once the event loop runs and "WATCHDOG=1" every half watchdog period
// from a timer of the thread that creates it, which must be the GUI thread: a blocked GUI thread stops
// the feeding. Without those variables, and on Windows, it does nothing.
class ServiceWatchdog {
public:
    ServiceWatchdog();
    ~ServiceWatchdog();
    ServiceWatchdog(const ServiceWatchdog&) = delete;
    ServiceWatchdog& operator=(const ServiceWatchdog&) = delete;

    // Whether a service manager is being fed.
    bool active() const;
    // What the kiosk shows, for `systemctl status`; one line.
    void status(const QString& text) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
