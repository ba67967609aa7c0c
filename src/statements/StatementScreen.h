#pragma once

#include "kit/Form.h"
#include "kit/Pictures.h"
#include "statements/MovementRules.h"

#include <QString>

#include <functional>
#include <initializer_list>

class DataSetModel;
class QLabel;
class QTableView;
class QTextEdit;
class QTimer;
class TBlendedBitBtn;
class TClientDataSet;
class TMessages;
struct TerminalContext;

// What the two statements of account movements share: the layout around their lists (header, period,
// balances, message band, Back button), their movement-type table, their inactivity timer, the grid look
// and the set-up steps that apply the display rules.
//
// Set-up runs while the screen is created, before it is shown. The inactivity timer runs from then on; a
// firing while set-up waits (on the server or under an error report) cannot close a screen that is not
// shown yet, and the countdown starts afresh when set-up ends, however it ended, so that the consumer gets
// the whole interval once the screen is up.
class StatementScreen : public TForm {
    Q_OBJECT
protected:
    struct GridColumn {
        const char* field;
        QString title;
        int width;
    };

    StatementScreen(const TerminalContext& context, const char* formName, const char* timerName,
                    Qt::Alignment balanceAlignment, QWidget* parent);

    // Runs the screen's set-up under the application's error guard, then starts the countdown.
    void runSetUp(const std::function<void()>& formCreate);
    // Stops and starts the inactivity timer, so that its countdown begins afresh.
    void restartCountdown();

    // ---- set-up steps of the display rules ----
    void showHeaderAndPeriod();
    QString periodStartText() const;
    QString periodEndText() const;
    void showBalances(TClientDataSet& movements);
    void showMessageText();
    void applyInactivityInterval();

    // ---- building the screen ----
    // Declares the six fields of an account-movement list, the three shown ones with the given texts.
    void declareMovementFields(TClientDataSet& list, std::function<QString(const QVariant&)> typeText,
                               std::function<QString(const QVariant&)> amountText,
                               std::function<QString(const QVariant&)> balanceText);
    // A grid over a list, showing the given fields under the given titles; its current row is the list's.
    QTableView* addGrid(QWidget* parent, const char* name, const QRect& place, TClientDataSet& list,
                        DataSetModel& model, std::initializer_list<GridColumn> columns, int titlePixelSize);
    TBlendedBitBtn* addButton(const char* name, const QRect& place, pictures::Glyph glyph, bool circular);

    void done(int result) override;

    QWidget* panGeral = nullptr;
    TMessages* msgPadrao = nullptr;
    QLabel* lblCabecalho = nullptr;
    QLabel* lblDtPeriodo = nullptr;
    QLabel* lblVrSaldoIni = nullptr;
    QLabel* lblVrSaldoFin = nullptr;
    QTextEdit* rceMsgAdi = nullptr;
    TBlendedBitBtn* bbbVoltar = nullptr;

    QTimer* inactivityTimer = nullptr;
    const TerminalContext& m_context;  // the consumer and the register's parameters

private:
    void buildLayout(Qt::Alignment balanceAlignment);

    movements::StatementPeriod m_period;
};
