#include "app/TerminalIdentity.h"

TerminalIdentity TerminalIdentity::fromKey(const QString& terminalKey) {
    return {terminalKey.left(4), terminalKey.mid(4, 3)};
}
