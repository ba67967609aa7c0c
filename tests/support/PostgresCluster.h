#pragma once

#include <QString>
#include <QTemporaryDir>

// A throwaway PostgreSQL cluster on a free loopback port, in a temporary folder, for one test run.
// As root the server runs as the user "postgres", as PostgreSQL demands. The binaries are taken from
// TOTEM_PG_BIN, else from the newest /usr/lib/postgresql/<version>/bin.
class PostgresCluster {
public:
    PostgresCluster();
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    // Empty when the cluster runs; otherwise why it could not start (the tests skip with this reason).
    QString failure() const { return m_failure; }
    int port() const { return m_port; }
    // "postgresql://totem@127.0.0.1:<port>/<database>"
    QString url(const QString& database) const;
    bool createDatabase(const QString& name);
    // Stops and starts the server, for tests of a database that goes away and comes back.
    bool stop();
    bool start();
    // Stops every process of the cluster where it is (SIGSTOP), or lets them go on: a server that answers
    // nothing, not even a cancel.
    bool freeze(bool frozen);
    // Tables in the database's public schema; -1 when it cannot be read.
    int tableCount(const QString& database);

private:
    bool run(const QString& program, const QStringList& arguments, int timeoutMs = 60000);
    bool initialise();

    QTemporaryDir m_dir;
    QString m_bin;
    int m_port = 0;
    bool m_running = false;
    QString m_failure;
};
