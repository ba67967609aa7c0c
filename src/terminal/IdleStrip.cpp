#include "terminal/IdleStrip.h"

#include "kit/ErrorReport.h"
#include "kit/core/Strings.h"

#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

namespace {

constexpr int StillMessageMark = u'_';

// The picture decoded once at the strip's size: a label that kept a photograph's original would hold all its
// pixels and scale them again at every repaint, which the marquee under it can ask for twenty times a second.
QPixmap stripPicture(const QString& path, const QSize& strip) {
    QImageReader reader(path);
    reader.setScaledSize(strip);
    return QPixmap::fromImage(reader.read());
}

// The scrolling labels' face.
QFont marqueeFont() {
    QFont font(QStringLiteral("Times New Roman"));
    font.setPixelSize(37);  // 28 points on the kiosk's 96-dpi screen
    font.setBold(true);
    return font;
}

void paintMarqueeColour(QLabel& label) {
    const marquee::Colour colour = marquee::colourOf({label.x(), label.width()});
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, QColor(colour.red, 0, colour.blue));
    label.setPalette(palette);
}

}  // namespace

IdleStrip::IdleStrip(QWidget* parent)
    : QFrame(parent),
      panImgMessage(new QWidget(this)),
      imgMessage(new QLabel(panImgMessage)),
      timMessage(new QTimer(this)) {
    setObjectName(QStringLiteral("panMessage"));
    setGeometry(4, 344, 537, 44);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    panImgMessage->setObjectName(QStringLiteral("panImgMessage"));
    panImgMessage->setGeometry(rect());
    imgMessage->setObjectName(QStringLiteral("imgMessage"));
    imgMessage->setGeometry(panImgMessage->rect());
    imgMessage->setScaledContents(true);
    imgMessage->setAlignment(Qt::AlignCenter);
    panImgMessage->hide();
    timMessage->setObjectName(QStringLiteral("timMessage"));
    timMessage->setInterval(50);
    connectGuarded(timMessage, &QTimer::timeout, this, [this] { timMessageTimer(); });
}

void IdleStrip::showPicture(const QString& path) {
    // A missing, unreadable, truncated or non-picture file, or one beyond the image reader's allocation
    // limit, leaves the scrolling message visible; nothing is reported.
    const QPixmap image = EmptyString(path) ? QPixmap() : stripPicture(path, imgMessage->size());
    const bool shown = !image.isNull();
    imgMessage->setPixmap(image);
    imgMessage->setVisible(shown);
    panImgMessage->setVisible(shown);
}

void IdleStrip::setMessage(const QString& message) {
    m_message = message;
    if (EmptyString(message)) {
        timMessage->stop();
        clearScrollingLabels();
    } else {
        timMessage->start();
    }
}

void IdleStrip::timMessageTimer() {
    if (EmptyString(m_message)) {
        clearScrollingLabels();
        return;
    }
    const bool still = m_message.front() == QChar(StillMessageMark);
    if (m_scrollingLabels.empty()) {
        startMessage(still);
    } else if (!still) {
        scroll();
    }
}

void IdleStrip::startMessage(bool still) {
    QLabel* label = addScrollingLabel(still ? m_message.mid(1) : m_message);
    if (still) {
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(0, -2, width(), label->sizeHint().height());
    } else {
        label->adjustSize();
        const marquee::Copy first = marquee::firstCopy(width(), label->width());
        label->move(first.left, -2);
    }
    paintMarqueeColour(*label);
}

// Every copy shows the same text in the same face, so a new copy is as wide as the others.
void IdleStrip::scroll() {
    std::vector<marquee::Copy> copies;
    for (const QLabel* label : m_scrollingLabels) {
        copies.push_back({label->x(), label->width()});
    }
    const size_t before = copies.size();
    const int dropped = marquee::tick(copies, m_scrollingLabels.back()->width());
    if (copies.size() + static_cast<size_t>(dropped) > before) {
        addScrollingLabel(m_message)->adjustSize();
    }
    for (int i = 0; i < dropped; ++i) {
        delete m_scrollingLabels.front();
        m_scrollingLabels.erase(m_scrollingLabels.begin());
    }
    for (size_t i = 0; i < copies.size(); ++i) {
        m_scrollingLabels[i]->move(copies[i].left, -2);
        paintMarqueeColour(*m_scrollingLabels[i]);
    }
}

QLabel* IdleStrip::addScrollingLabel(const QString& caption) {
    auto* label = new QLabel(caption, this);
    label->setFont(marqueeFont());
    m_scrollingLabels.push_back(label);
    label->show();
    panImgMessage->raise();  // the picture, when shown, covers the labels
    return label;
}

void IdleStrip::clearScrollingLabels() {
    for (QLabel* label : m_scrollingLabels) {
        delete label;
    }
    m_scrollingLabels.clear();
}
