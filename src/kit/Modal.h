#pragma once

#include <functional>

class QDialog;

// Every modal show of the kiosk goes through here, so that tests can act inside each dialog.
// Shows the dialog modally and returns its result; afterwards the window that was active before it
// is activated again, because not every platform does that by itself.
int ExecModal(QDialog& dialog);

// Told of every modal show as it opens (`open` true) and once it has closed: what the kiosk shows is the last
// dialog opened and not yet closed. One observer at a time; an empty one stops the telling.
using ModalObserver = std::function<void(QDialog& dialog, bool open)>;
void ObserveModals(ModalObserver observer);
// The property that a dialog showing an error box sets to the error's text (never a consumer's data), so
// that an observer can tell an error box from other messages.
inline constexpr char ErrorTextProperty[] = "errorText";

// Test seam: while an override is alive, every modal show goes to its runner instead of QDialog::exec (the
// runner shows the dialog itself and returns its result); the previous runner is back when it ends.
using ModalRunner = std::function<int(QDialog& dialog)>;
class ModalRunnerOverride {
public:
    explicit ModalRunnerOverride(ModalRunner runner);
    ~ModalRunnerOverride();
    ModalRunnerOverride(const ModalRunnerOverride&) = delete;
    ModalRunnerOverride& operator=(const ModalRunnerOverride&) = delete;

private:
    ModalRunner m_previous;
};
