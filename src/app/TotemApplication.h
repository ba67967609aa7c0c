#pragma once

#include <QApplication>

// The kiosk's application object. No exception may cross Qt's event loop: whatever a handler lets escape
// is reported here by the application's standard error reporting, and the kiosk goes on.
class TotemApplication : public QApplication {
    Q_OBJECT
public:
    TotemApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
