#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

namespace platform {
struct RegionalSettings;
}

// Texts of dates and numbers in the kiosk's regional settings. Every screen formats through these.
namespace formats {

const platform::RegionalSettings& regional();

// Short date form, e.g. 10/05/2004.
QString dateText(const QDate& date);
// Short date, a blank and the long time form; a moment at exactly midnight shows the date alone.
QString dateTimeText(const QDateTime& moment);
// A numeric display pattern such as "0.00", "#,##0.00" or "0.000": a comma asks for thousands separators,
// the zeros after the point fix the decimals; the regional separators are used.
QString formatFloat(const QString& pattern, double value);
// A date display pattern such as "DD/MM" (letters of either case: D day, M month, Y year).
QString formatDate(const QString& pattern, const QDateTime& moment);
// Money: currency symbol, thousands separators, 2 decimals, at most 15 significant digits.
QString moneyText(double value);
// General number text: up to 15 significant digits, no trailing zeros, the regional decimal separator.
QString generalNumberText(double value);

}  // namespace formats
