#pragma once

#include <QByteArray>
#include <QDate>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include "server/HttpClient.h"

#include <memory>

// The real totem-server executable, started on a free loopback port for one test class, and an HTTP
// client to it. The executable's path comes from the compile definition TOTEM_SERVER_PATH.
class ServerProcess {
public:
    struct Reply {
        int status = 0;  // 0: no answer at all
        QByteArray body;
    };

    explicit ServerProcess(const QStringList& arguments);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Empty when the server listens; otherwise what went wrong, with its standard error.
    QString failure() const { return m_failure; }
    int port() const { return m_port; }
    qint64 processId() const { return m_process->processId(); }

    Reply get(const QString& path, const HttpClient::Headers& headers = {}) const;
    Reply post(const QString& path, const QByteArray& body, HttpClient::Headers headers = {}) const;
    // POST /modules/<module>/<method> with the arguments encoded by the wire format.
    Reply call(const QString& module, const QString& method, const QVariantList& arguments) const;

    // SIGTERM, then waits for the exit; true when the server ended by itself with status 0.
    bool terminate(int timeoutMs = 15000);
    // Everything the server wrote on standard output (the access log) and standard error so far.
    QString output();
    QString errors();
    // Drops what the server wrote to standard output so far: a long run would otherwise keep its whole access
    // log in memory.
    void discardOutput();

    // Runs totem-server --create-demo for the database, with the demo year ending on `today`; empty when it
    // worked, otherwise its output.
    static QString createDemo(const QString& database, const QDate& today);
    // Runs totem-server --create-schema for the database; the same.
    static QString createSchema(const QString& database);
    static QString executable();

private:
    static QString runToEnd(const QStringList& arguments);

    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<HttpClient> m_client;
    QString m_failure;
    QString m_output;
    QString m_errors;
    int m_port = 0;
};
