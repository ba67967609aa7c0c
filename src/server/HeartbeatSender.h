#pragma once

#include "server/HttpClient.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// What the kiosk tells the server about itself (docs/protocol.md, "Heartbeat"). Never a consumer's code,
// name or amount: states and the texts of error boxes only.
struct KioskReport {
    QString terminal;  // the terminal key: branch code and register code
    QString version;
    QString state;   // starting, waiting, statement, store-list, message, error or setup
    QString detail;  // the text of the error box shown; empty otherwise
    QDateTime since;  // when the kiosk began showing it
    int consultations = 0;  // statements opened since the start
    QString lastError;  // the text of the last error box shown
};

QByteArray encodeHeartbeat(const KioskReport& report);
// The server's period from its answer ({"period": seconds}); nullopt when the answer names none usable.
std::optional<std::chrono::seconds> heartbeatPeriodOf(const QByteArray& answer);

// Sends the kiosk's report to POST /fleet/heartbeat every period, and at once when asked, from a thread of
// its own with a connection of its own: the screen never waits for it. A failed send is dropped without a
// word and tried again sooner; the next one carries the news. The server's answer sets the period, so that one setting on the
// server paces every kiosk.
class HeartbeatSender {
public:
    static constexpr std::chrono::seconds DefaultPeriod{60};

    HeartbeatSender(HttpClient::Target server, KioskReport first);
    // Waits for a send in flight, which its deadline bounds.
    ~HeartbeatSender();
    HeartbeatSender(const HeartbeatSender&) = delete;
    HeartbeatSender& operator=(const HeartbeatSender&) = delete;

    // The report for the next send; `now`: send it without waiting for the period.
    void update(const KioskReport& report, bool now);

private:
    void run(HttpClient::Target server);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    KioskReport m_report;
    bool m_sendNow = true;  // at once after the start
    bool m_stopping = false;
    std::thread m_thread;
};
