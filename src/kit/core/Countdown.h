#pragma once

class QTimer;

// Starts an inactivity countdown afresh. An interval of 0 means the screen never closes by itself, so the
// timer is left stopped: a running Qt timer of 0 would fire at once instead of never.
void restartCountdown(QTimer& timer);
