#include "terminal/TfrmTerminalConsu.h"

#include "dialogs/RemoteCall.h"
#include "dialogs/TfrmMensagem.h"
#include "dialogs/TfrmPesquisa.h"
#include "kit/Application.h"
#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "kit/ErrorReport.h"
#include "kit/KeypadPanel.h"
#include "kit/Layout.h"
#include "kit/Modal.h"
#include "kit/Shapes.h"
#include "kit/WaitOverlay.h"
#include "kit/core/Clock.h"
#include "kit/core/Errors.h"
#include "kit/core/Formats.h"
#include "kit/core/KeypadEntry.h"
#include "kit/core/Messages.h"
#include "kit/core/ServerAddress.h"
#include "kit/core/Strings.h"
#include "kit/core/VirtualKeys.h"
#include "server/Answers.h"
#include "server/ClientDataSet.h"
#include "server/NetConnection.h"
#include "statements/TfrmExtratoDetalhado.h"
#include "statements/TfrmExtratoGrupo.h"
#include "statements/TfrmExtratoSimplificado.h"
#include "terminal/ConsultationPeriod.h"
#include "terminal/IdleStrip.h"
#include "terminal/TerminalContext.h"

#include <QFrame>
#include <QLabel>
#include <QScopeGuard>
#include <QTimer>

#include <cmath>

namespace {

const QString ProgramName = QStringLiteral("Cli_Qvr00100");
const QString Yes = QStringLiteral("S");
const QString VersionNumber = QStringLiteral("4.00");

using layout::addLabel;
using layout::tahoma;

void showError(const QString& text) {
    ShowMessageForm(text, QString(), QStringLiteral("N"), QStringLiteral("N"), 3, QString(),
                    QStringLiteral("002"));
}

QString failureText(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

}  // namespace

TfrmTerminalConsu::TfrmTerminalConsu(TerminalContext& context, const QString& branchCode,
                                     const QString& registerCode, QWidget* parent)
    : TForm(parent), m_context(context) {
    setObjectName(QStringLiteral("frmTerminalConsu"));
    m_context.branchCode = branchCode;
    m_context.registerCode = registerCode;
    msgPadrao = new TMessages(
        {QStringLiteral("Consumidor|Passe o Crachá ou Digite o Código do Consumidor"),
         QStringLiteral("getValidaCons|Verificando consumidor."),
         QStringLiteral("Cons_NCad|Consumidor não cadastrado."), QStringLiteral("IP|Endereço IP : "),
         QStringLiteral("Nenhum|Nenhum"), QStringLiteral("Versao|Versão "),
         QStringLiteral("Cons_Deve|Consumidor deve ser informado."),
         QStringLiteral("ErroDll|Erro ao carregar Dll."), QStringLiteral("CaixaNCAD|Caixa não cadastrado."),
         QStringLiteral("Cons|Consumidor"), QStringLiteral("SaldoPess|Pessoal"),
         QStringLiteral("SaldoEmpr|Empresa"), QStringLiteral("SaldoTotal|Saldo Total"),
         QStringLiteral("ExtrCons|&Extrato")},
        this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));
    netTerminalCons = new TNetConnection(this);
    netTerminalCons->setObjectName(QStringLiteral("netTerminalCons"));
    netTerminalCons->setServerName(QStringLiteral("Qvr.rdmTerminalCons"));
    netTerminalCons->setThrowException(false);
    netTerminalCons->setTerminal(branchCode + registerCode);
    connect(netTerminalCons, &TNetConnection::BeforeConnect, this,
            &TfrmTerminalConsu::netTerminalConsBeforeConnect);
    declareDataSets();
    buildLayout();
    FormCreate();
}

void TfrmTerminalConsu::declareDataSets() {
    const auto dataSet = [this](const char* name) {
        auto* dataset = new TClientDataSet(this);
        dataset->setObjectName(QString::fromLatin1(name));
        return dataset;
    };
    cdsConsumidor = dataSet("cdsConsumidor");
    cdsConsumidor->addFields(answers::consumer());
    cdsParametrosCx = dataSet("cdsParametrosCx");
    cdsParametrosCx->addFields(answers::registerParameters());
    cdsParaVend = dataSet("cdsParaVend");
    cdsParaVend->addFields(answers::codePositions());
    cdsSaldo = dataSet("cdsSaldo");
    cdsSaldo->addFields(answers::balances());
    cdsLoja = dataSet("cdsLoja");
    cdsLoja->addFields(answers::stores());
    cdsLoja->hideFields(
        {QStringLiteral("CDFILIAL"), QStringLiteral("CDCLIENTE"), QStringLiteral("CDCONSUMIDOR")});
    cdsLoja->FieldByName(QStringLiteral("CDLOJA")).setDisplayLabel(QStringLiteral("Código"));
    cdsLoja->FieldByName(QStringLiteral("NMLOJA")).setDisplayLabel(QStringLiteral("Nome"));
}

