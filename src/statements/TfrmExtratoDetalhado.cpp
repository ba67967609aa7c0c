#include "statements/TfrmExtratoDetalhado.h"

#include "dialogs/RemoteCall.h"
#include "kit/Application.h"
#include "kit/Buttons.h"
#include "kit/ErrorReport.h"
#include "kit/Modal.h"
#include "kit/core/Messages.h"
#include "kit/core/VirtualKeys.h"
#include "server/Answers.h"
#include "server/ClientDataSet.h"
#include "server/DataSetModel.h"
#include "server/NetConnection.h"
#include "terminal/TerminalContext.h"

#include <QKeyEvent>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>

namespace {

constexpr int TitlePixelSize = 11;
// The grid's default width of a date-time column.
constexpr int DateColumnWidth = 130;

bool isUpOrDown(int key) {
    return key == vk::Up || key == vk::Down;
}

QVariantList asArguments(const QStringList& texts) {
    return {texts.begin(), texts.end()};
}

}  // namespace

TfrmExtratoDetalhado::TfrmExtratoDetalhado(const TerminalContext& context, const QString& branchCode,
                                           const QString& registerCode, QWidget* parent)
    : StatementScreen(context, "frmExtratoDetalhado", "timDataHora", Qt::AlignLeft, parent),
      m_branchCode(branchCode),
      m_registerCode(registerCode) {
    buildLayout();
    runSetUp([this] { FormCreate(); });
}

