#pragma once

#include "store/Database.h"

#include <QDate>
#include <QDateTime>

#include <cmath>

// Whole days from first to last: SQL compares moments from the first day's midnight up to, and not
// including, the midnight after the last day. After 9999-12-31 comes no four-digit year: its last moment
// the database keeps (to the second) is the bound then.
struct Period {
    QDate first;
    QDate last;
    QString from() const { return sqlTimestamp(first.startOfDay()); }
    QString until() const {
        const QDate next = last.addDays(1);
        return next.year() <= 9999 ? sqlTimestamp(next.startOfDay())
                                   : QStringLiteral("9999-12-31T23:59:59.999");
    }
};

// Money and quantities leave the server rounded as the database keeps them.
inline double roundedTo(double value, int decimals) {
    const double scale = decimals == 2 ? 100.0 : 1000.0;
    return std::round(value * scale) / scale;
}
