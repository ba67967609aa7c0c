#include "platform/ServiceWatchdog.h"

#include <QByteArray>
#include <QTimer>
#include <QtGlobal>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstddef>
#include <cstring>

namespace platform {

namespace {

// The notification socket's address: a path, or an abstract name when the variable starts with '@'.
// Returns the address length, 0 when the variable is unusable.
socklen_t notifyAddress(const QByteArray& name, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const bool isAbstract = name.startsWith('@');
    if (name.size() < 2 || (!isAbstract && !name.startsWith('/')) ||
        static_cast<std::size_t>(name.size()) > sizeof address.sun_path) {
        return 0;
    }
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    if (isAbstract) {
        address.sun_path[0] = '\0';  // an abstract name has no terminator: its length is the address's
    }
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + static_cast<std::size_t>(name.size()));
}

// Half the watchdog period in milliseconds, 0 when there is no watchdog. WATCHDOG_PID is deliberately not
// compared with our process: under xinit the kiosk is the session's client, not the unit's main process.
int feedIntervalMs() {
    bool ok = false;
    const qulonglong usec = qEnvironmentVariable("WATCHDOG_USEC").toULongLong(&ok);
    if (!ok || usec == 0) {
        return 0;
    }
    return static_cast<int>(qBound<qulonglong>(1, usec / 2000, 24ULL * 3600 * 1000));
}

}  // namespace

struct ServiceWatchdog::State {
    int socket = -1;
    sockaddr_un address{};
    socklen_t addressLength = 0;
    QTimer feeder;

    // A lost datagram only costs one period: the manager is fed again at the next tick.
    void send(const QByteArray& message) const {
        ::sendto(socket, message.constData(), static_cast<std::size_t>(message.size()), MSG_NOSIGNAL | MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&address), addressLength);
    }

    ~State() {
        if (socket >= 0) {
            ::close(socket);
        }
    }
};

ServiceWatchdog::ServiceWatchdog() {
    auto state = std::make_unique<State>();
    state->addressLength = notifyAddress(qgetenv("NOTIFY_SOCKET"), state->address);
    if (state->addressLength == 0) {
        return;
    }
    state->socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (state->socket < 0) {
        return;
    }
    State* feeding = state.get();
    // Ready only once the event loop turns: the shell is then on screen and answering.
    QTimer::singleShot(0, &feeding->feeder, [feeding] { feeding->send("READY=1"); });
    const int interval = feedIntervalMs();
    if (interval > 0) {
        feeding->feeder.setInterval(interval);
        QObject::connect(&feeding->feeder, &QTimer::timeout, &feeding->feeder,
                         [feeding] { feeding->send("WATCHDOG=1"); });
        feeding->feeder.start();
    }
    state_ = std::move(state);
}

ServiceWatchdog::~ServiceWatchdog() = default;

bool ServiceWatchdog::active() const {
    return state_ != nullptr;
}

void ServiceWatchdog::status(const QString& text) const {
    if (state_ != nullptr) {
        QString line = text;
        state_->send("STATUS=" + line.replace(QLatin1Char('\n'), QLatin1Char(' ')).left(200).toUtf8());
    }
}

}  // namespace platform
