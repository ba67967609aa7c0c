#pragma once

#include <QString>

// The kiosk's identity as the terminal key states it: branch code (characters 1 to 4) and register code
// (characters 5 to 7). The shell lets only a key of 7 digits through; the split itself takes any text.
struct TerminalIdentity {
    QString branchCode;
    QString registerCode;

    static TerminalIdentity fromKey(const QString& terminalKey);
};
