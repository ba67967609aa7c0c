#pragma once

#include "server/DataPacket.h"
#include "support/PostgresCluster.h"
#include "support/ServerProcess.h"

#include <QDate>
#include <QTemporaryDir>

#include <memory>

// The database engines the integration suites run on.
enum class Engine { Sqlite, Postgres };

// A demo database on the chosen engine and a real totem-server serving it. The demo year ends on
// DemoToday, so the values that docs/server.md lists for the scripted consumers hold in every run.
class AppServerFixture {
public:
    static inline const QDate DemoToday{2024, 5, 15};

    explicit AppServerFixture(Engine engine);
    // Empty when the server is up; otherwise the reason (a PostgreSQL that cannot start is a skip).
    QString failure() const { return m_failure; }
    bool postgresMissing() const { return m_postgresMissing; }
    QString database() const { return m_database; }
    PostgresCluster* cluster() { return m_cluster.get(); }
    // Starts (or restarts) the server on the demo database with extra options.
    bool startServer(const QStringList& extraOptions = {});
    ServerProcess& server() { return *m_server; }
    void stopServer() { m_server.reset(); }

    // The answer of a call: the error text, a packet or the array of packets; an invalid QVariant when
    // the call failed at the protocol level (lastStatus says how).
    QVariant call(const QString& module, const QString& method, const QVariantList& arguments);
    int lastStatus() const { return m_lastStatus; }

    // Rows of the tables the methods read and a sum over the balances: equal before and after a call
    // means the call changed nothing.
    QString checksum();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<PostgresCluster> m_cluster;
    std::unique_ptr<ServerProcess> m_server;
    QString m_database;
    QString m_failure;
    bool m_postgresMissing = false;
    int m_lastStatus = 0;
};

// At the start of a test: skips it where PostgreSQL cannot start on this machine, fails it where the server
// did not start.
#define REQUIRE_SERVER(fixture)                                                    \
    do {                                                                           \
        if ((fixture).postgresMissing()) {                                         \
            QSKIP(qPrintable((fixture).failure()));                                \
        }                                                                          \
        QVERIFY2((fixture).failure().isEmpty(), qPrintable((fixture).failure())); \
    } while (false)

// Short date text of the kiosk (dd/MM/yyyy) of a day counted from the demo's today.
QString dayText(int daysFromToday);
// The same day as a date-time value at midnight, as getLoja and getProdutos take it.
QVariant dayMoment(int daysFromToday);
// A field's value in a packet's row, by name.
QVariant cell(const DataPacket& packet, int row, const QString& field);
// One field's values down a packet, joined by "|".
QString column(const DataPacket& packet, const QString& field);
