#include "platform/ServiceWatchdog.h"

namespace platform {

// Windows has no systemd: the kiosk's supervisor there is the shell, so there is nothing to feed.
struct ServiceWatchdog::State {};

ServiceWatchdog::ServiceWatchdog() = default;
ServiceWatchdog::~ServiceWatchdog() = default;

bool ServiceWatchdog::active() const {
    return false;
}

void ServiceWatchdog::status(const QString&) const {}

}  // namespace platform
