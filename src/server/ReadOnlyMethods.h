#pragma once

#include <QString>

// The remote methods that only read the database. The kiosk's client sends a call to one of them a second
// time, on a fresh connection, when the first connection closed before any answer came (docs/protocol.md);
// a method that is not listed is never sent twice. Every method of the four modules is a consultation
// today; a method that writes must stay out of this list.
bool isReadOnlyMethod(const QString& serverName, const QString& method);