// ---- layout ----

void TfrmTerminalConsu::buildLayout() {
    setClientSize(544, 413);
    auto* background = new TBlendedShape(this, TBlendedShape::stRoundRect, fromBgr(colors::Silver));
    background->setGeometry(rect());
    const auto strip = [this](const QRect& place, quint32 colour) {
        layout::addShape(this, "", place, colour);
    };
    strip(QRect(3, 3, 540, 30), colors::Navy);
    lblTitulo =
        addLabel(this, "lblTitulo", QRect(3, 3, 540, 30), tahoma(19, true), QString(), Qt::AlignCenter);
    layout::setColour(*lblTitulo, QPalette::WindowText, colors::White);
    lblTitulo->setText(QStringLiteral("Terminal de Consulta"));

    strip(QRect(3, 36, 539, 57), colors::PanelGrey);
    lblCabec =
        addLabel(this, "lblCabec", QRect(8, 36, 529, 57), tahoma(15, true), QString(), Qt::AlignCenter);
    lblCabec->setWordWrap(true);
    lblCabec->setText(QStringLiteral(
        "Passe o Crachá ou Digite o Código do Consumidor para consultar todos os seus extratos do período"));

    strip(QRect(251, 96, 290, 48), colors::White);
    lblBuffer = addLabel(this, "lblBuffer", QRect(255, 96, 280, 48), tahoma(19, true), QString(),
                         Qt::AlignRight | Qt::AlignVCenter);

    buildKeypad();

    strip(QRect(251, 147, 290, 194), colors::PanelGrey);
    addLabel(this, "lblFilial", QRect(266, 170, 80, 30), tahoma(19, true), QStringLiteral("Filial:"));
    lblCdFilial = addLabel(this, "lblCdFilial", QRect(350, 170, 180, 30), tahoma(19, true));
    addLabel(this, "lblCaixa", QRect(266, 210, 80, 30), tahoma(19, true), QStringLiteral("Caixa:"));
    lblCdCaixa = addLabel(this, "lblCdCaixa", QRect(350, 210, 180, 30), tahoma(19, true));
    int top = 252;
    for (const char* name : {"lblNmLoja", "lblNmCaixa", "lblNmTipoRece", "lblNmOperador"}) {
        addLabel(this, name, QRect(266, top, 260, 20), tahoma(12, false));
        top += 21;
    }
    buildIdleScreen();
}

void TfrmTerminalConsu::buildKeypad() {
    auto* keypad = new TKeypadPanel(this);
    keypad->setGeometry(3, 96, 244, 245);
    for (TdxfColorButton* digit : keypad->sharedDigitButtons()) {
        connectGuarded(digit, &QAbstractButton::clicked, this,
                       [this, tag = digit->Tag()] { sbt1Click(tag); });
    }
    connectGuarded(keypad->button("sbt8"), &QAbstractButton::clicked, this, [this] { sbt8Click(); });
    connectGuarded(keypad->button("sbtCorrigir"), &QAbstractButton::clicked, this,
                   [this] { sbtCorrigirClick(); });
    connectGuarded(keypad->button("sbtEnter"), &QAbstractButton::clicked, this, [this] { sbtEnterClick(); });
    for (const char* disabled : {"sbtVirgula", "sbtVirg", "sbtSair"}) {
        keypad->button(disabled)->setEnabled(false);
    }
}

void TfrmTerminalConsu::buildIdleScreen() {
    panMessage = new IdleStrip(this);

    auto* status = new QFrame(this);
    status->setObjectName(QStringLiteral("panStatus"));
    status->setGeometry(1, 390, 541, 20);
    status->setFrameShape(QFrame::Panel);
    status->setFrameShadow(QFrame::Raised);
    for (int separator : {173, 400}) {
        auto* line = new QFrame(status);
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Raised);
        line->setGeometry(separator - 1, 0, 3, 20);
    }
    lblStatus1 =
        addLabel(this, "lblStatus1", QRect(8, 391, 162, 18), tahoma(12, false), QString(), Qt::AlignCenter);
    lblStatus2 = addLabel(this, "lblStatus2", QRect(182, 391, 180, 18), tahoma(12, false));
    lblStatus3 =
        addLabel(this, "lblStatus3", QRect(409, 391, 122, 18), tahoma(12, false), QString(), Qt::AlignCenter);

    timDataHora = new QTimer(this);
    timDataHora->setObjectName(QStringLiteral("timDataHora"));
    timDataHora->setInterval(1000);
    connectGuarded(timDataHora, &QTimer::timeout, this, [this] { timDataHoraTimer(); });
}

