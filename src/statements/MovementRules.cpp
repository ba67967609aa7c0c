#include "statements/MovementRules.h"

#include "kit/core/Countdown.h"
#include "kit/core/Dates.h"
#include "kit/core/Errors.h"
#include "kit/core/Formats.h"
#include "kit/core/Messages.h"
#include "kit/core/Strings.h"
#include "platform/RegionalSettings.h"
#include "server/ClientDataSet.h"

#include <QTimer>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

namespace movements {

namespace {

constexpr std::array<const char16_t*, 4> MovementTypeKeys = {u"C", u"A", u"D", u"X"};
constexpr int MessageCharactersPerLine = 76;
constexpr int MessageLineHeight = 20;
constexpr int MessageLineLift = 10;
constexpr BoxPlace WholeMessageBand{495, 68};
constexpr int DefaultInactivitySeconds = 10;

QString amount(double value) {
    return formats::formatFloat(QStringLiteral("0.00"), value);
}

// The end day is limited to the length of its month; one that no month has fails whatever the month.
QDate endDate(YearMonth month, int endDay) {
    if (endDay < 1 || endDay > 31) {
        throw DateError(QStringLiteral("Dia final do período inválido: %1.").arg(endDay));
    }
    return makeDate(month.year, month.month, std::min(endDay, month.daysInMonth()));
}

}  // namespace

QStringList movementTypeLines() {
    return {QStringLiteral("C|Crédito"), QStringLiteral("D|Débito"), QStringLiteral("A|Ajuste de Saldo"),
            QStringLiteral("X|Cancelado")};
}

QString movementTypeText(const QVariant& code, const TMessages& table) {
    const QString text = code.toString();
    // The table finds keys regardless of letter case; the movement types do not.
    const bool known = std::any_of(MovementTypeKeys.begin(), MovementTypeKeys.end(),
                                   [&](const char16_t* key) { return text == QStringView(key); });
    return known ? table.Msg(text) : QString();
}

QString amountText(const QVariant& value) {
    return amount(value.toDouble());
}

QString balanceText(double value) {
    const QString symbol = formats::regional().currencySymbol;
    return value >= 0 ? QString(symbol + amount(value)) : QString(u'(' + symbol + amount(-value) + u')');
}

StatementPeriod StatementPeriod::of(const QDate& today, const QString& startDay, const QString& endDay) {
    const bool startSet = !EmptyString(startDay) && textGreater(startDay, QStringLiteral("0"));
    const int start = startSet ? parameterAsInteger(QStringLiteral("NRDIAINITOT"), startDay) : 1;
    std::optional<int> end;
    if (!EmptyString(endDay)) {
        end = parameterAsInteger(QStringLiteral("NRDIAFINTOT"), endDay);
    }
    const YearMonth current{today.year(), today.month()};

    StatementPeriod period;
    if (start <= today.day()) {
        period.start = makeDate(current.year, current.month, start);
        period.end = end ? endDate(current.next(), *end) : UltimoDiaMes(today);
    } else {
        period.end = end ? endDate(current, *end) : UltimoDiaMes(today);
        const YearMonth previous = current.previous();
        period.start = makeDate(previous.year, previous.month, start);
    }
    return period;
}

QString headerText(const QString& consumerCode, const QString& consumerName) {
    return consumerCode + QStringLiteral(" - ") + consumerName;
}

QString periodText(const StatementPeriod& period) {
    return formats::dateText(period.start) + QStringLiteral("  -  ") + formats::dateText(period.end);
}

Balances readBalances(TClientDataSet& movements) {
    Balances balances;
    if (!movements.Active() || movements.IsEmpty()) {
        return balances;
    }
    const TField& balance = movements.FieldByName(QStringLiteral("VRSALDOCONS"));
    movements.Last();
    balances.finalBalance = balance.asFloat();
    movements.First();
    balances.initialBalance = balance.asFloat();
    return balances;
}

BoxPlace fitMessageBox(const QString& message, BoxPlace layout) {
    const int lines = static_cast<int>(message.size() / MessageCharactersPerLine);
    const int top = layout.top - MessageLineLift * lines;
    if (top < MessageBandTop) {
        return WholeMessageBand;
    }
    return {top, layout.height + MessageLineHeight * lines};
}

int inactivityInterval(const QString& seconds) {
    if (EmptyString(seconds)) {
        return DefaultInactivitySeconds * 1000;
    }
    const int value = parameterAsInteger(QStringLiteral("NRSEGFECTOT"), seconds);
    // A timer interval is a non-negative number of milliseconds that fits an int.
    if (value < 0 || value > std::numeric_limits<int>::max() / 1000) {
        throw KioskError(QStringLiteral("'%1' não é um tempo válido para NRSEGFECTOT.").arg(seconds));
    }
    return value * 1000;
}

void page(TClientDataSet& list, Paging direction, QTimer& countdown) {
    countdown.stop();
    // A list that a failed set-up never loaded is treated as an empty one.
    if (list.Active() && !list.IsEmpty()) {
        if (direction == Paging::Previous) {
            list.Prior();
        } else {
            list.Next();
        }
    }
    restartCountdown(countdown);
}

}  // namespace movements
