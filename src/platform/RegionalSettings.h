#pragma once

#include <QChar>
#include <QString>

namespace platform {

// The kiosk's regional settings. QLocale::system() reads the Windows regional settings on Windows and
// LANG/LC_ALL elsewhere, so one implementation serves every platform.
struct RegionalSettings {
    QString shortDateFormat;  // e.g. "dd/MM/yyyy"
    QString longTimeFormat;   // e.g. "HH:mm:ss", without a time zone
    QChar decimalSeparator;
    QChar thousandsSeparator;
    QString currencySymbol;  // e.g. "R$"
    bool currencySymbolFirst = true;
    bool currencySpaced = true;  // a blank between symbol and amount in money texts

    static RegionalSettings system();
};

}  // namespace platform
