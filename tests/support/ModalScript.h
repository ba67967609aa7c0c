#pragma once

#include "kit/Modal.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

class QDialog;

// While alive, each modal show runs the next step of the script inside the dialog's modal loop, once the
// dialog has been activated. A step that leaves the dialog open is given `timeoutMs` for its timers to close
// it; after that the dialog is rejected and the fault is recorded, so a broken test never hangs.
class ModalScript {
public:
    // An empty step expects a dialog that closes by itself (from its activation handler, say); one still
    // open once activated is rejected at once.
    using Step = std::function<void(QDialog&)>;

    explicit ModalScript(std::deque<Step> steps = {}, int timeoutMs = 3000);
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    void then(Step step) { m_steps.push_back(std::move(step)); }
    // Faults seen: steps missing for a dialog, dialogs left open, exceptions inside a step.
    const QStringList& faults() const { return m_faults; }
    // Class names (or object names when set) of the dialogs shown, in order.
    const QStringList& shown() const { return m_shown; }
    int pendingSteps() const { return static_cast<int>(m_steps.size()); }

private:
    int run(QDialog& dialog);

    std::deque<Step> m_steps;
    int m_timeoutMs;
    QStringList m_faults;
    QStringList m_shown;
    ModalRunnerOverride m_runner;
};
