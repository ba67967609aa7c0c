#pragma once

#include "server/HeartbeatSender.h"

#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class QDialog;
struct TerminalContext;

namespace platform {
class ServiceWatchdog;
}

// What the kiosk shows, followed through every modal show: the last dialog opened and not yet closed. It is
// told to the service manager (STATUS=) as it changes, and to the application server by the heartbeat, which
// starts once the consultation screen has named the terminal and is sent at once whenever an error box opens.
class KioskActivity {
public:
    // `terminal`: the shell's context, which names the terminal once the consultation screen is created.
    KioskActivity(const platform::ServiceWatchdog& watchdog, const TerminalContext& terminal);
    ~KioskActivity();
    KioskActivity(const KioskActivity&) = delete;
    KioskActivity& operator=(const KioskActivity&) = delete;

private:
    struct Shown {
        QPointer<QDialog> dialog;
        QString state;
        QString detail;
    };

    void modalShown(QDialog& dialog, bool open);
    void enter(const QString& state, const QString& detail);
    void startHeartbeat();

    const platform::ServiceWatchdog& m_watchdog;
    const TerminalContext& m_terminal;
    std::vector<Shown> m_shown;
    KioskReport m_report;
    std::unique_ptr<HeartbeatSender> m_heartbeat;
};
