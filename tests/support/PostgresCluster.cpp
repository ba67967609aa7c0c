#include "support/PostgresCluster.h"

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

namespace {

QString findBinaries() {
    const QString configured = qEnvironmentVariable("TOTEM_PG_BIN");
    if (!configured.isEmpty()) {
        return configured;
    }
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList names = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& name : names) {
        const QString bin = versions.filePath(name + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/pg_ctl"))) {
            return bin;
        }
    }
    return {};
}

int freeLoopbackPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

}  // namespace

PostgresCluster::PostgresCluster() : m_bin(findBinaries()), m_port(freeLoopbackPort()) {
    if (m_bin.isEmpty()) {
        m_failure = QStringLiteral("PostgreSQL binaries not found (set TOTEM_PG_BIN)");
    } else if (!m_dir.isValid() || m_port == 0) {
        m_failure = QStringLiteral("no temporary folder or free port for PostgreSQL");
    } else if (initialise()) {
        start();
    }
}

PostgresCluster::~PostgresCluster() {
    stop();
}

bool PostgresCluster::run(const QString& program, const QStringList& arguments, int timeoutMs) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // The tests run in a Brazilian locale that the system may not have installed; PostgreSQL refuses those.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    if (geteuid() == 0) {
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"),
                                  m_bin + QLatin1Char('/') + program} +
                          arguments);
    } else {
        process.start(m_bin + QLatin1Char('/') + program, arguments);
    }
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        m_failure =
            QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAll()).trimmed());
        return false;
    }
    return true;
}

bool PostgresCluster::initialise() {
    if (geteuid() == 0) {
        const passwd* postgres = getpwnam("postgres");
        if (postgres == nullptr ||
            chown(QFile::encodeName(m_dir.path()).constData(), postgres->pw_uid, postgres->pw_gid) != 0) {
            m_failure = QStringLiteral("running as root without a usable \"postgres\" user");
            return false;
        }
    }
    return run(QStringLiteral("initdb"),
               {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-A"),
                QStringLiteral("trust"), QStringLiteral("-U"), QStringLiteral("totem"), QStringLiteral("-E"),
                QStringLiteral("UTF8"), QStringLiteral("--no-locale"), QStringLiteral("--no-sync")});
}

bool PostgresCluster::start() {
    const QString options = QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off")
                                .arg(m_port)
                                .arg(m_dir.path());
    m_running = run(QStringLiteral("pg_ctl"),
                    {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-o"),
                     options, QStringLiteral("-l"), m_dir.filePath(QStringLiteral("log")),
                     QStringLiteral("-w"), QStringLiteral("start")});
    if (m_running) {
        m_failure.clear();
    }
    return m_running;
}

bool PostgresCluster::stop() {
    if (!m_running) {
        return true;
    }
    m_running = !run(QStringLiteral("pg_ctl"),
                     {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
                      QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")});
    return !m_running;
}

QString PostgresCluster::url(const QString& database) const {
    return QStringLiteral("postgresql://totem@127.0.0.1:%1/%2").arg(m_port).arg(database);
}

bool PostgresCluster::createDatabase(const QString& name) {
    return run(QStringLiteral("createdb"),
               {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                QString::number(m_port), QStringLiteral("-U"), QStringLiteral("totem"), name});
}

bool PostgresCluster::freeze(bool frozen) {
    QFile pidFile(m_dir.filePath(QStringLiteral("data/postmaster.pid")));
    if (!pidFile.open(QIODevice::ReadOnly)) {
        return false;
    }
    const pid_t postmaster = pidFile.readLine().trimmed().toInt();
    QList<pid_t> cluster{postmaster};
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        // "pid (name) state ppid ...": the parent is the second field after the name's closing parenthesis.
        if (stat.open(QIODevice::ReadOnly)) {
            const QByteArray fields = stat.readAll();
            if (fields.mid(fields.lastIndexOf(')') + 2).split(' ').value(1).toInt() == postmaster) {
                cluster.append(entry.toInt());
            }
        }
    }
    return std::all_of(cluster.begin(), cluster.end(),
                       [frozen](pid_t pid) { return ::kill(pid, frozen ? SIGSTOP : SIGCONT) == 0; });
}

int PostgresCluster::tableCount(const QString& database) {
    const QString name = QStringLiteral("table-count");
    int count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(m_port);
        db.setUserName(QStringLiteral("totem"));
        db.setDatabaseName(database);
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT COUNT(*) FROM information_schema.tables "
                                                   "WHERE table_schema = 'public'")) &&
            query.next()) {
            count = query.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return count;
}
