#include "statements/TfrmExtratoGrupo.h"

#include "dialogs/RemoteCall.h"
#include "kit/Application.h"
#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "kit/DataGrid.h"
#include "kit/ErrorReport.h"
#include "kit/Layout.h"
#include "kit/Modal.h"
#include "kit/Pictures.h"
#include "kit/Shapes.h"
#include "kit/core/Clock.h"
#include "kit/core/Countdown.h"
#include "kit/core/Dates.h"
#include "kit/core/Formats.h"
#include "kit/core/Messages.h"
#include "kit/core/VirtualKeys.h"
#include "server/ClientDataSet.h"
#include "server/DataSetModel.h"
#include "server/NetConnection.h"
#include "statements/GroupPeriod.h"
#include "statements/GroupQuery.h"
#include "statements/SubGroupTotals.h"
#include "terminal/TerminalContext.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTimer>

#include <vector>

namespace {

using layout::addLabel;
using layout::tahoma;

const QString ProgramName = QStringLiteral("Cli_Qvr00200");
const QString DesignTotal = QStringLiteral("00,00");
constexpr int LayoutTimerInterval = 100000;

struct GridColumn {
    const char* field;
    int width;
};
constexpr int DefaultColumnWidth = 64;

TBlendedBitBtn* addButton(QWidget* parent, const char* name, const QRect& place, pictures::Glyph glyph,
                          const QString& caption = {}) {
    auto* button = new TBlendedBitBtn(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setCaption(caption);
    button->setGlyph(pictures::glyph(glyph, caption.isEmpty() ? 32 : 28));
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(15);
    font.setBold(true);
    button->setFont(font);
    return button;
}

TBlendedBitBtn* addRoundButton(QWidget* parent, const char* name, QPoint place, pictures::Glyph glyph) {
    TBlendedBitBtn* button = addButton(parent, name, QRect(place, QSize(61, 51)), glyph);
    button->setShape(BlendedButtonBase::Circle);
    return button;
}

// Navy text on light blue, titles in orange on navy, the current row in the highlight colour of the other
// lists: in navy it merged with the titles when the first row was current.
GridLook groupGridLook() {
    return {
        tahoma(11, true), tahoma(13, true), 19, true,
        QStringLiteral(
            "QTableView { color: #000080; background: %1; gridline-color: #808080; "
            "selection-background-color: palette(highlight); selection-color: palette(highlighted-text); }"
            "QHeaderView { background: %1; }"
            "QHeaderView::section { color: %2; background: #000080; "
            "border: 1px solid #C0C0C0; padding: 1px 3px; }")
            .arg(fromBgr(15589585).name(), fromBgr(6736127).name())};
}

// A read-only grid over a dataset, showing the given fields at the given widths, without row indicator.
QTableView* addGrid(QWidget* parent, const char* name, const QRect& place, TClientDataSet& dataSet,
                    const std::vector<GridColumn>& columns) {
    auto* grid = new QTableView(parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setGeometry(place);
    auto* model = new DataSetModel(dataSet, grid);
    QStringList fields;
    for (const GridColumn& column : columns) {
        fields.append(QString::fromLatin1(column.field));
    }
    model->setColumns(fields);
    setUpDataGrid(*grid, *model, groupGridLook());
    for (int column = 0; column < static_cast<int>(columns.size()); ++column) {
        grid->setColumnWidth(column, columns[static_cast<std::size_t>(column)].width);
    }
    return grid;
}

}  // namespace

TfrmExtratoGrupo::TfrmExtratoGrupo(const TerminalContext& context, const QString& storeCode,
                                   const QString& storeName, QWidget* parent)
    : TForm(parent), m_context(context), m_storeCode(storeCode), m_storeName(storeName) {
    setObjectName(QStringLiteral("frmExtratoGrupo"));
    setClientSize(800, 578);
    msgPadrao = new TMessages(
        {QStringLiteral("Consumidor|Passe o Crachá ou Digite o Código do Consumidor"),
         QStringLiteral("getValidaCons|Verificando consumidor."),
         QStringLiteral("Cons_NCad|Consumidor não cadastrado."), QStringLiteral("IP|Endereço IP : "),
         QStringLiteral("Nenhum|Nenhum"), QStringLiteral("Versao|Versão "),
         QStringLiteral("Cons_Deve|Consumidor deve ser informado."),
         QStringLiteral("ErroDll|Erro ao carregar Dll."), QStringLiteral("Atual|Mês Atual"),
         QStringLiteral("Anterior|Mês Anterior"), QStringLiteral("Loja|Loja")},
        this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));

    netExtratoGrupo = new TNetConnection(this);
    netExtratoGrupo->setObjectName(QStringLiteral("netExtratoGrupo"));
    netExtratoGrupo->setServerName(QStringLiteral("Qvr.rdmExtratoGrupo"));
    netExtratoGrupo->setThrowException(false);
    connectGuarded(netExtratoGrupo, &TNetConnection::BeforeConnect, this,
                   [this] { netExtratoGrupoBeforeConnect(); });

    timDataHora = new QTimer(this);
    timDataHora->setObjectName(QStringLiteral("timDataHora"));
    timDataHora->setInterval(LayoutTimerInterval);
    connectGuarded(timDataHora, &QTimer::timeout, this, [this] { timDataHoraTimer(); });

    declareTables();
    buildLayout();
    runGuarded([this] { FormCreate(); });
}

void TfrmExtratoGrupo::declareTables() {
    cdsProduto = new TClientDataSet(this);
    cdsProduto->setObjectName(QStringLiteral("cdsProduto"));
    declareProductLines(*cdsProduto);
    cdsGrupo = new TClientDataSet(this);
    cdsGrupo->setObjectName(QStringLiteral("cdsGrupo"));
    declareSubGroups(*cdsGrupo);
    cdsFinal = new TClientDataSet(this);
    cdsFinal->setObjectName(QStringLiteral("cdsFinal"));
    declareSubGroupList(*cdsFinal);
    connectGuarded(cdsFinal, &TClientDataSet::AfterScroll, this, [this] { cdsFinalAfterScroll(); });
}

void TfrmExtratoGrupo::buildLayout() {
    auto* background = new TBlendedShape(this, TBlendedShape::stRoundRect, fromBgr(colors::Silver));
    background->setGeometry(rect());
    for (const QRect& panel : {QRect(3, 4, 794, 59), QRect(3, 66, 794, 440), QRect(3, 509, 794, 67)}) {
        auto* shape = new TBlendedShape(this, TBlendedShape::stRoundRect, fromBgr(colors::PanelGrey));
        shape->setGeometry(panel);
    }
    buildHeader();
    buildGrids();
    buildButtons();
    buildFooter();
}

void TfrmExtratoGrupo::buildHeader() {
    const QFont text = tahoma(19, false);
    const QFont date = tahoma(15, true);
    lblCabec = addLabel(this, "lblCabec", QRect(8, 7, 777, 24), tahoma(19, true));
    lblCabec->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    addLabel(this, "lblPeriodo", QRect(9, 34, 78, 24), text, QStringLiteral("Período"));
    lblDe = addLabel(this, "lblDe", QRect(89, 37, 104, 20), date);
    addLabel(this, "lblA", QRect(194, 33, 14, 24), text, QStringLiteral("a"));
    lblAte = addLabel(this, "lblAte", QRect(209, 37, 126, 20), date);
    lblMes = addLabel(this, "lblMes", QRect(337, 35, 128, 24), text);
    lblLoja = addLabel(this, "lblLoja", QRect(481, 35, 304, 24), text);
}

void TfrmExtratoGrupo::buildGrids() {
    dbgSubGrupo = addGrid(this, "dbgSubGrupo", QRect(10, 72, 206, 370), *cdsFinal,
                          {{"NMSUBGRPROD", 121}, {"VRTOTAL", DefaultColumnWidth}});
    dbgProdutos = addGrid(this, "dbgProdutos", QRect(222, 71, 513, 429), *cdsProduto,
                          {{"DTENTRVENDA", 59},
                           {"NMPRODUTO", 176},
                           {"QTPRODVEND", 51},
                           {"VRUNITVENDCL", 75},
                           {"VRUNITVEND", DefaultColumnWidth},
                           {"VRTOTAL", 76}});
    previewKeysOf(dbgSubGrupo);
    previewKeysOf(dbgProdutos);
}

void TfrmExtratoGrupo::buildButtons() {
    using pictures::Glyph;
    using Handler = void (TfrmExtratoGrupo::*)();
    const auto onClick = [this](QAbstractButton* button, Handler handler) {
        connectGuarded(button, &QAbstractButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    onClick(addRoundButton(this, "sbtPrimProd", {735, 76}, Glyph::First),
            &TfrmExtratoGrupo::sbtPrimProdClick);
    onClick(addRoundButton(this, "sbtProdAnt", {735, 131}, Glyph::ArrowUp),
            &TfrmExtratoGrupo::sbtProdAntClick);
    onClick(addRoundButton(this, "sbtProdPost", {735, 385}, Glyph::ArrowDown),
            &TfrmExtratoGrupo::sbtProdPostClick);
    onClick(addRoundButton(this, "sbtUltProd", {735, 445}, Glyph::Last), &TfrmExtratoGrupo::sbtUltProdClick);
    onClick(addRoundButton(this, "sbtGrupoAnt", {9, 446}, Glyph::ArrowUp),
            &TfrmExtratoGrupo::sbtGrupoAntClick);
    onClick(addRoundButton(this, "sbtGrupoPost", {152, 447}, Glyph::ArrowDown),
            &TfrmExtratoGrupo::sbtGrupoPostClick);
    onClick(addButton(this, "sbtSair", QRect(13, 513, 123, 57), Glyph::ExitDoor, QStringLiteral("&Sair")),
            &TfrmExtratoGrupo::sbtSairClick);
    sbtMesAnt = addButton(this, "sbtMesAnt", QRect(665, 513, 123, 57), Glyph::Previous,
                          QStringLiteral("&Mês\nAnterior"));
    onClick(sbtMesAnt, &TfrmExtratoGrupo::sbtMesAntClick);
}

void TfrmExtratoGrupo::buildFooter() {
    const QFont text = tahoma(19, false);
    addLabel(this, "lblTextoTotSubs", QRect(217, 517, 250, 24), text,
             QStringLiteral("Total Geral Subsidiado"));
    addLabel(this, "lblTextoTotFunc", QRect(217, 545, 250, 24), text,
             QStringLiteral("Total Geral Funcionário"));
    // The amounts keep their right edge where the design text ends and grow to the left; the captions may
    // run under them in a wider fallback font, as both are transparent.
    lblTotSubs = addLabel(this, "lblTotSubs", QRect(431, 517, 110, 24), text, DesignTotal);
    lblTotFunc = addLabel(this, "lblTotFunc", QRect(431, 544, 110, 24), text, DesignTotal);
    lblTotSubs->setAlignment(Qt::AlignRight | Qt::AlignTop);
    lblTotFunc->setAlignment(Qt::AlignRight | Qt::AlignTop);
}

// Set-up, at creation and again at each change of month. A failure ends it where it happens; the screen
// keeps what had been shown until then.
void TfrmExtratoGrupo::FormCreate() {
    Trad(this);
    if (!m_mesAnterior) {
        ConnectUnderWait(*netExtratoGrupo);
        applyApplicationLook(this);
        lblCabec->setText(m_context.typedCode + QStringLiteral(" - ") + m_context.NMCONSUMIDOR);
    }
    lblLoja->setText(groupStoreLine(msgPadrao->Msg(QStringLiteral("LOJA")), m_storeCode, m_storeName));
    showPeriod();
    cdsFinal->CreateDataSet();
    // The totals of another period must never stand beside this period's dates, even when its call fails.
    showTotals(DesignTotal, DesignTotal);
    loadProducts();
    const GrandTotals totals = buildSubGroupList(*cdsGrupo, *cdsProduto, *cdsFinal);
    cdsFinal->First();
    showTotals(formats::formatFloat(QStringLiteral("#,##0.00"), totals.subsidised),
               formats::formatFloat(QStringLiteral("#,##0.00"), totals.employee));
    startInactivityTimer();
}

void TfrmExtratoGrupo::showPeriod() {
    m_period = GroupPeriod::of(Clock::today(), m_context.NRDIAINITOT, m_context.NRDIAFINTOT, m_mesAnterior);
    lblDe->setText(formats::dateText(m_period.start));
    lblAte->setText(formats::dateText(m_period.end));
    lblMes->setText(NomeMes(m_period.start));
}

void TfrmExtratoGrupo::loadProducts() {
    const GroupQuery query = GroupQuery::of(m_context, m_period.start, m_period.end, m_storeCode);
    const QString method = QStringLiteral("getProdutos");
    const QVariant answer =
        CallChecked(*netExtratoGrupo, method, query.arguments(), method, ProgramName, query.parametersText());
    cdsProduto->loadPacket(packetFrom(answer, 0));
    cdsGrupo->loadPacket(packetFrom(answer, 1));
}

void TfrmExtratoGrupo::showTotals(const QString& subsidised, const QString& employee) {
    lblTotSubs->setText(subsidised);
    lblTotFunc->setText(employee);
}

void TfrmExtratoGrupo::armInactivityTimer(int interval) {
    timDataHora->setInterval(interval);
    ::restartCountdown(*timDataHora);
}

void TfrmExtratoGrupo::startInactivityTimer() {
    timDataHora->stop();
    restartCountdown();
}

void TfrmExtratoGrupo::restartCountdown() {
    const int interval = groupInactivityInterval(m_context.NRSEGFECTOT);
    if (interval >= 0) {
        armInactivityTimer(interval);
    }
}

void TfrmExtratoGrupo::netExtratoGrupoBeforeConnect() {
    PointAtApplicationServer(*netExtratoGrupo);
}

void TfrmExtratoGrupo::cdsFinalAfterScroll() {
    restrictToSubGroup(*cdsProduto, cdsFinal->FieldByName(QStringLiteral("CDSUBGRPROD")).asString());
}

void TfrmExtratoGrupo::sbtGrupoAntClick() {
    dbgSubGrupo->setFocus();
    cdsFinal->Prior();
    restartCountdown();
}

void TfrmExtratoGrupo::sbtGrupoPostClick() {
    dbgSubGrupo->setFocus();
    cdsFinal->Next();
    restartCountdown();
}

void TfrmExtratoGrupo::sbtPrimProdClick() {
    dbgProdutos->setFocus();
    cdsProduto->First();
    restartCountdown();
}

void TfrmExtratoGrupo::sbtProdAntClick() {
    dbgProdutos->setFocus();
    cdsProduto->Prior();
    restartCountdown();
}

void TfrmExtratoGrupo::sbtProdPostClick() {
    dbgProdutos->setFocus();
    cdsProduto->Next();
    restartCountdown();
}

void TfrmExtratoGrupo::sbtUltProdClick() {
    dbgProdutos->setFocus();
    cdsProduto->Last();
    restartCountdown();
}

void TfrmExtratoGrupo::sbtMesAntClick() {
    sbtMesAnt->setCaption(
        msgPadrao->Msg(m_mesAnterior ? QStringLiteral("Anterior") : QStringLiteral("Atual")));
    m_mesAnterior = !m_mesAnterior;
    FormCreate();
}

void TfrmExtratoGrupo::sbtSairClick() {
    close();
}

void TfrmExtratoGrupo::timDataHoraTimer() {
    close();
}

// Alt+F4 must not end the consultation: the screen closes only by "Sair" or by its timer.
void TfrmExtratoGrupo::FormKeyDown(int& key, Qt::KeyboardModifiers shift) {
    if (key == vk::F4 && vk::altAlone(shift)) {
        key = 0;
    }
}

// Runs on every way the screen ends, also when the timer closes it while an error report is shown over it.
void TfrmExtratoGrupo::FormClose() {
    timDataHora->stop();
    DisconnectFully(*netExtratoGrupo);
}

void ShowExtratoGrupo(const TerminalContext& context, const QString& storeCode, const QString& storeName) {
    TfrmExtratoGrupo form(context, storeCode, storeName);
    ExecModal(form);
}
