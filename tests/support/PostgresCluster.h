#pragma once

#include <QDir>
#include <QProcess>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

// A throwaway PostgreSQL cluster on a free loopback port, in a temporary folder, for one test run.
// As root the server runs as the user "postgres", as PostgreSQL demands. The binaries are taken from
// TOTEM_PG_BIN, else from the newest /usr/lib/postgresql/<version>/bin.
class PostgresCluster {
public:
    PostgresCluster() : m_bin(qEnvironmentVariable("TOTEM_PG_BIN")) {
        QDir versions("/usr/lib/postgresql");
        QStringList names = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        std::sort(names.begin(), names.end(),
                  [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
        for (const QString& name : names) {
            if (m_bin.isEmpty() && QFile::exists(versions.filePath(name + "/bin/pg_ctl"))) {
                m_bin = versions.filePath(name + "/bin");
            }
        }
        if (QTcpServer probe; probe.listen(QHostAddress::LocalHost, 0)) {
            m_port = probe.serverPort();  // closed again before the cluster takes it
        }
        if (m_bin.isEmpty()) {
            m_failure = "PostgreSQL binaries not found (set TOTEM_PG_BIN)";
        } else if (!m_dir.isValid() || m_port == 0) {
            m_failure = "no temporary folder or free port for PostgreSQL";
        } else if (initialise()) {
            start();
        }
    }
    ~PostgresCluster() { stop(); }

    // Empty when the cluster runs; otherwise why it could not start (the tests skip with this reason).
    QString failure() const { return m_failure; }
    int port() const { return m_port; }
    // "postgresql://totem@127.0.0.1:<port>/<database>"
    QString url(const QString& database) const {
        return QString("postgresql://totem@127.0.0.1:%1/%2").arg(m_port).arg(database);
    }
    bool createDatabase(const QString& name) {
        return run("createdb", {"-h", "127.0.0.1", "-p", QString::number(m_port), "-U", "totem", name});
    }
    // Stops and starts the server, for tests of a database that goes away and comes back.
    bool stop() {
        m_running = m_running && !run("pg_ctl", {"-D", m_dir.filePath("data"), "-m", "fast", "-w", "stop"});
        return !m_running;
    }
    bool start() {
        const QString options =
            QString("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off").arg(m_port).arg(m_dir.path());
        m_running = run("pg_ctl", {"-D", m_dir.filePath("data"), "-o", options, "-l", m_dir.filePath("log"),
                                   "-w", "start"});
        if (m_running) {
            m_failure.clear();
        }
        return m_running;
    }
    // Stops every process of the cluster where it is (SIGSTOP), or lets them go on: a server that answers
    // nothing, not even a cancel. Its children lead sessions of their own: they are found by their parent.
    bool freeze(bool frozen) {
        QFile pidFile(m_dir.filePath("data/postmaster.pid"));
        const pid_t postmaster = pidFile.open(QIODevice::ReadOnly) ? pidFile.readLine().trimmed().toInt() : 0;
        QList<pid_t> cluster{postmaster};
        for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
            QFile stat("/proc/" + entry + "/stat");
            // "pid (name) state ppid ...": the parent is two fields past the closing parenthesis.
            const QByteArray fields = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
            if (fields.mid(fields.lastIndexOf(')') + 2).split(' ').value(1).toInt() == postmaster) {
                cluster.append(entry.toInt());
            }
        }
        return postmaster > 0 && std::all_of(cluster.begin(), cluster.end(), [frozen](pid_t pid) {
                   return ::kill(pid, frozen ? SIGSTOP : SIGCONT) == 0;
               });
    }

private:
    bool run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        // The tests run in a Brazilian locale that the system may not have installed; PostgreSQL refuses
        // those.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LC_ALL", "C");
        environment.insert("LANG", "C");
        process.setProcessEnvironment(environment);
        if (geteuid() == 0) {
            process.start("runuser", QStringList{"-u", "postgres", "--", m_bin + '/' + program} + arguments);
        } else {
            process.start(m_bin + '/' + program, arguments);
        }
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            m_failure = program + " failed: " + QString::fromLocal8Bit(process.readAll()).trimmed();
            return false;
        }
        return true;
    }

    bool initialise() {
        const passwd* postgres = geteuid() == 0 ? getpwnam("postgres") : nullptr;
        if (geteuid() == 0 && (postgres == nullptr || chown(QFile::encodeName(m_dir.path()).constData(),
                                                            postgres->pw_uid, postgres->pw_gid) != 0)) {
            m_failure = "running as root without a usable \"postgres\" user";
            return false;
        }
        return run("initdb", {"-D", m_dir.filePath("data"), "-A", "trust", "-U", "totem", "-E", "UTF8",
                              "--no-locale", "--no-sync"});
    }

    QTemporaryDir m_dir;
    QString m_bin;
    int m_port = 0;
    bool m_running = false;
    QString m_failure;
};