void TfrmExtratoDetalhado::buildLayout() {
    netExtratoDetalhado = new TNetConnection(this);
    netExtratoDetalhado->setObjectName(QStringLiteral("netExtratoDetalhado"));
    netExtratoDetalhado->setServerName(QStringLiteral("Qvr.rdmExtratoDetalhado"));
    netExtratoDetalhado->setServerGUID(QStringLiteral("{3A6445E3-6B74-407B-BF73-EE033494058A}"));
    netExtratoDetalhado->setThrowException(false);
    connect(netExtratoDetalhado, &TNetConnection::BeforeConnect, this,
            [this] { netExtratoDetalhadoBeforeConnect(); });

    cdsMovCli = new TClientDataSet(this);
    cdsMovCli->setObjectName(QStringLiteral("cdsMovCli"));
    declareMovementFields(
        *cdsMovCli, [this](const QVariant& value) { return cdsMovCliIDTIPMOCVLIGetText(value); },
        [this](const QVariant& value) { return cdsMovCliVRMOVCLIGetText(value); },
        [this](const QVariant& value) { return cdsMovCliVRSALDOCONSGetText(value); });
    dtsMovCli = new DataSetModel(*cdsMovCli, this);
    dtsMovCli->setObjectName(QStringLiteral("dtsMovCli"));
    cdsProduto = new TClientDataSet(this);
    cdsProduto->setObjectName(QStringLiteral("cdsProduto"));
    declarePurchaseFields();
    dtsVendas = new DataSetModel(*cdsProduto, this);
    dtsVendas->setObjectName(QStringLiteral("dtsVendas"));

    dbgMoviCli = addGrid(panGeral, "dbgMoviCli", {8, 128, 707, 182}, *cdsMovCli, *dtsMovCli,
                         {{"DTMOVCLI", QStringLiteral("Data"), DateColumnWidth},
                          {"IDTIPMOCVLI", QStringLiteral("Operação"), 367},
                          {"VRMOVCLI", QStringLiteral("Valor"), 79},
                          {"VRSALDOCONS", QStringLiteral("Saldo"), 102}},
                         TitlePixelSize);
    dbgVenda = addGrid(panGeral, "dbgVenda", {8, 311, 707, 182}, *cdsProduto, *dtsVendas,
                       {{"DTVENDA", QStringLiteral("Data"), DateColumnWidth},
                        {"NMPRODUTO", QStringLiteral("Produto"), 328},
                        {"QTPRODVEND", QStringLiteral("Qtde"), 70},
                        {"VRUNITVEND", QStringLiteral("Valor "), 66},
                        {"VRTOTVEND", QStringLiteral("Vr. Total"), 87}},
                       TitlePixelSize);
    setTabOrder(dbgMoviCli, dbgVenda);
    setTabOrder(dbgVenda, rceMsgAdi);
    for (QTableView* grid : {dbgMoviCli, dbgVenda}) {
        grid->installEventFilter(this);
    }

    bbbMovCliAnterior = addButton("bbbMovCliAnterior", {705, 133, 87, 55}, pictures::Glyph::ArrowUp, true);
    bbbMovCliProximo = addButton("bbbMovCliProximo", {705, 246, 87, 55}, pictures::Glyph::ArrowDown, true);
    bbbVendasAnterior = addButton("bbbVendasAnterior", {705, 325, 87, 55}, pictures::Glyph::ArrowUp, true);
    bbbVendasProximo = addButton("bbbVendasProximo", {705, 438, 87, 55}, pictures::Glyph::ArrowDown, true);
    const auto onClick = [this](TBlendedBitBtn* button, void (TfrmExtratoDetalhado::*handler)()) {
        connectGuarded(button, &QAbstractButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    onClick(bbbMovCliAnterior, &TfrmExtratoDetalhado::bbbMovCliAnteriorClick);
    onClick(bbbMovCliProximo, &TfrmExtratoDetalhado::bbbMovCliProximoClick);
    onClick(bbbVendasAnterior, &TfrmExtratoDetalhado::bbbVendasAnteriorClick);
    onClick(bbbVendasProximo, &TfrmExtratoDetalhado::bbbVendasProximoClick);
    onClick(bbbVoltar, &TfrmExtratoDetalhado::bbbVoltarClick);
    connectGuarded(inactivityTimer, &QTimer::timeout, this, [this] { timDataHoraTimer(); });
}

void TfrmExtratoDetalhado::declarePurchaseFields() {
    cdsProduto->addFields(answers::purchases());
    cdsProduto->FieldByName(QStringLiteral("VRUNITVEND")).setOnGetText([this](const QVariant& value) {
        return cdsProdutoVRUNITVENDGetText(value);
    });
    cdsProduto->FieldByName(QStringLiteral("VRTOTVEND"))
        .setReadOnly(true)
        .setOnGetText([this](const QVariant& value) { return cdsProdutoVRTOTVENDGetText(value); });
    cdsProduto->hideFields(
        {QStringLiteral("NRSEQVENDA"), QStringLiteral("CDPRODUTO"), QStringLiteral("CDARVPROD")});
}

void TfrmExtratoDetalhado::FormCreate() {
    Trad(this);
    ConnectUnderWait(*netExtratoDetalhado);
    applyApplicationLook(this);
    showHeaderAndPeriod();
    loadMovements();
    loadPurchases();
    showMessageText();
    applyInactivityInterval();
}

void TfrmExtratoDetalhado::loadMovements() {
    const QStringList arguments{m_context.branchCode, m_context.CDCLIENTE, m_context.CDCONSUMIDOR,
                                periodStartText(), periodEndText()};
    // The error report names the consumer before the client.
    const QStringList reported{m_context.branchCode, m_context.CDCONSUMIDOR, m_context.CDCLIENTE,
                               periodStartText(), periodEndText()};
    cdsMovCli->setData(CallChecked(*netExtratoDetalhado, QStringLiteral("GetMoviClie"),
                                   asArguments(arguments), QStringLiteral("getMoviClie"),
                                   QStringLiteral("Cli_Qvr00400"), reported.join(u'-')));
    showBalances(*cdsMovCli);
}

void TfrmExtratoDetalhado::loadPurchases() {
    const QStringList arguments{m_branchCode,           m_registerCode,    m_context.CDCLIENTE,
                                m_context.CDCONSUMIDOR, periodStartText(), periodEndText()};
    cdsProduto->setData(CallChecked(*netExtratoDetalhado, QStringLiteral("GetProduto"),
                                    asArguments(arguments), QStringLiteral("getProduto"),
                                    QStringLiteral("Cli_Qvr00400"), arguments.join(u'-')));
}

void TfrmExtratoDetalhado::netExtratoDetalhadoBeforeConnect() {
    PointAtApplicationServer(*netExtratoDetalhado);
}

QString TfrmExtratoDetalhado::cdsMovCliIDTIPMOCVLIGetText(const QVariant& value) const {
    return movements::movementTypeText(value, *msgPadrao);
}

QString TfrmExtratoDetalhado::cdsMovCliVRMOVCLIGetText(const QVariant& value) const {
    return movements::amountText(value);
}

QString TfrmExtratoDetalhado::cdsMovCliVRSALDOCONSGetText(const QVariant& value) const {
    return movements::amountText(value);
}

QString TfrmExtratoDetalhado::cdsProdutoVRUNITVENDGetText(const QVariant& value) const {
    return movements::amountText(value);
}

QString TfrmExtratoDetalhado::cdsProdutoVRTOTVENDGetText(const QVariant& value) const {
    return movements::amountText(value);
}

// The pair of paging buttons follows the grid that holds the focus; the movements grid comes first.
void TfrmExtratoDetalhado::FormActivate() {
    enableMovementPaging(!dbgVenda->hasFocus());
}

void TfrmExtratoDetalhado::dbgMoviCliEnter() {
    enableMovementPaging(true);
}

void TfrmExtratoDetalhado::dbgVendaEnter() {
    enableMovementPaging(false);
}

void TfrmExtratoDetalhado::enableMovementPaging(bool movements) {
    bbbMovCliAnterior->setEnabled(movements);
    bbbMovCliProximo->setEnabled(movements);
    bbbVendasAnterior->setEnabled(!movements);
    bbbVendasProximo->setEnabled(!movements);
}

bool TfrmExtratoDetalhado::eventFilter(QObject* watched, QEvent* event) {
    const bool movementsGrid = watched == dbgMoviCli;
    if (!movementsGrid && watched != dbgVenda) {
        return StatementScreen::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::FocusIn:
            runGuarded([&] { movementsGrid ? dbgMoviCliEnter() : dbgVendaEnter(); });
            break;
        case QEvent::KeyPress: {
            const int key = vk::fromQtKey(static_cast<QKeyEvent*>(event)->key());
            runGuarded([&] { movementsGrid ? dbgMoviCliKeyDown(key) : dbgVendaKeyDown(key); });
            break;
        }
        case QEvent::KeyRelease: {
            const auto* release = static_cast<QKeyEvent*>(event);
            // Held keys repeat as release and press pairs here; only the real release ends the hold.
            if (!release->isAutoRepeat()) {
                const int key = vk::fromQtKey(release->key());
                runGuarded([&] { movementsGrid ? dbgMoviCliKeyUp(key) : dbgVendaKeyUp(key); });
            }
            break;
        }
        default:
            break;
    }
    // The grid still handles every key as usual.
    return false;
}

// Holding Up or Down in a grid holds the countdown; releasing it starts the countdown afresh.
void TfrmExtratoDetalhado::dbgMoviCliKeyDown(int key) {
    holdCountdownOnArrow(key);
}

void TfrmExtratoDetalhado::dbgMoviCliKeyUp(int key) {
    releaseCountdownOnArrow(key);
}

void TfrmExtratoDetalhado::dbgVendaKeyDown(int key) {
    holdCountdownOnArrow(key);
}

void TfrmExtratoDetalhado::dbgVendaKeyUp(int key) {
    releaseCountdownOnArrow(key);
}

void TfrmExtratoDetalhado::holdCountdownOnArrow(int key) {
    if (isUpOrDown(key)) {
        inactivityTimer->stop();
    }
}

void TfrmExtratoDetalhado::releaseCountdownOnArrow(int key) {
    if (isUpOrDown(key)) {
        inactivityTimer->start();
    }
}

void TfrmExtratoDetalhado::bbbMovCliAnteriorClick() {
    movements::page(*cdsMovCli, movements::Paging::Previous, *inactivityTimer);
}

void TfrmExtratoDetalhado::bbbMovCliProximoClick() {
    movements::page(*cdsMovCli, movements::Paging::Next, *inactivityTimer);
}

void TfrmExtratoDetalhado::bbbVendasAnteriorClick() {
    movements::page(*cdsProduto, movements::Paging::Previous, *inactivityTimer);
}

void TfrmExtratoDetalhado::bbbVendasProximoClick() {
    movements::page(*cdsProduto, movements::Paging::Next, *inactivityTimer);
}

void TfrmExtratoDetalhado::bbbVoltarClick() {
    close();
}

void TfrmExtratoDetalhado::timDataHoraTimer() {
    close();
}

void ShowExtratoDetalhado(const TerminalContext& context, const QString& branchCode,
                          const QString& registerCode) {
    TfrmExtratoDetalhado form(context, branchCode, registerCode);
    ExecModal(form);
}
