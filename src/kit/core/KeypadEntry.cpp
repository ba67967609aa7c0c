#include "kit/core/KeypadEntry.h"

namespace keypad {

QChar normalized(QChar typed) {
    const char16_t code = typed.unicode();
    if (code <= 7 || code == 9) {
        return QChar(static_cast<char16_t>(u'0' + code));
    }
    return typed;
}

bool accepts(QChar c) { return (c >= u'0' && c <= u'9') || c == u'.' || c == u','; }

QString typed(const QString& buffer, QChar c) {
    const QChar entered = normalized(c);
    if (!accepts(entered) || buffer.size() >= MaxLength) {
        return buffer;
    }
    return buffer + entered;
}

QString corrected(const QString& buffer) { return buffer.left(buffer.size() - 1); }

}  // namespace keypad
