#include "setup/TfrmInformaIP.h"

#include "dialogs/TfrmMensagem.h"
#include "kit/Application.h"
#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "kit/ErrorReport.h"
#include "kit/KeypadPanel.h"
#include "kit/Layout.h"
#include "kit/Modal.h"
#include "kit/Shapes.h"
#include "kit/core/KeypadEntry.h"
#include "kit/core/Messages.h"
#include "kit/core/SetupValues.h"
#include "kit/core/Strings.h"
#include "kit/core/VirtualKeys.h"

#include <QLabel>

namespace {

const QString AddressMode = QStringLiteral("IP");

using layout::addLabel;
using layout::tahoma;

}  // namespace

TfrmInformaIP::TfrmInformaIP(const QString& mode, QWidget* parent) : TForm(parent), m_mode(mode) {
    setObjectName(QStringLiteral("frmInformaIP"));
    setClientSize(496, 285);
    msgPadrao = new TMessages(
        {QStringLiteral("INFORME2|Informe o código da filial e o código do caixa sem espaços e tecle enter"),
         QStringLiteral("INFORME1|Digite o código I.P. do servidor e tecle enter."),
         QStringLiteral("IP_DEVE|Código I.P. deve ser informado."),
         QStringLiteral("CAIXA_DEVE|Filial e Caixa devem ser informados."),
         QStringLiteral("IP_INVALIDO|Código I.P. inválido: digite quatro números de 0 a 255 separados por pontos."),
         QStringLiteral("CAIXA_INVALIDO|Filial e Caixa inválidos: digite os 4 dígitos da filial e os 3 do caixa.")},
        this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));
    buildLayout();
    FormCreate();
}

void TfrmInformaIP::buildLayout() {
    auto* background = new TBlendedShape(this, TBlendedShape::stRoundRect, fromBgr(colors::Silver));
    background->setGeometry(rect());
    auto* titleStrip = new TBlendedShape(this, TBlendedShape::stRoundRect, fromBgr(colors::Navy));
    titleStrip->setGeometry(4, 4, 488, 30);
    lblTitulo = addLabel(this, "lblTitulo", QRect(4, 4, 488, 30), tahoma(17, true));
    lblTitulo->setAlignment(Qt::AlignCenter);
    layout::setColour(*lblTitulo, QPalette::WindowText, colors::White);

    auto* keypad = new TKeypadPanel(this);
    keypad->setGeometry(4, 40, 240, 242);
    for (TdxfColorButton* digit : keypad->sharedDigitButtons()) {
        connectGuarded(digit, &QAbstractButton::clicked, this, [this, digit] { sbt1Click(*digit); });
    }
    const auto connectKey = [this, keypad](const char* name, void (TfrmInformaIP::*handler)()) {
        connectGuarded(keypad->button(name), &QAbstractButton::clicked, this,
                       [this, handler] { (this->*handler)(); });
    };
    connectKey("sbt8", &TfrmInformaIP::sbt8Click);
    connectKey("sbtVirgula", &TfrmInformaIP::sbtVirgulaClick);
    connectKey("sbtCorrigir", &TfrmInformaIP::sbtCorrigirClick);
    connectKey("sbtEnter", &TfrmInformaIP::sbtEnterClick);
    connectKey("sbtSair", &TfrmInformaIP::sbtSairClick);

    lblCabec = addLabel(this, "lblCabec", QRect(254, 44, 234, 110), tahoma(15, true));
    lblCabec->setWordWrap(true);
    lblCabec->setAlignment(Qt::AlignCenter);
    auto* bufferStrip = new TBlendedShape(this, TBlendedShape::stRoundRect, Qt::white);
    bufferStrip->setGeometry(254, 162, 234, 44);
    lblBuffer = addLabel(this, "lblBuffer", QRect(258, 162, 224, 44), tahoma(19, true));
    lblBuffer->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    int top = 212;
    for (const char* name : {"lblNmLoja", "lblNmCaixa", "lblNmTipoRece", "lblNmOperador"}) {
        addLabel(this, name, QRect(254, top, 234, 16), tahoma(11, false));
        top += 17;
    }
}

void TfrmInformaIP::FormCreate() {
    Trad(this);
    applyApplicationLook(this);
    lblCabec->setText(
        msgPadrao->Msg(isAddressMode() ? QStringLiteral("INFORME1") : QStringLiteral("INFORME2")));
    lblTitulo->setText(ApplicationTitle());
}

bool TfrmInformaIP::isAddressMode() const {
    return m_mode == AddressMode;
}

void TfrmInformaIP::FormKeyPress(QChar& key) {
    lblBuffer->setText(keypad::typed(lblBuffer->text(), key));
}

void TfrmInformaIP::FormKeyDown(int& key, Qt::KeyboardModifiers shift) {
    if (key == vk::Return) {
        sbtEnterClick();
    } else if (key == vk::Back) {
        sbtCorrigirClick();
    } else if (key == vk::Delete) {
        lblBuffer->clear();
    }
    if (key == vk::F4 && vk::altAlone(shift)) {
        close();
    }
}

void TfrmInformaIP::sendCharacter(QChar character) {
    FormKeyPress(character);
}

void TfrmInformaIP::sbt1Click(const TdxfColorButton& sender) {
    sendCharacter(QChar(static_cast<char16_t>(sender.Tag())));
}

void TfrmInformaIP::sbt8Click() {
    sendCharacter(u'8');
}

void TfrmInformaIP::sbtVirgulaClick() {
    sendCharacter(u'.');
}

void TfrmInformaIP::sbtCorrigirClick() {
    lblBuffer->setText(keypad::corrected(lblBuffer->text()));
}

// Only what can work is accepted: a stored address or key the kiosk cannot use would make it fail at every
// start, and only a shell could mend it.
void TfrmInformaIP::sbtEnterClick() {
    const QString typed = lblBuffer->text();
    const bool address = isAddressMode();
    if (EmptyString(typed)) {
        refuse(address ? "IP_DEVE" : "CAIXA_DEVE");
    } else if (address ? !isIPv4Address(typed) : !isTerminalKey(typed)) {
        refuse(address ? "IP_INVALIDO" : "CAIXA_INVALIDO");
    } else {
        m_result = typed;
        close();
    }
}

void TfrmInformaIP::refuse(const char* messageKey) {
    ShowMessageForm(msgPadrao->Msg(QString::fromLatin1(messageKey)), QString(), QStringLiteral("N"),
                    QStringLiteral("N"), 3, QString(), QStringLiteral("002"));
}

// "Sair" leaves without accepting, as Alt+F4 does: an operator who opened the keypad by mistake needs a way
// out.
void TfrmInformaIP::sbtSairClick() {
    close();
}

QString ShowInformaIP(const QString& mode) {
    TfrmInformaIP dialog(mode);
    ExecModal(dialog);
    return dialog.result();
}
