#include "support/ServerProcess.h"

#include "support/ChildProcess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

ServerProcess::ServerProcess(const QStringList& arguments) : m_process(std::make_unique<QProcess>()) {
    tieToTest(*m_process);
    // Suites drive many consultations a second from one address; the look-up limit has a suite of its own
    // and turns it back on (the last value of an option wins).
    m_process->start(executable(), QStringList{"--port", "0", "--lookup-rate", "0"} + arguments);
    const QRegularExpression listening(QStringLiteral("listening on [^\\n]*:(\\d+)\\n"));
    QDeadlineTimer deadline(30000);
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
    m_client = std::make_unique<HttpClient>(HttpClient::Target{"127.0.0.1", m_port, {}}, limits);
}

ServerProcess::~ServerProcess() {
    m_client.reset();
    if (m_process->state() != QProcess::NotRunning && !terminate()) {
        m_process->kill();
        m_process->waitForFinished();
    }
}

QString ServerProcess::executable() {
    return QStringLiteral(TOTEM_SERVER_PATH);
}

ServerProcess::Run ServerProcess::run(const QStringList& arguments) {
    QProcess process;
    tieToTest(process);
    process.start(executable(), arguments);
    Run run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit) {
        run.status = process.exitCode();
    }
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString ServerProcess::createDemo(const QString& database, const QDate& today) {
    const QStringList arguments{QStringLiteral("--create-demo"), QStringLiteral("--database"), database,
                                QStringLiteral("--today"), today.toString(Qt::ISODate)};
    const Run ran = run(arguments);
    return ran.status == 0 ? QString() : arguments.join(u' ') + " failed: " + ran.output + ran.errors;
}
