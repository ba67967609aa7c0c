#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstddef>
#include <cstring>

#include "platform/ServiceWatchdog.h"
#include "support/Rows.h"

using platform::ServiceWatchdog;

namespace {

// The service manager's end: a datagram socket bound to a path, or to an abstract name (starting with '@').
class NotifyListener {
public:
    explicit NotifyListener(const QByteArray& name) : socket_(::socket(AF_UNIX, SOCK_DGRAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
        if (name.startsWith('@')) {
            address.sun_path[0] = '\0';
        }
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + static_cast<std::size_t>(name.size()));
        bound_ = ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    }
    ~NotifyListener() { ::close(socket_); }
    NotifyListener(const NotifyListener&) = delete;
    NotifyListener& operator=(const NotifyListener&) = delete;

    bool bound() const { return bound_; }

    // Every message received so far; reading never waits, so QTRY_ can poll it while the event loop turns.
    const QStringList& messages() {
        char buffer[256];
        for (ssize_t size = 0; (size = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
            received_ << QString::fromUtf8(buffer, static_cast<qsizetype>(size));
        }
        return received_;
    }

private:
    int socket_;
    bool bound_ = false;
    QStringList received_;
};

}  // namespace

class TestServiceWatchdog : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        qunsetenv("NOTIFY_SOCKET");
        qunsetenv("WATCHDOG_USEC");
    }

    void withoutUsableManagerDoesNothing() {
        qputenv("WATCHDOG_USEC", "200000");
        for (const QByteArray& socket : {QByteArray(), QByteArray("relative/notify")}) {
            qputenv("NOTIFY_SOCKET", socket);
            QVERIFY(!ServiceWatchdog().active());
        }
    }

    // Ready once, then fed every half period when the manager asks for a watchdog; the status on one line.
    void managerIsNotified_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("watchdogUsec");
        dataRow("path, watchdog period", QByteArray("notify"), QByteArray("200000"));
        dataRow("abstract name", "@totem-watchdog-" + QByteArray::number(::getpid()), QByteArray("200000"));
        dataRow("path, no watchdog period", QByteArray("notify"), QByteArray());
    }

    void managerIsNotified() {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, watchdogUsec);
        QTemporaryDir folder;
        const QByteArray socket = name.startsWith('@') ? name : (folder.path() + u'/' + name).toLocal8Bit();
        NotifyListener manager(socket);
        QVERIFY(manager.bound());
        qputenv("NOTIFY_SOCKET", socket);
        qputenv("WATCHDOG_USEC", watchdogUsec);

        const ServiceWatchdog watchdog;
        QVERIFY(watchdog.active());
        QTRY_VERIFY(manager.messages().contains(QStringLiteral("READY=1")));
        watchdog.status(QStringLiteral("error: Caixa\nnão cadastrado."));
        QTRY_VERIFY(manager.messages().contains(QStringLiteral("STATUS=error: Caixa não cadastrado.")));
        if (watchdogUsec.isEmpty()) {
            QVERIFY(!manager.messages().contains(QStringLiteral("WATCHDOG=1")));
        } else {
            QTRY_VERIFY(manager.messages().count(QStringLiteral("WATCHDOG=1")) >= 2);
        }
        QCOMPARE(manager.messages().first(), QStringLiteral("READY=1"));
        QCOMPARE(manager.messages().count(QStringLiteral("READY=1")), 1);
    }
};

QTEST_GUILESS_MAIN(TestServiceWatchdog)
#include "tst_platform_watchdog.moc"
