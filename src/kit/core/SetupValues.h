#pragma once

#include <QString>

// What the set-up keypad may store: a server address the kiosk can reach and a terminal key that names a
// register. Anything else would make the kiosk fail at every start.

// Dotted decimal IPv4: four numbers from 0 to 255 without leading zeros (which some resolvers read as
// octal).
bool isIPv4Address(const QString& text);
// A stored address may also be a host name, written into the key by hand (for HTTPS, say).
bool isUsableServerAddress(const QString& text);
// Seven digits: the branch code's four, then the register code's three.
bool isTerminalKey(const QString& text);