// ---- creation and activation ----

void TfrmTerminalConsu::FormCreate() {
    Trad(this);
    // A server that does not answer now is reported; the first activation tries again and ends the program
    // cleanly when the register's parameters still cannot be had.
    try {
        ConnectUnderWait(*netTerminalCons, 0);
    } catch (...) {
        reportFailure(std::current_exception());
    }
    applyApplicationLook(this);
    lblStatus2->setText(msgPadrao->Msg(QStringLiteral("IP")) + WebURL());
    lblStatus3->setText(msgPadrao->Msg(QStringLiteral("Versao")) + QStringLiteral(": ") + VersionNumber);
    timDataHora->start();
}

void TfrmTerminalConsu::netTerminalConsBeforeConnect() {
    PointAtApplicationServer(*netTerminalCons);
}

void TfrmTerminalConsu::FormActivate() {
    // Messages shown by the start-up calls give the activation back; those activations do nothing.
    if (m_startupRunning) {
        return;
    }
    refreshIdleScreen();
    if (m_firstActivation) {
        m_startupRunning = true;
        const auto done = qScopeGuard([this] { m_startupRunning = false; });
        runStartupCalls();
    }
}

void TfrmTerminalConsu::refreshIdleScreen() {
    panMessage->showPicture(m_context.DSFUNDOTELA);
    lblCdFilial->setText(m_context.branchCode);
    lblCdCaixa->setText(m_context.registerCode);
}

void TfrmTerminalConsu::runStartupCalls() {
    loadRegisterParametersCall();
    if (!LoadRegisterParameters()) {
        return;
    }
    workOutConsultationPeriod();
    if (!loadSalesParametersCall()) {
        return;
    }
    m_firstActivation = false;
    m_context.NRPOSINICONS =
        static_cast<int>(std::lround(cdsParaVend->FieldByName(QStringLiteral("NRPOSINICONS")).asFloat()));
    m_context.NRPOSFINCONS =
        static_cast<int>(std::lround(cdsParaVend->FieldByName(QStringLiteral("NRPOSFINCONS")).asFloat()));
}

void TfrmTerminalConsu::reportStartupFailure(std::exception_ptr failure) {
    DeactiveShowAvi();
    showError(failureText(failure));
    close();
}

// A failure is reported and closes the screen; the parameters' check that follows then ends the program.
void TfrmTerminalConsu::loadRegisterParametersCall() {
    try {
        cdsParametrosCx->setData(CallChecked(*netTerminalCons, QStringLiteral("getParametrosCx"),
                                             {m_context.registerCode, m_context.branchCode},
                                             QStringLiteral("getParametrosCx"), ProgramName,
                                             m_context.branchCode + u'-' + m_context.registerCode));
    } catch (...) {
        reportStartupFailure(std::current_exception());
    }
}

bool TfrmTerminalConsu::LoadRegisterParameters() {
    if (!cdsParametrosCx->Active() || cdsParametrosCx->IsEmpty()) {
        const QString unknown = msgPadrao->Msg(QStringLiteral("CaixaNCAD"));
        reportProgramEnd(QStringLiteral("terminal %1: %2 The kiosk ends.")
                             .arg(m_context.branchCode + m_context.registerCode, unknown));
        showError(unknown);
        closeWithShell();
        return false;
    }
    const auto field = [this](const char* name) {
        return cdsParametrosCx->FieldByName(QString::fromLatin1(name)).asString();
    };
    m_context.NRDIAINITOT = field("NRDIAINITOT");
    m_context.NRDIAFINTOT = field("NRDIAFINTOT");
    m_context.CDGRUPPROD = field("CDGRUPPROD");
    m_context.DSMSGINITOT = field("DSMSGINITOT");
    m_context.DSMSGADITOT = field("DSMSGADITOT");
    m_context.DSMSGCONTOT = field("DSMSGCONTOT");
    m_context.NRSEGFECTOT = field("NRSEGFECTOT");
    m_context.IDEXIMSGSAL = field("IDEXIMSGSAL");
    m_context.IDTIPEXTTOT = field("IDTIPEXTTOT");
    m_context.DSFUNDOTELA = field("DSFUNDOTELA");
    m_context.IDSELLOJTOT = field("IDSELLOJTOT");
    m_context.IDINFCLIECAI = field("IDINFCLIECAI") == Yes;
    lblCabec->setText(EmptyString(m_context.DSMSGCONTOT) ? msgPadrao->Msg(QStringLiteral("Consumidor"))
                                                         : m_context.DSMSGCONTOT);
    return true;
}

