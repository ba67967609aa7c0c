#include "intake/Problems.h"

void Problems::add(const QString& file, qint64 line, const QString& column, const QString& reason) {
    ++m_count;
    if (m_shown.size() < Shown) {
        m_shown.append(column.isEmpty() ? QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(reason)
                                        : QStringLiteral("%1:%2: %3: %4").arg(file).arg(line).arg(column, reason));
    }
}
