#include "dialogs/TfrmMensagem.h"

#include "kit/Application.h"
#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "kit/Layout.h"
#include "kit/Modal.h"
#include "kit/Pictures.h"
#include "kit/Shapes.h"
#include "kit/core/Clock.h"
#include "kit/core/Errors.h"
#include "kit/core/Formats.h"
#include "kit/core/Messages.h"
#include "kit/core/Strings.h"
#include "kit/core/VirtualKeys.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QTextEdit>

#include <algorithm>
#include <array>

namespace {

using layout::place;
using layout::setColour;
using layout::tahoma;

constexpr int FormWidth = 639;
constexpr int ClientHeight = 233;
constexpr int CollapsedHeight = 234;
constexpr int ExpandedHeight = 348;
constexpr int ButtonTop = 166;
constexpr QSize ButtonSize(130, 50);
constexpr QSize IconSize(36, 36);
constexpr int GlyphSize = 30;  // reads as a sign, and leaves the widest caption, "&Detalhes", its room

constexpr char16_t CarriageReturn = u'\r';
constexpr QStringView ErrorMarker = u"Erro:";
constexpr quint8 ErrorKind = 3;

struct SchemeColours {
    quint32 background = colors::Black;
    quint32 panel = colors::Black;
    quint32 accent = colors::Black;
};

struct Scheme {
    QStringView code;
    SchemeColours colours;
};

constexpr std::array<Scheme, 5> Schemes{{
    {u"002", {0xB3B0AE, 0xD0CFCE, 0x818181}},  // grey
    {u"001", {0x66C8FF, 0x93D9FF, 0x0070DF}},  // orange
    {u"003", {0xD9B0B0, 0xDFC4C4, 0xA65353}},  // blue
    {u"004", {0x4DB361, 0x8BCD98, 0x007900}},  // green
    {u"005", {0xC0FAD8, 0xFFFFFF, 0x46F08E}},  // light green
}};

// One set for the whole process: it outlives each form instance and keeps the last call's values.
struct MessageState {
    QPointer<TfrmMensagem> live;  // the live flag: set while a message form instance exists
    bool answer = true;
    QString text;
    QString details;
    QString detailsFlag;
    QString questionFlag;
    QString extraCaption;
    SchemeColours colours;
};

MessageState g_state;

TfrmMensagem& liveForm() {
    if (g_state.live.isNull()) {
        g_state.live = new TfrmMensagem;
    }
    return *g_state.live;
}

void chooseScheme(const QString& schemeCode) {
    const QStringView code = schemeCode.isEmpty() ? Schemes.front().code : QStringView(schemeCode);
    const auto found =
        std::ranges::find_if(Schemes, [code](const Scheme& scheme) { return scheme.code == code; });
    if (found != Schemes.end()) {
        g_state.colours = found->colours;
    }
}

// The text for the consumer: what comes before the "Erro:" marker, or all of it.
QString consumerPart(const QString& text) {
    const qsizetype marker = text.indexOf(ErrorMarker);
    return marker < 0 ? text : text.left(marker);
}

// What "Detalhes" reveals: the text after the marker and the one separator that follows it, or the
// details of the call when the text has no marker.
QString detailsPart(const QString& text, const QString& details) {
    const qsizetype marker = text.indexOf(ErrorMarker);
    return marker < 0 ? details : text.mid(marker + ErrorMarker.size() + 1);
}

// Messages break their lines with a bare carriage return, which a label would draw as a blank.
QString withLineBreaks(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(CarriageReturn, u'\n');
}

// Keeps the hourglass up while a message is shown, and takes it down on every way out.
class HourglassCursor {
public:
    HourglassCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QGuiApplication::restoreOverrideCursor(); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
};

TBlendedShape* roundRect(QWidget* form, const char* name, const QRect& geometry) {
    return place(new TBlendedShape(form, TBlendedShape::stRoundRect), name, geometry);
}

QLabel* messageLabel(QWidget* form) {
    auto* label = place(new QLabel(form), "lblMessage", {52, 45, 571, 117});
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(tahoma(19, false));
    setColour(*label, QPalette::WindowText, colors::Navy);
    return label;
}

QLabel* image(QWidget* form, const char* name, const QPoint& topLeft, const QPixmap& picture) {
    auto* label = place(new QLabel(form), name, QRect(topLeft, IconSize));
    label->setPixmap(picture);
    return label;
}

QLabel* hiddenIcon(QWidget* form, const char* name, pictures::Icon kind) {
    QLabel* label = image(form, name, {6, 179}, pictures::icon(kind, IconSize.width()));
    label->hide();
    return label;
}

TBlendedBitBtn* button(QWidget* form, const char* name, int left, const QString& caption) {
    auto* button = place(new TBlendedBitBtn(form), name, QRect(QPoint(left, ButtonTop), ButtonSize));
    button->setShape(TBlendedBitBtn::RoundRect);
    button->setCaption(caption);
    button->setFont(tahoma(19, true));
    button->setFontColor(fromBgr(colors::Navy));
    button->setDisabledColor(fromBgr(colors::Gray));
    button->setDisabledFontColor(fromBgr(colors::Silver));
    return button;
}

TBlendedBitBtn* button(QWidget* form, const char* name, int left, const QString& caption,
                       pictures::Glyph glyph) {
    TBlendedBitBtn* bitBtn = button(form, name, left, caption);
    bitBtn->setGlyph(pictures::glyph(glyph, GlyphSize));
    return bitBtn;
}

QScrollArea* scrollBox(QWidget* form) {
    auto* box = place(new QScrollArea(form), "srcDetalhes", {0, 232, 638, 115});
    box->setFocusPolicy(Qt::NoFocus);
    box->setWidgetResizable(true);
    return box;
}

QTextEdit* detailsMemo(QScrollArea* box) {
    auto* memo = new QTextEdit;
    memo->setObjectName(QStringLiteral("redDetalhes"));
    memo->setReadOnly(true);
    memo->setAcceptRichText(false);
    memo->setFont(tahoma(13, true));
    setColour(*memo, QPalette::Base, colors::ButtonFace);
    setColour(*memo, QPalette::Text, colors::Navy);
    box->setWidget(memo);
    return memo;
}

TMessages* messageTable(QObject* form) {
    auto* table = new TMessages(
        {
            QStringLiteral("Erro|Ocorreu o seguinte erro no sistema:"),
            QStringLiteral("Programa|Programa:"),
            QStringLiteral("Metodo|Método:"),
            QStringLiteral("Data|Data/Hora:"),
            QStringLiteral("Parametros|Parâmetros:"),
        },
        form);
    table->setObjectName(QStringLiteral("msgPadrao"));
    return table;
}

}  // namespace

