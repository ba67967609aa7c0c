#include "kit/core/Strings.h"

bool EmptyString(const QString& text) {
    for (QChar c : text) {
        if (c > QChar(u' ')) {
            return false;
        }
    }
    return true;
}
