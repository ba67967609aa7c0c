#include "kit/Modal.h"

#include "kit/Application.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

namespace {

ModalRunner g_runner;
ModalObserver g_observer;

void tellObserver(QDialog& dialog, bool open) {
    if (g_observer) {
        g_observer(dialog, open);
    }
}

// Bare X servers do not activate a new window, so every modal window asks for it once shown.
void activateWhenShown(QDialog& dialog) {
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.activateWindow(); });
}

}  // namespace

int ExecModal(QDialog& dialog) {
    // The window to give the activation back to; while activations are still in flight, the main form.
    const QPointer<QWidget> previous =
        QApplication::activeWindow() != nullptr ? QApplication::activeWindow() : MainForm();
    activateWhenShown(dialog);
    tellObserver(dialog, true);
    const int result = g_runner ? g_runner(dialog) : dialog.exec();
    tellObserver(dialog, false);
    if (previous != nullptr && previous->isVisible()) {
        previous->activateWindow();
    }
    return result;
}

void ObserveModals(ModalObserver observer) {
    g_observer = std::move(observer);
}

ModalRunnerOverride::ModalRunnerOverride(ModalRunner runner) : m_previous(std::move(g_runner)) {
    g_runner = std::move(runner);
}

ModalRunnerOverride::~ModalRunnerOverride() {
    g_runner = std::move(m_previous);
}
