#include "http/Addresses.h"

#include <algorithm>

namespace http {

namespace ip = boost::asio::ip;

namespace {

bool parse(const QString& text, ip::address& address) {
    boost::system::error_code error;
    address = ip::make_address(text.trimmed().toStdString(), error);
    return !error;
}

}  // namespace

ip::address plain(const ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return ip::make_address_v4(ip::v4_mapped, address.to_v6());
    }
    return address;
}

std::string clientKey(const ip::address& address) {
    const ip::address unmapped = plain(address);
    if (unmapped.is_v4()) {
        return unmapped.to_string();
    }
    ip::address_v6::bytes_type bytes = unmapped.to_v6().to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return ip::address_v6(bytes).to_string() + "/64";
}

QString clientKey(const QString& address) {
    ip::address parsed;
    return parse(address, parsed) ? QString::fromStdString(clientKey(parsed)) : address;
}

bool isAmong(const QString& address, const QStringList& addresses) {
    ip::address candidate;
    if (!parse(address, candidate)) {
        return false;
    }
    candidate = plain(candidate);
    return std::any_of(addresses.begin(), addresses.end(), [&candidate](const QString& text) {
        ip::address listed;
        return parse(text, listed) && plain(listed) == candidate;
    });
}

}  // namespace http
