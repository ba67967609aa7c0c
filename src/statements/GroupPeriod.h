#pragma once

#include <QDate>
#include <QString>

// The period of the group statement, from the register's start and end days (NRDIAINITOT, NRDIAFINTOT),
// for the current month or, in previous-month mode, for the month before.
//
// A start day counts when it is not blank and, as a text, greater than "0"; otherwise the period starts on
// the 1st. A blank end day means the last day of the month. When the start day lies after today's day the
// period began in the month before; otherwise it ends in the month after (unless the end day is blank).
// Days are not limited to the length of their month: a day the month lacks raises DateError, a day that is
// no number raises KioskError.
struct GroupPeriod {
    QDate start;
    QDate end;

    static GroupPeriod of(const QDate& today, const QString& startDay, const QString& endDay,
                          bool previousMonth);
};

// The inactivity interval of the group statement, in milliseconds, from NRSEGFECTOT: -1 when the timer is
// to stay off (blank, or a text below "0" such as "-5"); otherwise the seconds times 1000. Raises
// KioskError for a value that passes the text test but is no number.
int groupInactivityInterval(const QString& seconds);
