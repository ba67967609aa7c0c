#include "intake/Problems.h"

void Problems::add(const QString& file, qint64 line, const QString& column, const QString& reason) {
    ++m_count;
    if (m_shown.size() < Shown) {
        const QString where = line > 0 ? QStringLiteral("%1:%2").arg(file).arg(line) : file;
        m_shown.append(column.isEmpty() ? QStringLiteral("%1: %2").arg(where, reason)
                                        : QStringLiteral("%1: %2: %3").arg(where, column, reason));
    }
}
