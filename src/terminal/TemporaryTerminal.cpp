#include "terminal/TerminalScreen.h"

#include "kit/Application.h"
#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "kit/ErrorReport.h"
#include "kit/Form.h"
#include "kit/Modal.h"
#include "kit/Shapes.h"
#include "kit/core/VirtualKeys.h"

#include <QLabel>

namespace {

// Stands in for the consultation terminal until it is built: it says so plainly and shows the identity that
// the start-up established. Alt+F4 ends the program, as it will on the real terminal.
class TemporaryTerminal final : public TForm {
public:
    TemporaryTerminal(const QString& branchCode, const QString& registerCode) {
        setObjectName(QStringLiteral("frmTerminalTemporario"));
        setClientSize(544, 413);
        applyApplicationLook(this);
        auto* background = new TBlendedShape(this, TBlendedShape::stRoundRect, fromBgr(colors::Silver));
        background->setGeometry(rect());
        auto* text = new QLabel(this);
        text->setObjectName(QStringLiteral("lblAviso"));
        text->setGeometry(20, 20, 504, 300);
        text->setWordWrap(true);
        text->setAlignment(Qt::AlignCenter);
        text->setStyleSheet(QStringLiteral("color: #000080; font: bold 19px 'Tahoma';"));
        text->setText(QStringLiteral("%1\n\nA tela de consulta ainda não está disponível nesta versão.\n\n"
                                     "Filial: %2    Caixa: %3")
                          .arg(ApplicationTitle(), branchCode, registerCode));
        auto* leave = new TBlendedBitBtn(this);
        leave->setObjectName(QStringLiteral("sbtSair"));
        leave->setCaption(QStringLiteral("&Sair"));
        leave->setGeometry(210, 340, 123, 57);
        connect(leave, &QAbstractButton::clicked, this, &QWidget::close);
    }

protected:
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override {
        if (key == vk::F4 && vk::altAlone(shift)) {
            close();
            if (QWidget* shell = MainForm()) {
                shell->close();
            }
        }
    }
};

}  // namespace

void ShowTerminalConsu(const QString& branchCode, const QString& registerCode) {
    TemporaryTerminal screen(branchCode, registerCode);
    ExecModal(screen);
}
