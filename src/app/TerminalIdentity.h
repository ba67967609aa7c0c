#pragma once

#include <QString>

// The kiosk's identity as the terminal key states it: branch code (characters 1 to 4) and register code
// (characters 5 to 7). The key is not validated: a shorter key gives shorter codes, later characters are ignored.
struct TerminalIdentity {
    QString branchCode;
    QString registerCode;

    static TerminalIdentity fromKey(const QString& terminalKey);
};
