#pragma once

#include <QByteArray>
#include <QDate>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include "server/HttpClient.h"
#include "server/WireFormat.h"

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

    Reply get(const QString& path, const HttpClient::Headers& headers = {}) const {
        const HttpClient::Exchange answer = m_client->get(path, headers);
        return {answer.status, answer.body};
    }
    Reply post(const QString& path, const QByteArray& body, HttpClient::Headers headers = {}) const {
        headers.append(qMakePair(QByteArray("Content-Type"), QByteArray(wire::ContentType)));
        const HttpClient::Exchange answer = m_client->post(path, body, headers);
        return {answer.status, answer.body};
    }
    // POST /modules/<module>/<method> with the arguments encoded by the wire format.
    Reply call(const QString& module, const QString& method, const QVariantList& arguments) const {
        return post(QStringLiteral("/modules/%1/%2").arg(module, method), wire::encodeCall(arguments));
    }

    // SIGTERM, then waits for the exit; true when the server ended by itself with status 0.
    bool terminate(int timeoutMs = 15000) {
        m_process->terminate();
        const bool ended = m_process->waitForFinished(timeoutMs);
        return ended && m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
    }
    // Everything the server wrote on standard output (the access log) and standard error so far.
    QString output() { return m_output += QString::fromUtf8(m_process->readAllStandardOutput()); }
    QString errors() { return m_errors += QString::fromUtf8(m_process->readAllStandardError()); }
    // Drops the output so far, which a long run would otherwise keep whole.
    void discardOutput() {
        m_process->readAllStandardOutput();
        m_output.clear();
    }

    // A run of totem-server to its end: its exit status (-1: it did not end normally within two minutes) and
    // what it wrote.
    struct Run {
        int status = -1;
        QString output;
        QString errors;
    };
    static Run run(const QStringList& arguments);
    // Runs totem-server --create-demo for the database, with the demo year ending on `today`; empty when it
    // worked, otherwise what it wrote.
    static QString createDemo(const QString& database, const QDate& today);
    static QString executable();

private:
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<HttpClient> m_client;
    QString m_failure;
    QString m_output;
    QString m_errors;
    int m_port = 0;
};
