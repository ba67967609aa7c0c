#include "app/TfrmPrincipal.h"

#include "app/TerminalIdentity.h"
#include "dialogs/TfrmMensagem.h"
#include "kit/Application.h"
#include "kit/ErrorReport.h"
#include "kit/Pictures.h"
#include "kit/core/Messages.h"
#include "kit/core/SetupValues.h"
#include "platform/Registry.h"
#include "platform/TaskBar.h"
#include "setup/TfrmInformaIP.h"
#include "terminal/TfrmTerminalConsu.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScopeGuard>

using platform::Registry;

TfrmPrincipal::TfrmPrincipal(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("frmPrincipal"));
    msgPadrao = new TMessages(
        {QStringLiteral("FILIAL|Filial"), QStringLiteral("Principal|Principal"), QStringLiteral("Mesa|Mesa"),
         QStringLiteral("Operador|Operador: "), QStringLiteral("boMesa|Transfere Mesa"),
         QStringLiteral("boComanda|Transfere Comanda"), QStringLiteral("Versao|Versão "),
         QStringLiteral("Loja|Loja "), QStringLiteral("Caixa|Caixa "),
         QStringLiteral("Conex_Err|Erro durante conexão."),
         QStringLiteral("RegistorNCad|Chave do Totem não encontrada no Registro do  Windows. Pressione OK "
                        "para criá-la."),
         QStringLiteral("Totem|Terminal de Consulta"),
         QStringLiteral(
             "RegIPNCad|Endereço I.P. do servidor não encontrado no Registro do Windows. Pressione OK "
             "para inclui-lo."),
         QStringLiteral("RegIPInv|Endereço I.P. do servidor inválido no Registro do Windows. Pressione OK para "
                        "corrigi-lo."),
         QStringLiteral("RegistorInv|Chave do Totem inválida no Registro do Windows. Pressione OK para "
                        "corrigi-la.")},
        this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));
    imgFundo = new QLabel(this);
    imgFundo->setObjectName(QStringLiteral("imgFundo"));
    imgFundo->setScaledContents(true);
    FormCreate();
}

void TfrmPrincipal::FormCreate() {
    Trad(this);
    m_firstActivation = true;
    QGuiApplication::setApplicationDisplayName(msgPadrao->Msg(QStringLiteral("Totem")));
    applyApplicationLook(this);
    platform::taskbar::hide();
    setClientSize(800, 600);
    imgFundo->setGeometry(rect());
    imgFundo->setPixmap(pictures::background(size()));
}

void TfrmPrincipal::FormActivate() {
    // Messages and dialogs shown by the routine hand the activation back here; those activations do nothing.
    if (!m_firstActivation || m_loadingIdentity) {
        return;
    }
    m_loadingIdentity = true;
    const auto loaded = qScopeGuard([this] { m_loadingIdentity = false; });
    LoadTerminalIdentity();
    m_firstActivation = false;
}

// The stored value when it can work; otherwise the operator is asked on the set-up keypad and the answer
// stored. Empty when the operator leaves the keypad without a value: nothing is stored then.
QString TfrmPrincipal::storedOrAsked(Registry& key, const SetupValue& value) {
    const QString name = QString::fromLatin1(value.name);
    const QString stored = key.readString(name);
    if (!stored.isEmpty() && value.isValid(stored)) {
        return stored;
    }
    ShowMessageForm(msgPadrao->Msg(QString::fromLatin1(stored.isEmpty() ? value.missingMessage
                                                                        : value.invalidMessage)),
                    QString(), QStringLiteral("N"), QStringLiteral("N"), 3, QString(), QStringLiteral("002"));
    const QString typed = ShowInformaIP(value.keypadMode);
    if (!typed.isEmpty()) {
        key.writeString(name, typed);
    }
    return typed;
}

void TfrmPrincipal::LoadTerminalIdentity() {
    const std::unique_ptr<Registry> key = Registry::openKey();  // closed on every path
    const SetupValue address{Registry::ServerAddressValue, "RegIPNCad", "RegIPInv", QStringLiteral("IP"),
                             &isUsableServerAddress};
    if (storedOrAsked(*key, address).isEmpty()) {
        endProgram(QStringLiteral("the set-up keypad was left without a server address"));
        return;
    }
    const SetupValue terminal{Registry::TerminalKeyValue, "RegistorNCad", "RegistorInv", QStringLiteral("XX"),
                              &isTerminalKey};
    const QString terminalKey = storedOrAsked(*key, terminal);
    if (terminalKey.isEmpty()) {
        endProgram(QStringLiteral("the set-up keypad was left without a terminal key"));
        return;
    }
    const TerminalIdentity identity = TerminalIdentity::fromKey(terminalKey);
    ShowTerminalConsu(m_terminal, identity.branchCode, identity.registerCode);
    // Closed alone after a failure, the consultation screen leaves a kiosk that serves no one: it ends, so
    // that its service manager starts it afresh.
    if (isVisible()) {
        endProgram(QStringLiteral("terminal %1: the consultation screen closed after an error").arg(terminalKey));
    }
}

void TfrmPrincipal::endProgram(const QString& reason) {
    reportProgramEnd(reason + QStringLiteral("; the kiosk ends."));
    close();
}

void TfrmPrincipal::FormClose() {
    platform::taskbar::show();
    QCoreApplication::quit();
}
