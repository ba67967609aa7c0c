#include "statements/TfrmExtratoSimplificado.h"

#include "dialogs/RemoteCall.h"
#include "kit/Application.h"
#include "kit/Buttons.h"
#include "kit/ErrorReport.h"
#include "kit/Modal.h"
#include "kit/core/Messages.h"
#include "kit/core/VirtualKeys.h"
#include "server/ClientDataSet.h"
#include "server/DataSetModel.h"
#include "server/NetConnection.h"
#include "terminal/TerminalContext.h"

#include <QTableView>
#include <QTextEdit>
#include <QTimer>

TfrmExtratoSimplificado::TfrmExtratoSimplificado(const TerminalContext& context, QWidget* parent)
    : StatementScreen(context, "frmExtratoSimplificado", "tmrDataHora", Qt::AlignRight, parent) {
    setWindowTitle(QStringLiteral("Extrato Simplificado"));
    buildLayout();
    runSetUp([this] { FormCreate(); });
}

void TfrmExtratoSimplificado::buildLayout() {
    netExtrato = new TNetConnection(this);
    netExtrato->setObjectName(QStringLiteral("netExtrato"));
    netExtrato->setServerName(QStringLiteral("Qvr.rdmExtratoSimplificado"));
    netExtrato->setThrowException(false);
    connect(netExtrato, &TNetConnection::BeforeConnect, this, [this] { netExtratoBeforeConnect(); });

    cdsExtrato = new TClientDataSet(this);
    cdsExtrato->setObjectName(QStringLiteral("cdsExtrato"));
    declareMovementFields(
        *cdsExtrato, [this](const QVariant& value) { return cdsExtratoIDTIPMOCVLIGetText(value); },
        [this](const QVariant& value) { return cdsExtratoVRMOVCLIGetText(value); },
        [this](const QVariant& value) { return cdsExtratoVRSALDOCONSGetText(value); });
    connectGuarded(cdsExtrato, &TClientDataSet::AfterScroll, this, [this] { cdsExtratoAfterScroll(); });
    dtsExtrato = new DataSetModel(*cdsExtrato, this);
    dtsExtrato->setObjectName(QStringLiteral("dtsExtrato"));

    auto* panExtrato = new QWidget(panGeral);
    panExtrato->setObjectName(QStringLiteral("panExtrato"));
    panExtrato->setGeometry(8, 119, 707, 373);
    dbgExtSimples = addGrid(panExtrato, "dbgExtSimples", panExtrato->rect(), *cdsExtrato, *dtsExtrato,
                            {{"DTMOVCLI", QStringLiteral("Data"), 126},
                             {"IDTIPMOCVLI", QStringLiteral("Operação"), 308},
                             {"VRMOVCLI", QStringLiteral("Valor"), 91},
                             {"VRSALDOCONS", QStringLiteral("Saldo"), 91}},
                            13);

    // Whole inside the 792-pixel form, their right edge on the Back button's: a layout of x 716 and 715 cut
    // both ovals flat on the right.
    bbbAnterior = addButton("bbbAnterior", {703, 182, 87, 55}, pictures::Glyph::ArrowUp, true);
    bbbProximo = addButton("bbbProximo", {703, 382, 87, 55}, pictures::Glyph::ArrowDown, true);
    setTabOrder(dbgExtSimples, rceMsgAdi);
    connectGuarded(bbbAnterior, &QAbstractButton::clicked, this, [this] { bbbAnteriorClick(); });
    connectGuarded(bbbProximo, &QAbstractButton::clicked, this, [this] { bbbProximoClick(); });
    connectGuarded(bbbVoltar, &QAbstractButton::clicked, this, [this] { bbbVoltarClick(); });
    connectGuarded(inactivityTimer, &QTimer::timeout, this, [this] { tmrDataHoraTimer(); });
}

void TfrmExtratoSimplificado::FormCreate() {
    Trad(this);
    ConnectUnderWait(*netExtrato);
    applyApplicationLook(this);
    showHeaderAndPeriod();

    const QStringList arguments{m_context.branchCode, m_context.CDCLIENTE, m_context.CDCONSUMIDOR,
                                periodStartText(), periodEndText()};
    cdsExtrato->setData(CallChecked(
        *netExtrato, QStringLiteral("getMoviClie"), QVariantList(arguments.begin(), arguments.end()),
        QStringLiteral("getMoviClie"), QStringLiteral("Cli_Qvr00300"), arguments.join(u'-')));
    showBalances(*cdsExtrato);
    showMessageText();
    applyInactivityInterval();
}

void TfrmExtratoSimplificado::netExtratoBeforeConnect() {
    PointAtApplicationServer(*netExtrato);
}

QString TfrmExtratoSimplificado::cdsExtratoIDTIPMOCVLIGetText(const QVariant& value) const {
    return movements::movementTypeText(value, *msgPadrao);
}

QString TfrmExtratoSimplificado::cdsExtratoVRMOVCLIGetText(const QVariant& value) const {
    return movements::amountText(value);
}

QString TfrmExtratoSimplificado::cdsExtratoVRSALDOCONSGetText(const QVariant& value) const {
    return movements::amountText(value);
}

// Every move of the current row, whatever caused it, counts as activity.
void TfrmExtratoSimplificado::cdsExtratoAfterScroll() {
    restartCountdown();
}

void TfrmExtratoSimplificado::bbbAnteriorClick() {
    movements::page(*cdsExtrato, movements::Paging::Previous, *inactivityTimer);
}

void TfrmExtratoSimplificado::bbbProximoClick() {
    movements::page(*cdsExtrato, movements::Paging::Next, *inactivityTimer);
}

// Keys that reach the form itself page the list; the key goes on as usual.
void TfrmExtratoSimplificado::FormKeyDown(int& key, Qt::KeyboardModifiers /*shift*/) {
    if (key == vk::Up || key == vk::Left) {
        bbbAnteriorClick();
    } else if (key == vk::Down || key == vk::Right) {
        bbbProximoClick();
    }
}

void TfrmExtratoSimplificado::bbbVoltarClick() {
    close();
}

void TfrmExtratoSimplificado::tmrDataHoraTimer() {
    bbbVoltar->click();
}

void ShowExtratoSimplificado(const TerminalContext& context) {
    TfrmExtratoSimplificado form(context);
    ExecModal(form);
}
