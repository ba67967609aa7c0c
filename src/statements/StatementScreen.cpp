#include "statements/StatementScreen.h"

#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "kit/DataGrid.h"
#include "kit/ErrorReport.h"
#include "kit/Layout.h"
#include "kit/Shapes.h"
#include "kit/core/Clock.h"
#include "kit/core/Countdown.h"
#include "kit/core/Formats.h"
#include "kit/core/Messages.h"
#include "server/Answers.h"
#include "server/ClientDataSet.h"
#include "server/DataSetModel.h"
#include "terminal/TerminalContext.h"

#include <QLabel>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>

namespace {

using layout::addShape;
using layout::verdana;

constexpr int ClientWidth = 792;
constexpr int ClientHeight = 573;
constexpr int LayoutInactivityMs = 20000;
constexpr movements::BoxPlace MessageBoxLayout{524, 20};
constexpr int MessageBoxLeft = 8;
constexpr int MessageBoxWidth = 705;
constexpr int GlyphSize = 36;
constexpr int GridRowHeight = 17;

QLabel* addLabel(QWidget* parent, const char* name, const QRect& place, int pixelSize, const QString& text) {
    return layout::addLabel(parent, name, place, layout::verdana(pixelSize), text);
}

QString gridStyle(int titlePixelSize) {
    return QStringLiteral(
               "QTableView { background: #d6d6d6; border: none; color: palette(window-text); }"
               "QHeaderView { background: #d6d6d6; }"
               "QHeaderView::section { background: #000080; color: #d6d6d6; border: none;"
               " padding: 0 2px; font-family: 'MS Sans Serif'; font-weight: bold; font-size: %1px; }")
        .arg(titlePixelSize);
}

}  // namespace

StatementScreen::StatementScreen(const TerminalContext& context, const char* formName, const char* timerName,
                                 Qt::Alignment balanceAlignment, QWidget* parent)
    : TForm(parent), m_context(context) {
    setObjectName(QString::fromLatin1(formName));
    setClientSize(ClientWidth, ClientHeight);
    msgPadrao = new TMessages(movements::movementTypeLines(), this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));
    inactivityTimer = new QTimer(this);
    inactivityTimer->setObjectName(QString::fromLatin1(timerName));
    inactivityTimer->setInterval(LayoutInactivityMs);
    inactivityTimer->start();
    buildLayout(balanceAlignment);
}

void StatementScreen::buildLayout(Qt::Alignment balanceAlignment) {
    panGeral = new QWidget(this);
    panGeral->setObjectName(QStringLiteral("panGeral"));
    panGeral->setGeometry(rect());
    addShape(panGeral, "blsFundo", panGeral->rect(), colors::Silver);
    addShape(panGeral, "blsCabecalho", {8, 5, 776, 30}, colors::LightGrey);
    lblCabecalho =
        addLabel(panGeral, "lblCabecalho", {10, 5, 772, 29}, 21, QStringLiteral("0000 - Consumidor"));
    lblCabecalho->setAlignment(Qt::AlignCenter);
    addLabel(panGeral, "lblPeriodo", {10, 49, 101, 23}, 17, QStringLiteral("Período :"));
    lblDtPeriodo = addLabel(panGeral, "lblDtPeriodo", {122, 49, 249, 23}, 16,
                            QStringLiteral("01/01/2000  -  31/01/2000"));
    addLabel(panGeral, "lblSaldoInicial", {410, 49, 122, 23}, 17, QStringLiteral("Saldo Inicial"));
    lblVrSaldoIni = addLabel(panGeral, "lblVrSaldoIni", {581, 49, 140, 23}, 16, QStringLiteral("250,00"));
    addLabel(panGeral, "lblSaldoFinal", {410, 82, 122, 23}, 17, QStringLiteral("Saldo Final"));
    lblVrSaldoFin = addLabel(panGeral, "lblVrSaldoFin", {581, 82, 140, 23}, 16, QStringLiteral("250,00"));
    for (QLabel* balance : {lblVrSaldoIni, lblVrSaldoFin}) {
        balance->setAlignment(balanceAlignment | Qt::AlignVCenter);
    }

    addShape(panGeral, "blsMensagem", {8, movements::MessageBandTop, 707, 72}, colors::LightGrey);
    rceMsgAdi = new QTextEdit(panGeral);
    rceMsgAdi->setObjectName(QStringLiteral("rceMsgAdi"));
    rceMsgAdi->setGeometry(MessageBoxLeft, MessageBoxLayout.top, MessageBoxWidth, MessageBoxLayout.height);
    rceMsgAdi->setReadOnly(true);
    rceMsgAdi->setFrameShape(QFrame::NoFrame);
    rceMsgAdi->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rceMsgAdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rceMsgAdi->setFont(verdana(16));
    rceMsgAdi->setStyleSheet(QStringLiteral("QTextEdit { color: #000080; background: transparent; }"));
    rceMsgAdi->document()->setDocumentMargin(0);
    rceMsgAdi->document()->setDefaultTextOption(QTextOption(Qt::AlignHCenter));
    rceMsgAdi->setPlainText(QStringLiteral("Mensagem Parametrizada"));

    bbbVoltar = addButton("bbbVoltar", {719, 497, 71, 72}, pictures::Glyph::ExitDoor, false);
    bbbVoltar->setCursor(Qt::ArrowCursor);
}

