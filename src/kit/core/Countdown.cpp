#include "kit/core/Countdown.h"

#include <QTimer>

void restartCountdown(QTimer& timer) {
    timer.stop();
    if (timer.interval() > 0) {
        timer.start();
    }
}
