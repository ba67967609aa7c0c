#include "terminal/ConsultationPeriod.h"

#include "kit/core/Dates.h"
#include "kit/core/Strings.h"

#include <algorithm>

namespace {

// The end day is limited to the length of its month; the start day is not.
QDate endDate(YearMonth month, int endDay) {
    return makeDate(month.year, month.month, std::min(endDay, month.daysInMonth()));
}

}  // namespace

ConsultationPeriod ConsultationPeriod::containing(const QDate& today, const QString& startDay, const QString& endDay) {
    const bool startSet = !EmptyString(startDay);
    const bool endSet = !EmptyString(endDay);
    const int start = !startSet || !textGreater(startDay, QStringLiteral("0"))
                          ? 1
                          : parameterAsInteger(QStringLiteral("NRDIAINITOT"), startDay);
    const int end =
        endSet ? parameterAsInteger(QStringLiteral("NRDIAFINTOT"), endDay) : UltimoDiaMes(today).day();
    const YearMonth current{today.year(), today.month()};

    if (start <= today.day()) {
        const QDate first = makeDate(current.year, current.month, start);
        return {first, endDate(startSet ? current.next() : current, end)};
    }
    const QDate last = endDate(current, end);
    const YearMonth startMonth = endSet ? current.previous() : current;
    return {makeDate(startMonth.year, startMonth.month, start), last};
}
