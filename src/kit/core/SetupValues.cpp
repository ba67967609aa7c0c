#include "kit/core/SetupValues.h"

#include <QStringList>

#include <algorithm>

namespace {

bool allDigits(QStringView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

// RFC 1123: letters, digits and inner hyphens, 63 characters at most.
bool isHostLabel(QStringView label) {
    const auto allowed = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-';
    };
    return !label.isEmpty() && label.size() <= 63 && std::all_of(label.begin(), label.end(), allowed) &&
           !label.startsWith(u'-') && !label.endsWith(u'-');
}

bool isHostName(const QString& text) {
    const QStringList labels = text.split(u'.');
    // A name whose last label is all digits would be a malformed address, not a name.
    return text.size() <= 253 && std::all_of(labels.begin(), labels.end(), isHostLabel) &&
           !allDigits(labels.last());
}

}  // namespace

bool isIPv4Address(const QString& text) {
    const QStringList parts = text.split(u'.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](const QString& part) {
               return allDigits(part) && part.size() <= 3 && (part.size() == 1 || part.front() != u'0') &&
                      part.toInt() <= 255;
           });
}

bool isUsableServerAddress(const QString& text) {
    return isIPv4Address(text) || isHostName(text);
}

bool isTerminalKey(const QString& text) {
    return text.size() == 7 && allDigits(text);
}
