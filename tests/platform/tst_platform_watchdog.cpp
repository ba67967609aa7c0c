#include <QByteArray>
#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstddef>
#include <cstring>

#include "platform/ServiceWatchdog.h"

using platform::ServiceWatchdog;

namespace {

// The service manager's end: a datagram socket bound to a path, or to an abstract name (one starting
// with '@').
class NotifyListener {
public:
    explicit NotifyListener(const QByteArray& name)
        : socket_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
        if (name.startsWith('@')) {
            address.sun_path[0] = '\0';
        }
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + static_cast<std::size_t>(name.size()));
        bound_ = socket_ >= 0 && ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    }
    ~NotifyListener() {
        if (socket_ >= 0) {
            ::close(socket_);
        }
    }
    NotifyListener(const NotifyListener&) = delete;
    NotifyListener& operator=(const NotifyListener&) = delete;

    bool bound() const { return bound_; }

    // Every message received so far; reading never waits, so QTRY_ can poll it while the event loop turns.
    const QStringList& messages() {
        char buffer[256];
        ssize_t size = 0;
        while ((size = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
            received_ << QString::fromUtf8(buffer, static_cast<qsizetype>(size));
        }
        return received_;
    }

private:
    int socket_;
    bool bound_ = false;
    QStringList received_;
};

// Points the process's environment at a manager for the length of a test.
class ManagedEnvironment {
public:
    ManagedEnvironment(const QByteArray& socket, const QByteArray& watchdogUsec) {
        qputenv("NOTIFY_SOCKET", socket);
        if (!watchdogUsec.isEmpty()) {
            qputenv("WATCHDOG_USEC", watchdogUsec);
        }
    }
    ~ManagedEnvironment() {
        qunsetenv("NOTIFY_SOCKET");
        qunsetenv("WATCHDOG_USEC");
    }
    ManagedEnvironment(const ManagedEnvironment&) = delete;
    ManagedEnvironment& operator=(const ManagedEnvironment&) = delete;
};

}  // namespace

class TestServiceWatchdog : public QObject {
    Q_OBJECT
private slots:

    void withoutManagerDoesNothing() {
        qunsetenv("NOTIFY_SOCKET");
        qunsetenv("WATCHDOG_USEC");
        const ServiceWatchdog watchdog;
        QVERIFY(!watchdog.active());
    }

    void pathSocketGetsReadyThenWatchdog() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QByteArray path = QDir(folder.path()).filePath(QStringLiteral("notify")).toLocal8Bit();
        NotifyListener manager(path);
        QVERIFY(manager.bound());
        const ManagedEnvironment environment(path, "200000");

        const ServiceWatchdog watchdog;
        QVERIFY(watchdog.active());
        QTRY_VERIFY(manager.messages().contains(QStringLiteral("READY=1")));
        QTRY_VERIFY(manager.messages().count(QStringLiteral("WATCHDOG=1")) >= 2);  // fed again and again
        QCOMPARE(manager.messages().first(), QStringLiteral("READY=1"));
        QCOMPARE(manager.messages().count(QStringLiteral("READY=1")), 1);
    }

    void abstractSocketGetsReadyThenWatchdog() {
        const QByteArray name = "@totem-watchdog-test-" + QByteArray::number(::getpid());
        NotifyListener manager(name);
        QVERIFY(manager.bound());
        const ManagedEnvironment environment(name, "200000");

        const ServiceWatchdog watchdog;
        QTRY_VERIFY(manager.messages().contains(QStringLiteral("READY=1")));
        QTRY_VERIFY(manager.messages().contains(QStringLiteral("WATCHDOG=1")));
    }

    void readyWithoutWatchdogPeriod() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QByteArray path = QDir(folder.path()).filePath(QStringLiteral("notify")).toLocal8Bit();
        NotifyListener manager(path);
        QVERIFY(manager.bound());
        const ManagedEnvironment environment(path, QByteArray());

        const ServiceWatchdog watchdog;
        QTRY_VERIFY(manager.messages().contains(QStringLiteral("READY=1")));
        QVERIFY(!manager.messages().contains(QStringLiteral("WATCHDOG=1")));
        // What the kiosk shows, on one line.
        watchdog.status(QStringLiteral("error: Caixa\nnão cadastrado."));
        QTRY_VERIFY(manager.messages().contains(QStringLiteral("STATUS=error: Caixa não cadastrado.")));
    }

    void unusableSocketNameIsIgnored() {
        const ManagedEnvironment environment("relative/notify", "200000");
        const ServiceWatchdog watchdog;
        QVERIFY(!watchdog.active());
    }
};

QTEST_GUILESS_MAIN(TestServiceWatchdog)
#include "tst_platform_watchdog.moc"
