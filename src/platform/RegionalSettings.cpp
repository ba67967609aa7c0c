#include "platform/RegionalSettings.h"

#include <QLocale>
#include <QRegularExpression>

namespace platform {

namespace {

// Long time forms often carry a time zone ("HH:mm:ss z", "h:mm:ss AP t"); the kiosk shows clock time only.
QString withoutTimeZone(QString format) {
    static const QRegularExpression zone(QStringLiteral("\\s*\\b(t+|z+)\\b"));
    return format.remove(zone).trimmed();
}

bool isBlank(QChar c) {
    return c.isSpace() || c == QChar(0x00A0) || c == QChar(0x202F);
}

}  // namespace

RegionalSettings RegionalSettings::system() {
    const QLocale locale = QLocale::system();
    RegionalSettings settings;
    settings.shortDateFormat = locale.dateFormat(QLocale::ShortFormat);
    settings.longTimeFormat = withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    settings.decimalSeparator = locale.decimalPoint().at(0);
    settings.thousandsSeparator = locale.groupSeparator().isEmpty() ? QChar() : locale.groupSeparator().at(0);
    settings.currencySymbol = locale.currencySymbol();
    const QString sample = locale.toCurrencyString(1.0);
    settings.currencySymbolFirst = sample.startsWith(settings.currencySymbol);
    const qsizetype gap = settings.currencySymbolFirst ? settings.currencySymbol.size()
                                                       : sample.size() - settings.currencySymbol.size() - 1;
    settings.currencySpaced = gap >= 0 && gap < sample.size() && isBlank(sample.at(gap));
    return settings;
}

void cacheLocalTimeZone() {
#if defined(Q_OS_UNIX)
    if (!qEnvironmentVariableIsSet("TZ")) {
        qputenv("TZ", ":/etc/localtime");
    }
#endif
}

}  // namespace platform