TfrmMensagem::TfrmMensagem(QWidget* parent)
    : TForm(parent),
      blsFundo(roundRect(this, "blsFundo", {0, 0, FormWidth, ClientHeight})),
      blsBorda(roundRect(this, "blsBorda", {9, 8, 623, 215})),
      lblMessage(messageLabel(this)),
      imgInformacao(hiddenIcon(this, "imgInformacao", pictures::Icon::Information)),
      imgPergunta(hiddenIcon(this, "imgPergunta", pictures::Icon::Question)),
      imgAlerta(hiddenIcon(this, "imgAlerta", pictures::Icon::Alert)),
      imgErro(hiddenIcon(this, "imgErro", pictures::Icon::Error)),
      tcbSim(button(this, "tcbSim", 163, QStringLiteral("&Sim"), pictures::Glyph::Yes)),
      tcbOk(button(this, "tcbOk", 237, QStringLiteral("&Ok"), pictures::Glyph::Ok)),
      tcbNao(button(this, "tcbNao", 330, QStringLiteral("&Não"), pictures::Glyph::No)),
      tcbDetalhes(button(this, "tcbDetalhes", 494, QStringLiteral("&Detalhes"), pictures::Glyph::Details)),
      imgTpMsg(image(this, "imgTpMsg", {13, 13}, QPixmap())),
      tcbExtra(button(this, "tcbExtra", 494, QStringLiteral("Extra"))),
      srcDetalhes(scrollBox(this)),
      redDetalhes(detailsMemo(srcDetalhes)),
      msgPadrao(messageTable(this)) {
    setObjectName(QStringLiteral("frmMensagem"));
    applyApplicationLook(this);
    setClientSize(FormWidth, ClientHeight);
    setColour(*this, QPalette::Window, colors::Black);
    tcbExtra->setEnabled(false);
    tcbExtra->hide();
    previewKeysOf(redDetalhes);

    connect(tcbSim, &QAbstractButton::clicked, this, &TfrmMensagem::tcbSimClick);
    connect(tcbOk, &QAbstractButton::clicked, this, &TfrmMensagem::tcbOkClick);
    connect(tcbNao, &QAbstractButton::clicked, this, &TfrmMensagem::tcbNaoClick);
    connect(tcbExtra, &QAbstractButton::clicked, this, &TfrmMensagem::tcbExtraClick);
    connect(tcbDetalhes, &QAbstractButton::clicked, this, &TfrmMensagem::tcbDetalhesClick);

    // Created in the colours of the last message; ShowMessageForm repaints once it has chosen the scheme.
    Trad(this);
    paintScheme();
}

void TfrmMensagem::showEvent(QShowEvent* event) {
    paintScheme();  // every show, so a form made elsewhere also comes up in the current scheme
    TForm::showEvent(event);
}

void TfrmMensagem::FormActivate() {
    Trad(this);
    setFormHeight(CollapsedHeight);
    lblMessage->setText(withLineBreaks(consumerPart(g_state.text)));
    const bool question = g_state.questionFlag == u"S";
    tcbOk->setVisible(!question);
    tcbDetalhes->setVisible(g_state.detailsFlag == u"S");
    tcbSim->setVisible(question);
    tcbNao->setVisible(question);
    paintScheme();
    tcbDetalhes->setBrushColor(fromBgr(g_state.colours.background));
    tcbDetalhes->setAccentColor(fromBgr(g_state.colours.accent));
}

