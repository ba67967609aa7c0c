#pragma once

#include <QString>
#include <QStringList>

#include <boost/asio/ip/address.hpp>

#include <string>

// How the server knows a client by its address.
namespace http {

// An IPv4-mapped IPv6 address (how a server listening on "::" sees an IPv4 peer) as the IPv4 address it is.
boost::asio::ip::address plain(const boost::asio::ip::address& address);

// The key a client is counted under: its IPv4 address, or the /64 network of its IPv6 address, which one
// host commonly holds whole.
std::string clientKey(const boost::asio::ip::address& address);
// The same for an address in text; a text that is no address is its own key.
QString clientKey(const QString& address);

// Whether `address` (text) is one of `addresses`, read as addresses: "::ffff:127.0.0.1" is 127.0.0.1.
bool isAmong(const QString& address, const QStringList& addresses);

}  // namespace http
