#include "terminal/TerminalContext.h"

TerminalContext& TerminalContext::current() {
    static TerminalContext context;
    return context;
}
