#include "support/ServerProcess.h"

#include "server/WireFormat.h"
#include "support/ChildProcess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

namespace {

constexpr int StartTimeoutMs = 30000;

ServerProcess::Reply replyOf(const HttpClient::Exchange& exchange) {
    return {exchange.status, exchange.body};
}

}  // namespace

ServerProcess::ServerProcess(const QStringList& arguments) : m_process(std::make_unique<QProcess>()) {
    tieToTest(*m_process);
    // Suites drive many consultations a second from one address; the look-up limit has a suite of its own
    // and turns it back on (the last value of an option wins).
    m_process->start(executable(), QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                                               QStringLiteral("--lookup-rate"), QStringLiteral("0")} +
                                       arguments);
    const QRegularExpression listening(QStringLiteral("listening on [^\\n]*:(\\d+)\\n"));
    QDeadlineTimer deadline(StartTimeoutMs);
    while (!deadline.hasExpired() && m_process->state() != QProcess::NotRunning) {
        m_process->waitForReadyRead(100);
        m_output += QString::fromUtf8(m_process->readAllStandardOutput());
        if (const QRegularExpressionMatch match = listening.match(m_output); match.hasMatch()) {
            m_port = match.captured(1).toInt();
            break;
        }
    }
    if (m_port == 0) {
        m_failure = QStringLiteral("totem-server did not start: %1").arg(errors());
        return;
    }
    HttpClient::Limits limits;
    limits.connectTimeout = std::chrono::seconds(5);
    limits.answerTimeout = std::chrono::seconds(30);
    m_client = std::make_unique<HttpClient>(HttpClient::Target{QStringLiteral("127.0.0.1"), m_port, {}}, limits);
}

ServerProcess::~ServerProcess() {
    m_client.reset();
    if (m_process->state() != QProcess::NotRunning && !terminate()) {
        m_process->kill();
        m_process->waitForFinished();
    }
}

ServerProcess::Reply ServerProcess::get(const QString& path, const HttpClient::Headers& headers) const {
    return replyOf(m_client->get(path, headers));
}

ServerProcess::Reply ServerProcess::post(const QString& path, const QByteArray& body,
                                         HttpClient::Headers headers) const {
    headers.append(qMakePair(QByteArray("Content-Type"), QByteArray(wire::ContentType)));
    return replyOf(m_client->post(path, body, headers));
}

ServerProcess::Reply ServerProcess::call(const QString& module, const QString& method,
                                         const QVariantList& arguments) const {
    return post(QStringLiteral("/modules/%1/%2").arg(module, method), wire::encodeCall(arguments));
}

bool ServerProcess::terminate(int timeoutMs) {
    m_process->terminate();
    const bool ended = m_process->waitForFinished(timeoutMs);
    return ended && m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
}

QString ServerProcess::output() {
    m_output += QString::fromUtf8(m_process->readAllStandardOutput());
    return m_output;
}

void ServerProcess::discardOutput() {
    m_process->readAllStandardOutput();
    m_output.clear();
}

QString ServerProcess::errors() {
    m_errors += QString::fromUtf8(m_process->readAllStandardError());
    return m_errors;
}

QString ServerProcess::executable() {
    return QStringLiteral(TOTEM_SERVER_PATH);
}

QString ServerProcess::runToEnd(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    tieToTest(process);
    process.start(executable(), arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        return QStringLiteral("%1 failed: %2").arg(arguments.join(u' '), QString::fromUtf8(process.readAll()));
    }
    return {};
}

QString ServerProcess::createDemo(const QString& database, const QDate& today) {
    return runToEnd({QStringLiteral("--create-demo"), QStringLiteral("--database"), database,
                     QStringLiteral("--today"), today.toString(Qt::ISODate)});
}

QString ServerProcess::createSchema(const QString& database) {
    return runToEnd({QStringLiteral("--create-schema"), QStringLiteral("--database"), database});
}
