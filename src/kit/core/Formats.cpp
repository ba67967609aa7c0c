#include "kit/core/Formats.h"

#include "platform/RegionalSettings.h"

#include <cmath>

namespace formats {

namespace {

QString withSeparators(const QString& cLocaleNumber, bool grouping) {
    const platform::RegionalSettings& settings = regional();
    const qsizetype point = cLocaleNumber.indexOf(u'.');
    QString integerPart = point < 0 ? cLocaleNumber : cLocaleNumber.left(point);
    const QString fraction = point < 0 ? QString() : cLocaleNumber.mid(point + 1);
    const bool negative = integerPart.startsWith(u'-');
    if (negative) {
        integerPart.remove(0, 1);
    }
    if (grouping && !settings.thousandsSeparator.isNull()) {
        for (qsizetype i = integerPart.size() - 3; i > 0; i -= 3) {
            integerPart.insert(i, settings.thousandsSeparator);
        }
    }
    QString text = negative ? QStringLiteral("-") + integerPart : integerPart;
    if (!fraction.isEmpty()) {
        text += settings.decimalSeparator + fraction;
    }
    return text;
}

QString fixed(double value, int decimals, bool grouping) {
    QString digits = QString::number(value, 'f', decimals);
    // A negative value that rounds to nothing shows no sign.
    if (digits.startsWith(u'-') && digits.mid(1).toDouble() == 0.0) {
        digits.remove(0, 1);
    }
    return withSeparators(digits, grouping);
}

}  // namespace

const platform::RegionalSettings& regional() {
    static const platform::RegionalSettings settings = platform::RegionalSettings::system();
    return settings;
}

QString dateText(const QDate& date) { return date.toString(regional().shortDateFormat); }

QString dateTimeText(const QDateTime& moment) {
    const QString date = dateText(moment.date());
    if (moment.time() == QTime(0, 0)) {
        return date;
    }
    return date + u' ' + moment.time().toString(regional().longTimeFormat);
}

QString formatFloat(const QString& pattern, double value) {
    const qsizetype point = pattern.indexOf(u'.');
    const int decimals = point < 0 ? 0 : static_cast<int>(pattern.mid(point + 1).count(u'0'));
    return fixed(value, decimals, pattern.contains(u','));
}

QString formatDate(const QString& pattern, const QDateTime& moment) {
    QString qtPattern = pattern;
    qtPattern.replace(u'D', u'd').replace(u'Y', u'y').replace(u'm', u'M');
    return moment.toString(qtPattern);
}

QString moneyText(double value) {
    const platform::RegionalSettings& settings = regional();
    // Balances stay far below 10^13, so two decimals never exceed 15 significant digits.
    const QString amount = fixed(std::fabs(value), 2, true);
    const QString blank = settings.currencySpaced ? QStringLiteral(" ") : QString();
    QString text = settings.currencySymbolFirst ? settings.currencySymbol + blank + amount
                                                : amount + blank + settings.currencySymbol;
    if (value < 0 && fixed(value, 2, false).startsWith(u'-')) {
        text.prepend(u'-');
    }
    return text;
}

QString generalNumberText(double value) {
    QString text = QString::number(value, 'g', 15);
    return text.replace(u'.', regional().decimalSeparator);
}

}  // namespace formats
