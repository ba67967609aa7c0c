#include "statements/GroupPeriod.h"

#include "kit/core/Dates.h"
#include "kit/core/Strings.h"

#include <optional>

namespace {

std::optional<int> startDayOf(const QString& startDay) {
    if (EmptyString(startDay) || !textGreater(startDay, QStringLiteral("0"))) {
        return std::nullopt;
    }
    return parameterAsInteger(QStringLiteral("NRDIAINITOT"), startDay);
}

std::optional<int> endDayOf(const QString& endDay) {
    if (EmptyString(endDay)) {
        return std::nullopt;
    }
    return parameterAsInteger(QStringLiteral("NRDIAFINTOT"), endDay);
}

QDate dayOf(const YearMonth& month, int day) {
    return makeDate(month.year, month.month, day);
}

}  // namespace

GroupPeriod GroupPeriod::of(const QDate& today, const QString& startDay, const QString& endDay,
                            bool previousMonth) {
    YearMonth month{today.year(), today.month()};
    if (previousMonth) {
        month = month.previous();
    }
    const std::optional<int> start = startDayOf(startDay);
    const std::optional<int> end = endDayOf(endDay);

    GroupPeriod period;
    period.start = dayOf(month, 1);
    period.end = UltimoDiaMes(period.start);
    if (start.value_or(1) > today.day()) {
        // The period began in the month before and ends in this one.
        if (end) {
            period.end = dayOf(month, *end);
        }
        period.start = dayOf(month.previous(), *start);
    } else {
        // The period began in this month and ends in the next one.
        period.start = dayOf(month, start.value_or(1));
        if (end) {
            period.end = dayOf(month.next(), *end);
        }
    }
    return period;
}

int groupInactivityInterval(const QString& seconds) {
    if (EmptyString(seconds) || textLess(seconds, QStringLiteral("0"))) {
        return -1;
    }
    return parameterAsInteger(QStringLiteral("NRSEGFECTOT"), seconds) * 1000;
}
