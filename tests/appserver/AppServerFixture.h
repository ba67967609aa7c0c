#pragma once

#include "server/DataPacket.h"
#include "server/WireFormat.h"
#include "support/PostgresCluster.h"
#include "support/ServerProcess.h"

#include <QDate>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <memory>

// A connection of the test's own to a database as the server is given it (a SQLite file or a PostgreSQL
// URL), to look behind the server's back or to hold a lock; closed, and any transaction rolled back, with
// the object.
class DirectConnection {
public:
    explicit DirectConnection(const QString& database)
        : m_name(QString::number(reinterpret_cast<quintptr>(this))) {
        const QUrl url(database);
        const bool postgres = url.scheme() == "postgresql";
        QSqlDatabase db = QSqlDatabase::addDatabase(postgres ? "QPSQL" : "QSQLITE", m_name);
        db.setDatabaseName(postgres ? url.path().mid(1) : database);
        db.setHostName(url.host());
        db.setPort(url.port());
        db.setUserName(url.userName());
        db.open();
    }
    ~DirectConnection() { QSqlDatabase::removeDatabase(m_name); }
    DirectConnection(const DirectConnection&) = delete;
    DirectConnection& operator=(const DirectConnection&) = delete;

    // Runs the statements in order; false at the first that fails.
    bool exec(const QStringList& statements) {
        QSqlQuery query(QSqlDatabase::database(m_name));
        return std::all_of(statements.begin(), statements.end(),
                           [&query](const QString& sql) { return query.exec(sql); });
    }
    // The first row's values, "/" after each; empty when the query fails.
    QString row(const QString& sql) {
        QSqlQuery query(QSqlDatabase::database(m_name));
        QString values;
        if (query.exec(sql) && query.next()) {
            for (int i = 0; i < query.record().count(); ++i) {
                values += query.value(i).toString() + '/';
            }
        }
        return values;
    }

private:
    QString m_name;
};

// The database engines the integration suites run on.
enum class Engine { Sqlite, Postgres };

// A demo database on the chosen engine and a real totem-server serving it. The demo year ends on
// DemoToday, so the values that docs/server.md lists for the scripted consumers hold in every run.
class AppServerFixture {
public:
    static inline const QDate DemoToday{2024, 5, 15};

    explicit AppServerFixture(Engine engine) {
        if (engine == Engine::Sqlite) {
            m_database = m_dir.filePath("demo.db");
        } else {
            m_cluster = std::make_unique<PostgresCluster>();
            m_postgresMissing = !m_cluster->failure().isEmpty();
            if (m_postgresMissing || !m_cluster->createDatabase("demo")) {
                m_failure =
                    (m_postgresMissing ? "PostgreSQL cannot start here: " : "") + m_cluster->failure();
                return;
            }
            m_database = m_cluster->url("demo");
        }
        m_failure = ServerProcess::createDemo(m_database, DemoToday);
        if (m_failure.isEmpty()) {
            startServer();
        }
    }

    // Empty when the server is up; otherwise the reason (a PostgreSQL that cannot start is a skip).
    QString failure() const { return m_failure; }
    bool postgresMissing() const { return m_postgresMissing; }
    // The SQLite file, or the PostgreSQL URL.
    QString database() const { return m_database; }
    PostgresCluster* cluster() { return m_cluster.get(); }
    // Starts (or restarts) the server on the demo database with extra options.
    bool startServer(const QStringList& extraOptions = {}) {
        m_server.reset();
        m_server = std::make_unique<ServerProcess>(QStringList{"--database", m_database, "--workers", "4"} +
                                                   extraOptions);
        m_failure = m_server->failure();
        return m_failure.isEmpty();
    }
    ServerProcess& server() { return *m_server; }
    void stopServer() { m_server.reset(); }

    // The answer of a call: the error text, a packet or the array of packets; an invalid QVariant when
    // the call failed at the protocol level (lastStatus says how).
    QVariant call(const QString& module, const QString& method, const QVariantList& arguments) {
        const ServerProcess::Reply reply = m_server->call(module, method, arguments);
        m_lastStatus = reply.status;
        return reply.status == 200 ? wire::decodeResult(reply.body) : QVariant();
    }
    int lastStatus() const { return m_lastStatus; }

    // Rows of the tables the methods read and a sum over the balances: equal before and after a call
    // means the call changed nothing.
    QString checksum() {
        return DirectConnection(m_database)
            .row(
                "SELECT (SELECT COUNT(*) FROM CONSUMIDOR), (SELECT COUNT(*) FROM VENDA), "
                "(SELECT COUNT(*) FROM ITVENDA), (SELECT COUNT(*) FROM MOVCLIE), "
                "(SELECT SUM(VRSALDOCONS) FROM MOVCLIE), (SELECT COUNT(*) FROM CAIXA)");
    }

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
inline QString dayText(int daysFromToday) {
    return AppServerFixture::DemoToday.addDays(daysFromToday).toString("dd/MM/yyyy");
}
// The same day as a date-time value at midnight, as getLoja and getProdutos take it.
inline QVariant dayMoment(int daysFromToday) {
    return AppServerFixture::DemoToday.addDays(daysFromToday).startOfDay();
}
// A field's value in a packet's row, by name.
inline QVariant cell(const DataPacket& packet, int row, const QString& field) {
    return packet.rows.value(row).value(packet.fieldIndex(field));
}
// One field's values down a packet, joined by "|".
inline QString column(const DataPacket& packet, const QString& field) {
    QStringList values;
    for (int row = 0; row < packet.rows.size(); ++row) {
        values.append(cell(packet, row, field).toString());
    }
    return values.join('|');
}
// The server's /fleet.json entries by terminal (branch and register).
inline QHash<QString, QJsonObject> fleetOf(const ServerProcess& server) {
    QHash<QString, QJsonObject> fleet;
    const QJsonDocument read = QJsonDocument::fromJson(server.get("/fleet.json").body);
    for (const QJsonValue entry : read["terminals"].toArray()) {
        fleet.insert(entry["branch"].toString() + entry["register"].toString(), entry.toObject());
    }
    return fleet;
}