// The keys act as the buttons they name and still go on to the controls.
void TfrmMensagem::FormKeyDown(int& key, Qt::KeyboardModifiers) {
    switch (key) {
        case vk::Return:
            if (isShown(tcbOk)) {
                tcbOkClick();
            }
            if (isShown(tcbSim)) {
                tcbSimClick();
            }
            break;
        case vk::Left:
            if (isShown(tcbSim)) {
                tcbSimClick();
            }
            break;
        case vk::Right:
            if (isShown(tcbNao)) {
                tcbNaoClick();
            }
            break;
        default:
            break;
    }
}

void TfrmMensagem::FormClose() {
    // Only the live instance clears the flag: one made elsewhere must not orphan it.
    if (g_state.live == this) {
        g_state.live = nullptr;
    }
    deleteLater();
}

void TfrmMensagem::tcbSimClick() {
    g_state.answer = true;
    close();
}

void TfrmMensagem::tcbOkClick() {
    close();
}

void TfrmMensagem::tcbNaoClick() {
    g_state.answer = false;
    close();
}

void TfrmMensagem::tcbExtraClick() {
    g_state.answer = false;
    close();
}

void TfrmMensagem::tcbDetalhesClick() {
    if (height() == CollapsedHeight) {
        setFormHeight(ExpandedHeight);
        redDetalhes->setPlainText(detailsPart(g_state.text, g_state.details));
    } else {
        setFormHeight(CollapsedHeight);
        redDetalhes->clear();
    }
}

void TfrmMensagem::paintScheme() {
    const QColor background = fromBgr(g_state.colours.background);
    blsFundo->setBrushColor(background);
    blsBorda->setBrushColor(fromBgr(g_state.colours.panel));
    for (TBlendedBitBtn* button : {tcbSim, tcbOk, tcbNao, tcbExtra}) {
        button->setBrushColor(background);
    }
    tcbExtra->setAccentColor(fromBgr(g_state.colours.accent));
}

void TfrmMensagem::showExtraButton(const QString& caption) {
    const bool wanted = !caption.isEmpty();
    if (wanted) {
        tcbExtra->setCaption(caption);
    }
    tcbExtra->setEnabled(wanted);
    tcbExtra->setVisible(wanted);
}

void TfrmMensagem::showKindIcon(quint8 kind) {
    const std::array icons{imgInformacao, imgPergunta, imgAlerta, imgErro};
    if (kind < icons.size()) {
        imgTpMsg->setPixmap(icons[kind]->pixmap());
    }
}

// The form keeps its top edge: it grows and shrinks downward over the details memo.
void TfrmMensagem::setFormHeight(int height) {
    setClientSize(FormWidth, height);
}

// Visible as the form shows its controls, whether or not the form itself is on screen at the moment.
bool TfrmMensagem::isShown(const QWidget* control) const {
    return control->isVisibleTo(this);
}

bool ShowMessageForm(const QString& text, const QString& details, const QString& detailsFlag,
                     const QString& questionFlag, quint8 kind, const QString& extraCaption,
                     const QString& schemeCode) {
    const HourglassCursor hourglass;
    g_state.text = text;
    g_state.detailsFlag = detailsFlag;
    g_state.questionFlag = questionFlag;
    g_state.details = details;
    g_state.extraCaption = extraCaption;
    g_state.answer = true;
    TfrmMensagem& form = liveForm();
    chooseScheme(schemeCode);
    form.paintScheme();
    form.showExtraButton(extraCaption);
    form.showKindIcon(kind);
    form.setProperty(ErrorTextProperty, kind == ErrorKind ? consumerPart(text).simplified() : QString());
    ExecModal(form);
    return g_state.answer;
}

void CheckServerResult(const QVariant& value, bool checkText, int validLength, const QString& method,
                       const QString& programName, const QString& parameters, const QString& schemeCode,
                       QVariant& result) {
    const TMessages& messages = *liveForm().msgPadrao;  // the report's texts come from the form's table
    if (value.typeId() != QMetaType::QString) {
        result = value;
        return;
    }
    const QString text = value.toString();
    if (text.size() == validLength || !checkText || EmptyString(text)) {
        result = value;
        return;
    }
    const QString details =
        QStringList{
            messages.Msg(QStringLiteral("Programa")) + u' ' + programName,
            messages.Msg(QStringLiteral("Metodo")) + u' ' + method,
            messages.Msg(QStringLiteral("Parametros")) + u' ' + parameters,
            messages.Msg(QStringLiteral("Data")) + u' ' + formats::dateTimeText(Clock::now()),
        }
            .join(CarriageReturn);
    const QString message = messages.Msg(QStringLiteral("Erro")) + CarriageReturn + text;
    ShowMessageForm(message, details, QStringLiteral("S"), QStringLiteral("N"), 3, QString(), schemeCode);
    throw SilentAbort();
}
