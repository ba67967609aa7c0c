#pragma once

#include <QString>

class QApplication;

// Prepares the working directory (one level is created when missing) and makes it current.
// Raises KioskError when it cannot be created or entered.
void enterWorkingDirectory(const QString& path);

// Runs the kiosk: start-up steps in order, then the event loop until the shell closes.
int runKiosk(QApplication& application);
