#include "app/TfrmPrincipal.h"

#include "app/TerminalIdentity.h"
#include "dialogs/TfrmMensagem.h"
#include "kit/Application.h"
#include "kit/Pictures.h"
#include "kit/core/Messages.h"
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
             "para inclui-lo.")},
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
    imgFundo->setPixmap(pictures::background(size(), ApplicationTitle()));
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

QString TfrmPrincipal::askOperator(const char* messageKey, const QString& keypadMode) {
    ShowMessageForm(msgPadrao->Msg(QString::fromLatin1(messageKey)), QString(), QStringLiteral("N"),
                    QStringLiteral("N"), 3, QString(), QStringLiteral("002"));
    return ShowInformaIP(keypadMode);
}

void TfrmPrincipal::LoadTerminalIdentity() {
    const std::unique_ptr<Registry> key = Registry::openKey();  // closed on every path
    const QString addressValue = QString::fromLatin1(Registry::ServerAddressValue);
    if (key->readString(addressValue).isEmpty()) {
        key->writeString(addressValue, askOperator("RegIPNCad", QStringLiteral("IP")));
    }
    QString terminalKey = key->readString(QString::fromLatin1(Registry::TerminalKeyValue));
    if (terminalKey.isEmpty()) {
        terminalKey = askOperator("RegistorNCad", QStringLiteral("XX"));
        key->writeString(QString::fromLatin1(Registry::TerminalKeyValue), terminalKey);
    }
    const TerminalIdentity identity = TerminalIdentity::fromKey(terminalKey);
    ShowTerminalConsu(identity.branchCode, identity.registerCode);
}

void TfrmPrincipal::FormClose() {
    platform::taskbar::show();
    QCoreApplication::quit();
}
