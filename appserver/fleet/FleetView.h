#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <chrono>

class Connection;

// The fleet as an operator sees it: every register of CAIXA, seen or not, and every kiosk seen whose
// register CAIXA does not know.
struct FleetEntry {
    QString branch;
    QString registerCode;
    QString name;  // CAIXA's name; empty for a register it does not know
    bool known = false;  // in CAIXA
    bool seen = false;
    QDateTime lastSeen;  // UTC
    QString address;
    QString version;
    QString state;  // as the last heartbeat said; empty before any
    QString detail;
    QDateTime stateSince;  // UTC
    QString lastError;
    int consultationsToday = 0;
    bool stale = false;  // not heard from for more than three heartbeats
    bool stuck = false;  // on an error box for more than five minutes

    bool needsLook() const { return stale || stuck || (seen && !known); }
};

struct FleetCounts {
    int seenRecently = 0;  // in the last five minutes
    int stale = 0;
    int onErrorBox = 0;
    int stuck = 0;  // on an error box for more than five minutes
    int unknownRegisters = 0;
};

// Reads the fleet at `now`, those that need a look first. Raises StoreError.
QList<FleetEntry> readFleet(Connection& db, const QDateTime& now, std::chrono::seconds heartbeatPeriod);
FleetCounts countFleet(const QList<FleetEntry>& fleet, const QDateTime& now);

// GET /fleet.json and GET /fleet: the same entries, as data and as a page that refreshes itself.
QByteArray fleetJson(const QList<FleetEntry>& fleet, const QDateTime& now);
QByteArray fleetPage(const QList<FleetEntry>& fleet, const QDateTime& now);
