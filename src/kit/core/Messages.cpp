#include "kit/core/Messages.h"

QString TMessages::Msg(const QString& key) const {
    for (const QString& line : m_messages) {
        const qsizetype bar = line.indexOf(u'|');
        if (bar >= 0 && QStringView(line).left(bar).compare(key, Qt::CaseInsensitive) == 0) {
            return line.mid(bar + 1);
        }
    }
    return {};
}
