#pragma once

#include <QString>
#include <QStringList>

#include <deque>
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

// Test seam: while alive, each modal show runs the next step of the script inside the dialog's modal loop,
// once the dialog has been activated. A step that leaves the dialog open is given `timeoutMs` for its timers
// to close it; after that the dialog is rejected and the fault is recorded, so a broken test never hangs.
class ModalScript {
public:
    // An empty step expects a dialog that closes by itself (from its activation handler, say); one still
    // open once activated is rejected at once.
    using Step = std::function<void(QDialog&)>;

    explicit ModalScript(std::deque<Step> steps = {}, int timeoutMs = 3000);
    ~ModalScript();
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    void then(Step step) { m_steps.push_back(std::move(step)); }
    // Faults seen: steps missing for a dialog, dialogs left open, exceptions inside a step.
    const QStringList& faults() const { return m_faults; }
    // Class names (or object names when set) of the dialogs shown, in order.
    const QStringList& shown() const { return m_shown; }
    int pendingSteps() const { return static_cast<int>(m_steps.size()); }

    int run(QDialog& dialog);

private:
    std::deque<Step> m_steps;
    int m_timeoutMs;
    QStringList m_faults;
    QStringList m_shown;
    ModalScript* m_previous;
};