void TfrmTerminalConsu::workOutConsultationPeriod() {
    const ConsultationPeriod period =
        ConsultationPeriod::containing(Clock::today(), m_context.NRDIAINITOT, m_context.NRDIAFINTOT);
    m_context.periodStart = formats::dateText(period.start);
    m_context.periodEnd = formats::dateText(period.end);
}

bool TfrmTerminalConsu::loadSalesParametersCall() {
    const QString branch = m_context.branchCode;
    try {
        cdsParaVend->setData(CallChecked(*netTerminalCons, QStringLiteral("getParaVend"), {branch},
                                         QStringLiteral("getParaVend"), ProgramName, branch));
        return true;
    } catch (...) {
        reportStartupFailure(std::current_exception());
        return false;
    }
}

void TfrmTerminalConsu::closeWithShell() {
    close();
    if (QWidget* shell = MainForm()) {
        shell->close();
    }
}

void TfrmTerminalConsu::FormClose() {
    DisconnectFully(*netTerminalCons);
}

// ---- keypad ----

QString TfrmTerminalConsu::buffer() const {
    return lblBuffer->text();
}

void TfrmTerminalConsu::setBuffer(const QString& text) {
    lblBuffer->setText(text);
}

void TfrmTerminalConsu::FormKeyPress(QChar& key) {
    setBuffer(keypad::typed(buffer(), key));
}

void TfrmTerminalConsu::FormKeyDown(int& key, Qt::KeyboardModifiers shift) {
    if (key == vk::Return) {
        sbtEnterClick();
    } else if (key == vk::Back) {
        sbtCorrigirClick();
    } else if (key == vk::Delete) {
        setBuffer(QString());
    }
    if (key == vk::F4 && vk::altAlone(shift)) {
        closeWithShell();
    }
}

void TfrmTerminalConsu::sbt1Click(int tag) {
    QChar typed(static_cast<char16_t>(tag));
    FormKeyPress(typed);
}

void TfrmTerminalConsu::sbt8Click() {
    QChar typed(u'8');
    FormKeyPress(typed);
}

void TfrmTerminalConsu::sbtCorrigirClick() {
    setBuffer(keypad::corrected(buffer()));
}

// ---- the OK action ----

QString TfrmTerminalConsu::consumerCodeToSend() const {
    const int first = m_context.NRPOSINICONS;
    const int last = m_context.NRPOSFINCONS;
    const QString code = buffer();
    if (m_context.IDINFCLIECAI && first > 0 && last > 0 && first <= last && code.size() >= first) {
        return code.mid(first - 1, last - first + 1);
    }
    return code;
}

void TfrmTerminalConsu::sbtEnterClick() {
    if (EmptyString(buffer())) {
        showError(msgPadrao->Msg(QStringLiteral("Cons_Deve")));
        return;
    }
    const QString code = consumerCodeToSend();
    const QString flag = m_context.IDINFCLIECAI ? Yes : QStringLiteral("N");
    cdsConsumidor->setData(CallChecked(*netTerminalCons, QStringLiteral("getConsumidor"), {code, flag},
                                       QStringLiteral("getConsumidor"), ProgramName, code + u'-' + flag));
    if (cdsConsumidor->IsEmpty()) {
        showError(msgPadrao->Msg(QStringLiteral("Cons_NCad")));
        setBuffer(QString());
        return;
    }
    m_context.CDCLIENTE = cdsConsumidor->FieldByName(QStringLiteral("CDCLIENTE")).asString();
    m_context.CDCONSUMIDOR = cdsConsumidor->FieldByName(QStringLiteral("CDCONSUMIDOR")).asString();
    m_context.NMCONSUMIDOR = cdsConsumidor->FieldByName(QStringLiteral("NMCONSUMIDOR")).asString();
    m_context.typedCode = buffer();
    if (m_context.IDEXIMSGSAL == Yes) {
        showBalances();
    }
    openStatement();
    setBuffer(QString());
}

