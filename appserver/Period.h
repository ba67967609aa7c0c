#pragma once

#include "Database.h"

#include <QDate>
#include <QDateTime>

#include <cmath>

// Whole days from first to last: SQL compares moments from the first day's midnight up to, and not
// including, the midnight after the last day.
struct Period {
    QDate first;
    QDate last;
    QString from() const { return sqlTimestamp(first.startOfDay()); }
    QString until() const { return sqlTimestamp(last.addDays(1).startOfDay()); }
};

// Money and quantities leave the server rounded as the database keeps them.
inline double roundedTo(double value, int decimals) {
    const double scale = decimals == 2 ? 100.0 : 1000.0;
    return std::round(value * scale) / scale;
}
