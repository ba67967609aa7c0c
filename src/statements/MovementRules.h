#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>

class QTimer;
class TClientDataSet;
class TMessages;

// The display rules shared by the two statements that list account movements: what the grids, the header,
// the period and balance labels and the message box show, how long a statement waits for the consumer,
// and how its paging buttons move a list.
namespace movements {

// The lines of each statement's message table: one text per movement type.
QStringList movementTypeLines();
// The text of a movement type: the table's text for "C", "A", "D" and "X" (exactly, letter case included);
// nothing for any other value.
QString movementTypeText(const QVariant& code, const TMessages& table);

// An amount of a grid: "0.00" in the regional decimal separator; a field without a value reads as 0.
QString amountText(const QVariant& value);
// A balance label: the currency symbol then the value ("R$250,00"); a negative value in parentheses
// ("(R$12,50)").
QString balanceText(double value);

// The days a statement covers, from today and the register's start and end days (NRDIAINITOT,
// NRDIAFINTOT). This is not the terminal's consultation period: an end day that is set always falls in
// the month after a period that began this month.
struct StatementPeriod {
    QDate start;
    QDate end;

    // Raises KioskError for a day that is not a number and DateError for a day that gives no date.
    static StatementPeriod of(const QDate& today, const QString& startDay, const QString& endDay);
};

QString headerText(const QString& consumerCode, const QString& consumerName);
QString periodText(const StatementPeriod& period);

// The balances of a movement list: the balance after its last and after its first movement, 0 for an
// empty list. Reading them leaves the list on its first row.
struct Balances {
    double initialBalance = 0;
    double finalBalance = 0;
};
Balances readBalances(TClientDataSet& movements);

// The parametrised message box grows upwards by one line per 76 characters, and at most over the
// whole message band.
struct BoxPlace {
    int top;
    int height;
};
constexpr int MessageBandTop = 497;
BoxPlace fitMessageBox(const QString& message, BoxPlace layout);

// The time without activity after which a statement closes, in milliseconds, from NRSEGFECTOT (seconds;
// blank for 10 s; 0 for never). Raises KioskError for a value that is not a number of seconds.
int inactivityInterval(const QString& seconds);

// One press of a paging button: the countdown starts afresh, and a loaded list that has rows moves one
// row, without wrapping at either end.
enum class Paging { Previous, Next };
void page(TClientDataSet& list, Paging direction, QTimer& countdown);

}  // namespace movements