void TfrmTerminalConsu::showBalances() {
    const QStringList arguments{m_context.branchCode, m_context.CDCLIENTE, m_context.CDCONSUMIDOR,
                                m_context.periodStart, m_context.periodEnd};
    cdsSaldo->setData(CallChecked(
        *netTerminalCons, QStringLiteral("getSaldo"), QVariantList(arguments.begin(), arguments.end()),
        QStringLiteral("getSaldo"), QStringLiteral("Cli_qvr00100"), arguments.join(u'-'), false));
    const double personal = cdsSaldo->FieldByName(QStringLiteral("VRSALDPECONS")).asFloat();
    const double company = cdsSaldo->FieldByName(QStringLiteral("VRSALDOCONS")).asFloat();
    const auto line = [this](const char* key, const QString& value) -> QString {
        return msgPadrao->Msg(QString::fromLatin1(key)) + QStringLiteral(" : ") + value;
    };
    const QString message =
        QStringList{line("Cons", m_context.NMCONSUMIDOR), line("SaldoPess", formats::moneyText(personal)),
                    line("SaldoEmpr", formats::moneyText(company)),
                    line("SaldoTotal", formats::moneyText(company + personal))}
            .join(QStringLiteral("\r\n"));
    ShowMessageForm(message, QString(), QStringLiteral("N"), QStringLiteral("N"), 0, QString(),
                    QStringLiteral("002"));
}

void TfrmTerminalConsu::openStatement() {
    if (m_context.IDTIPEXTTOT == QStringLiteral("1")) {
        ShowExtratoSimplificado(m_context);
        return;
    }
    const bool detailed = m_context.IDTIPEXTTOT == QStringLiteral("2");
    QString storeCode;
    QString storeName;
    if (m_context.IDSELLOJTOT == Yes) {
        LoadStoreList();
        if (!cdsLoja->IsEmpty()) {
            if (!chooseStore()) {
                return;
            }
            storeCode = cdsLoja->FieldByName(QStringLiteral("CDLOJA")).asString();
            storeName = cdsLoja->FieldByName(QStringLiteral("NMLOJA")).asString();
        }
    }
    if (detailed) {
        ShowExtratoDetalhado(m_context, lblCdFilial->text(),
                             lblCdCaixa->text());  // the picked store is not passed on
    } else {
        ShowExtratoGrupo(m_context, storeCode, storeName);
    }
}

bool TfrmTerminalConsu::chooseStore() {
    // The list keeps the filter its last search built; each consumer starts from the whole list.
    cdsLoja->setFilter(QString());
    cdsLoja->setFiltered(false);
    AddAllStoresEntry();
    return ShowSearchList(*cdsLoja, m_context.DSFUNDOTELA);
}

void TfrmTerminalConsu::LoadStoreList() {
    try {
        const ConsultationPeriod period =
            ConsultationPeriod::containing(Clock::today(), m_context.NRDIAINITOT, m_context.NRDIAFINTOT);
        const QDateTime start(period.start, QTime(0, 0));
        const QDateTime end(period.end, QTime(0, 0));
        const QString parameters =
            QStringList{m_context.branchCode, formats::dateTimeText(start), formats::dateTimeText(end),
                        m_context.CDCLIENTE, m_context.CDCONSUMIDOR}
                .join(u'-');
        cdsLoja->setData(
            CallChecked(*netTerminalCons, QStringLiteral("getLoja"),
                        {m_context.branchCode, start, end, m_context.CDCLIENTE, m_context.CDCONSUMIDOR},
                        QStringLiteral("getLoja"), ProgramName, parameters));
    } catch (...) {
        close();
        throw;
    }
}

void TfrmTerminalConsu::AddAllStoresEntry() {
    try {
        cdsLoja->Open();
        if (cdsLoja->Locate(QStringLiteral("CDLOJA"), QStringLiteral("T"))) {
            cdsLoja->Delete();
        }
        cdsLoja->Insert();
        cdsLoja->FieldByName(QStringLiteral("CDFILIAL")).setValue(m_context.branchCode);
        cdsLoja->FieldByName(QStringLiteral("CDLOJA")).setValue(QStringLiteral("T"));
        cdsLoja->FieldByName(QStringLiteral("NMLOJA")).setValue(QStringLiteral("TODAS"));
        cdsLoja->FieldByName(QStringLiteral("CDCLIENTE")).setValue(m_context.CDCLIENTE);
        cdsLoja->FieldByName(QStringLiteral("CDCONSUMIDOR")).setValue(m_context.CDCONSUMIDOR);
        cdsLoja->Post();
    } catch (...) {
        showError(failureText(std::current_exception()));
    }
}

// ---- idle screen ----

void TfrmTerminalConsu::timDataHoraTimer() {
    lblStatus1->setText(formats::dateTimeText(Clock::now()));
    panMessage->setMessage(m_context.DSMSGINITOT);
}

void ShowTerminalConsu(TerminalContext& context, const QString& branchCode, const QString& registerCode) {
    TfrmTerminalConsu screen(context, branchCode, registerCode);
    ExecModal(screen);
}
