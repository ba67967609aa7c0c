#pragma once

class QWidget;

// The wait animation shown over a form while the kiosk connects to or waits on the application server.
// Kind 0 says the kiosk is connecting; any other kind asks the consumer to wait.
void ActiveShowAvi(QWidget* form, int kind);
// Removes the animation; calling it again, or without a matching ActiveShowAvi, is harmless.
void DeactiveShowAvi();
// True while the animation is shown.
bool isShowAviActive();

// Shows the animation for the life of the object, on every exit path.
class ShowAviScope {
public:
    ShowAviScope(QWidget* form, int kind) { ActiveShowAvi(form, kind); }
    ~ShowAviScope() { DeactiveShowAvi(); }
    ShowAviScope(const ShowAviScope&) = delete;
    ShowAviScope& operator=(const ShowAviScope&) = delete;
};
