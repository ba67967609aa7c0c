#pragma once

#include "terminal/Marquee.h"

#include <QFrame>
#include <QString>

#include <vector>

class QLabel;
class QTimer;

// The strip under the terminal's keypad while it waits: the register's picture when it has one that loads,
// otherwise its message, scrolling in changing colours, or still when it starts with the still mark.
class IdleStrip : public QFrame {
    Q_OBJECT
public:
    explicit IdleStrip(QWidget* parent);

    // The register's picture file; empty, or a file that does not load, shows the message instead.
    void showPicture(const QString& path);
    // The message the strip shows from the next tick on; empty stops it and clears the strip.
    void setMessage(const QString& message);

    QTimer& messageTimer() const { return *timMessage; }
    // The scrolling labels, oldest first.
    const std::vector<QLabel*>& scrollingLabels() const { return m_scrollingLabels; }
    // The handler of the message timer, as the timer calls it.
    void timMessageTimer();

private:
    void startMessage(bool still);
    void scroll();
    QLabel* addScrollingLabel(const QString& caption);
    void clearScrollingLabels();

    QWidget* panImgMessage;
    QLabel* imgMessage;
    QTimer* timMessage;
    QString m_message;
    std::vector<QLabel*> m_scrollingLabels;
};
