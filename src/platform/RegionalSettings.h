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

// Lets the C library keep the local time zone instead of reading /etc/localtime again at every date-time
// conversion, which otherwise doubles the time of decoding a long statement. Call it first in main(); an
// explicit TZ is left as it is. A change of the system's zone then takes effect at the next start.
void cacheLocalTimeZone();

}  // namespace platform
