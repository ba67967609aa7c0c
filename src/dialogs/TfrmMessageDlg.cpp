#include "dialogs/TfrmMessageDlg.h"

#include "kit/Application.h"
#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "kit/ErrorReport.h"
#include "kit/Layout.h"
#include "kit/Pictures.h"
#include "kit/core/VirtualKeys.h"

#include <QFrame>
#include <QLabel>
#include <QTimer>

#include <array>

namespace {

using layout::place;

constexpr QSize ClientSize(639, 233);
constexpr QSize IconSize(36, 36);
constexpr int DefaultInterval = 1000;  // the platform's usual timer interval

constexpr std::array<const char*, 11> ButtonNames{"Yes",    "No",  "OK",      "Cancel",   "Abort", "Retry",
                                                  "Ignore", "All", "NoToAll", "YesToAll", "Help"};

QFrame* bevel(QWidget* form) {
    auto* frame = place(new QFrame(form), "bvlMessage", {1, 3, 636, 226});
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    return frame;
}

QLabel* messageLabel(QWidget* form) {
    auto* label = place(new QLabel(form), "lblMessage", {47, 11, 570, 134});
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont font(QStringLiteral("Times New Roman"));
    font.setPixelSize(21);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, fromBgr(colors::Navy));
    label->setPalette(palette);
    return label;
}

QLabel* hiddenIcon(QWidget* form, const char* name, pictures::Icon kind) {
    auto* image = place(new QLabel(form), name, QRect(QPoint(5, 8), IconSize));
    image->setPixmap(pictures::icon(kind, IconSize.width()));
    image->hide();
    return image;
}

QTimer* defaultTimer(QObject* form) {
    auto* timer = new QTimer(form);
    timer->setObjectName(QStringLiteral("timDefault"));
    timer->setInterval(DefaultInterval);
    return timer;
}

bool isAcceleratorCharacter(QChar c) {
    const char16_t code = c.unicode();
    return (code >= u'0' && code <= u'9') || (code >= u'A' && code <= u'Z') || (code >= u'a' && code <= u'z');
}

// The character after the first "&" of a caption; none when there is no "&" or nothing follows it.
std::optional<QChar> acceleratorOf(const QString& caption) {
    const qsizetype ampersand = caption.indexOf(u'&');
    if (ampersand < 0 || ampersand + 1 >= caption.size()) {
        return std::nullopt;
    }
    return caption.at(ampersand + 1);
}

}  // namespace

QString messageDlgButtonName(quint8 index) {
    return index < ButtonNames.size() ? QLatin1String(ButtonNames.at(index)) : QString();
}

TfrmMessageDlg::TfrmMessageDlg(QWidget* parent)
    : TForm(parent),
      bvlMessage(bevel(this)),
      lblMessage(messageLabel(this)),
      imgMessage0(hiddenIcon(this, "imgMessage0", pictures::Icon::Alert)),
      imgMessage1(hiddenIcon(this, "imgMessage1", pictures::Icon::Error)),
      imgMessage2(hiddenIcon(this, "imgMessage2", pictures::Icon::Information)),
      imgMessage3(hiddenIcon(this, "imgMessage3", pictures::Icon::Question)),
      m_timDefault(defaultTimer(this)) {
    setObjectName(QStringLiteral("frmMessageDlg"));
    setClientSize(ClientSize.width(), ClientSize.height());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, fromBgr(colors::ButtonFace));
    setPalette(palette);
    connectGuarded(m_timDefault, &QTimer::timeout, this, [this] { timDefaultTimer(); });
    Trad(this);
}

void TfrmMessageDlg::setMessage(const QString& text) {
    lblMessage->setText(text);
}

TTouchButton* TfrmMessageDlg::addButton(quint8 index, const QString& caption, const QRect& geometry) {
    auto* button = new TTouchButton(this);
    button->setObjectName(messageDlgButtonName(index));
    button->setGeometry(geometry);
    button->setCaption(caption);
    connectGuarded(button, &QAbstractButton::clicked, this, [this, index] { buttonClick(index); });
    return button;
}

void TfrmMessageDlg::buttonClick(quint8 index) {
    m_answer = index;
    accept();
}

void TfrmMessageDlg::FormKeyDown(int& key, Qt::KeyboardModifiers) {
    switch (key) {
        case vk::Return:
            clickNamed(m_defaultButton);
            break;
        case vk::Escape:
            clickNamed(m_cancelButton);
            break;
        default:
            clickAccelerated(QChar(static_cast<char16_t>(key & 0xFF)));
            break;
    }
}

void TfrmMessageDlg::timDefaultTimer() {
    m_timDefault->stop();  // first, so that it fires once
    if (!clickNamed(m_defaultButton)) {
        close();
    }
}

bool TfrmMessageDlg::clickNamed(quint8 index) {
    const QString name = messageDlgButtonName(index);
    auto* button = name.isEmpty() ? nullptr : findChild<QAbstractButton*>(name);
    if (button != nullptr) {
        button->click();
    }
    return button != nullptr;
}

// Every touch button whose accelerator is the character, in the order the form holds them; letter case
// counts.
void TfrmMessageDlg::clickAccelerated(QChar character) {
    if (!isAcceleratorCharacter(character)) {
        return;
    }
    for (TTouchButton* button : findChildren<TTouchButton*>()) {
        if (acceleratorOf(button->Caption()) == character) {
            button->click();
        }
    }
}
