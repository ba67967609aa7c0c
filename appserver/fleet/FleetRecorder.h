#pragma once

#include "store/Database.h"
#include "fleet/Heartbeat.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// Keeps the fleet's table (TOTEM) up to date. Every request that names a terminal and every heartbeat
// update that terminal's record in memory; a thread of its own, with its own database connection, writes
// what changed every few seconds in one transaction, so thousands of kiosks cost a few statements a
// second. Several servers on one database share one view, and a restart loses a few seconds at most.
// A database that cannot be written (read only, out of reach) costs a warning and nothing else.
class FleetRecorder {
public:
    FleetRecorder(DatabaseSettings database, std::chrono::milliseconds writeEvery);
    // Writes what is left.
    ~FleetRecorder();
    FleetRecorder(const FleetRecorder&) = delete;
    FleetRecorder& operator=(const FleetRecorder&) = delete;

    // A request from the terminal; `consultation`: it looked up a consumer.
    void sighted(const QString& terminal, const QString& address, bool consultation);
    void heartbeat(const Heartbeat& beat, const QString& address);

private:
    struct Pending {
        QDateTime firstSeen;
        QDateTime lastSeen;
        QString address;
        QDate day;
        int consultations = 0;
        std::optional<Heartbeat> beat;
    };
    using Batch = QHash<QString, Pending>;

    Pending* pendingFor(const QString& terminal, const QString& address);
    void run(DatabaseSettings database);
    void write(Connection& db, const Batch& batch);
    void writeOne(Connection& db, const QString& terminal, const Pending& pending, bool mayInsert);

    std::chrono::milliseconds m_writeEvery;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    Batch m_pending;
    bool m_stopping = false;
    bool m_failing = false;  // the last write failed: its warning is given
    std::thread m_thread;
};
