#pragma once

#include <QString>

#include <optional>

class QApplication;

// Prepares the working directory (created with its parents when missing) and makes it current.
// Raises KioskError when it cannot be created or entered.
void enterWorkingDirectory(const QString& path);

// Runs the kiosk: start-up steps in order, then the event loop until the shell closes.
int runKiosk(QApplication& application);

// --version and --help, which need no display: the exit status once answered; nullopt for a kiosk to run.
// Any other argument is refused (status 2): the kiosk takes its settings from its registry key.
std::optional<int> answerWithoutDisplay(int argc, char** argv);
