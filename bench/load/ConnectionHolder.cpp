#include "ConnectionHolder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Slot {
    int socket = -1;
    bool established = false;
    SteadyClock::time_point openedAt;
    SteadyClock::time_point nextByte;
    SteadyClock::time_point reopenAt;
};

sockaddr_in addressOf(const QString& host, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, qPrintable(host), &address.sin_addr);
    return address;
}

void open(Slot& slot, const sockaddr_in& from, const sockaddr_in& to) {
    slot.socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::bind(slot.socket, reinterpret_cast<const sockaddr*>(&from), sizeof(from));
    ::connect(slot.socket, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    slot.established = false;
    slot.openedAt = SteadyClock::now();
    slot.nextByte = slot.openedAt;
}

}  // namespace

ConnectionHolder::ConnectionHolder(const QString& from, const QString& host, int port, int count)
    : m_thread([this, from, host, port, count] { run(from, host, port, count); }) {}

ConnectionHolder::~ConnectionHolder() {
    stop();
}

ConnectionHolder::Figures ConnectionHolder::stop() {
    m_running = false;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_figures;
}

void ConnectionHolder::run(const QString& from, const QString& host, int port, int count) {
    const sockaddr_in source = addressOf(from, 0);
    const sockaddr_in server = addressOf(host, port);
    std::vector<Slot> entries(static_cast<std::size_t>(count));
    std::vector<pollfd> watched(entries.size());
    double heldSum = 0;
    long samples = 0;
    while (m_running) {
        const auto now = SteadyClock::now();
        long held = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            Slot& slot = entries[i];
            if (slot.socket < 0 && now >= slot.reopenAt) {
                open(slot, source, server);
                ++m_figures.opened;
            }
            if (slot.established && now >= slot.nextByte) {
                ::send(slot.socket, "a", 1, MSG_NOSIGNAL);
                slot.nextByte = now + 1s;
            }
            // A connection the server refuses is established in the kernel's backlog for a moment: only one
            // open for a second counts as held.
            held += slot.established && now - slot.openedAt >= 1s ? 1 : 0;
            watched[i] = {slot.socket, static_cast<short>(slot.established ? POLLIN : POLLOUT), 0};
        }
        heldSum += static_cast<double>(held);
        ++samples;
        ::poll(watched.data(), watched.size(), 100);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            Slot& slot = entries[i];
            if (slot.socket < 0 || watched[i].revents == 0) {
                continue;
            }
            int error = 0;
            socklen_t length = sizeof(error);
            getsockopt(slot.socket, SOL_SOCKET, SO_ERROR, &error, &length);
            char discard[512];
            const bool closed = error != 0 || (slot.established && ::recv(slot.socket, discard, sizeof(discard), 0) <= 0);
            if (!closed) {
                slot.established = true;
                continue;
            }
            ::close(slot.socket);
            slot.socket = -1;
            slot.established = false;
            m_figures.closedAtOnce += SteadyClock::now() - slot.openedAt < 500ms ? 1 : 0;
            slot.reopenAt = SteadyClock::now() + 1s;
        }
    }
    for (const Slot& slot : entries) {
        if (slot.socket >= 0) {
            ::close(slot.socket);
        }
    }
    m_figures.heldOnAverage = samples > 0 ? heldSum / static_cast<double>(samples) : 0;
}
