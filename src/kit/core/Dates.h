#pragma once

#include <QDate>
#include <QString>

// Portuguese name of the date's month, as in "Maio".
QString NomeMes(const QDate& date);
// The last day of the date's month.
QDate UltimoDiaMes(const QDate& date);
// The date of day/month/year; raises DateError when the calendar has no such day.
QDate makeDate(int year, int month, int day);
// Month arithmetic with the year wrap: (2024, 13) is January 2025, (2024, 0) December 2023.
struct YearMonth {
    int year;
    int month;
    YearMonth next() const { return month == 12 ? YearMonth{year + 1, 1} : YearMonth{year, month + 1}; }
    YearMonth previous() const { return month == 1 ? YearMonth{year - 1, 12} : YearMonth{year, month - 1}; }
    int daysInMonth() const { return QDate(year, month, 1).daysInMonth(); }
};
// Reads a register parameter as an integer; raises KioskError naming the parameter when it is no number.
int parameterAsInteger(const QString& name, const QString& value);
