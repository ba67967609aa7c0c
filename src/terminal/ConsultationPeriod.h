#pragma once

#include <QDate>
#include <QString>

// The accounting period a consultation covers, from the register's start and end days (NRDIAINITOT,
// NRDIAFINTOT): the period that contains today. An empty or non-positive start day means the 1st; an empty
// end day means the last day of today's month. Raises DateError for a start day the start month does not
// have, and KioskError for a day that is not a number.
struct ConsultationPeriod {
    QDate start;
    QDate end;

    static ConsultationPeriod containing(const QDate& today, const QString& startDay, const QString& endDay);
};