void StatementScreen::runSetUp(const std::function<void()>& formCreate) {
    runGuarded(formCreate);
    restartCountdown();
}

void StatementScreen::restartCountdown() {
    ::restartCountdown(*inactivityTimer);
}

void StatementScreen::showHeaderAndPeriod() {
    lblCabecalho->setText(movements::headerText(m_context.CDCONSUMIDOR, m_context.NMCONSUMIDOR));
    m_period = movements::StatementPeriod::of(Clock::today(), m_context.NRDIAINITOT, m_context.NRDIAFINTOT);
    lblDtPeriodo->setText(movements::periodText(m_period));
}

QString StatementScreen::periodStartText() const {
    return formats::dateText(m_period.start);
}

QString StatementScreen::periodEndText() const {
    return formats::dateText(m_period.end);
}

void StatementScreen::showBalances(TClientDataSet& movements) {
    const movements::Balances balances = movements::readBalances(movements);
    lblVrSaldoFin->setText(movements::balanceText(balances.finalBalance));
    lblVrSaldoIni->setText(movements::balanceText(balances.initialBalance));
}

void StatementScreen::showMessageText() {
    const QString& message = m_context.DSMSGADITOT;
    const movements::BoxPlace place = movements::fitMessageBox(message, MessageBoxLayout);
    rceMsgAdi->setGeometry(MessageBoxLeft, place.top, MessageBoxWidth, place.height);
    rceMsgAdi->setPlainText(message);
}

void StatementScreen::applyInactivityInterval() {
    inactivityTimer->setInterval(movements::inactivityInterval(m_context.NRSEGFECTOT));
}

void StatementScreen::declareMovementFields(TClientDataSet& list,
                                            std::function<QString(const QVariant&)> typeText,
                                            std::function<QString(const QVariant&)> amountText,
                                            std::function<QString(const QVariant&)> balanceText) {
    list.addFields(answers::accountMovements());
    list.hideFields({QStringLiteral("CDCLIENTE"), QStringLiteral("CDCONSUMIDOR")});
    list.FieldByName(QStringLiteral("IDTIPMOCVLI")).setOnGetText(std::move(typeText));
    list.FieldByName(QStringLiteral("VRMOVCLI")).setOnGetText(std::move(amountText));
    list.FieldByName(QStringLiteral("VRSALDOCONS")).setOnGetText(std::move(balanceText));
}

QTableView* StatementScreen::addGrid(QWidget* parent, const char* name, const QRect& place,
                                     TClientDataSet& list, DataSetModel& model,
                                     std::initializer_list<GridColumn> columns, int titlePixelSize) {
    auto* grid = new QTableView(parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setGeometry(place);
    QStringList fields;
    for (const GridColumn& column : columns) {
        fields.append(QString::fromLatin1(column.field));
        list.FieldByName(fields.back()).setDisplayLabel(column.title);
    }
    model.setColumns(fields);
    QFont cells(QStringLiteral("MS Sans Serif"));
    cells.setPixelSize(11);
    QFont titles(cells);
    titles.setPixelSize(titlePixelSize);
    titles.setBold(true);
    setUpDataGrid(*grid, model, {cells, titles, GridRowHeight, false, gridStyle(titlePixelSize)});
    grid->setFrameShape(QFrame::NoFrame);
    int section = 0;
    for (const GridColumn& column : columns) {
        grid->setColumnWidth(section++, column.width);
    }
    return grid;
}

TBlendedBitBtn* StatementScreen::addButton(const char* name, const QRect& place, pictures::Glyph glyph,
                                           bool circular) {
    auto* button = new TBlendedBitBtn(panGeral);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setShape(circular ? TBlendedBitBtn::Circle : TBlendedBitBtn::RoundRect);
    button->setGlyph(pictures::glyph(glyph, GlyphSize));
    button->setBrushColor(fromBgr(colors::LightGrey));
    button->setDownColor(fromBgr(colors::Silver));
    button->setDownFontColor(fromBgr(colors::White));
    button->setDisabledColor(fromBgr(colors::Gray));
    button->setDisabledFontColor(fromBgr(colors::Silver));
    return button;
}

// The countdown of a screen that has ended stops: no later firing acts on it.
void StatementScreen::done(int result) {
    inactivityTimer->stop();
    TForm::done(result);
}
