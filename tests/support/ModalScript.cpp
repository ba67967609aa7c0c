#include "support/ModalScript.h"

#include "kit/Form.h"

#include <QDialog>
#include <QTimer>

namespace {

bool isReadyForScript(const QDialog& dialog) {
    if (const auto* form = qobject_cast<const TForm*>(&dialog)) {
        return form->activationCount() > 0;
    }
    return dialog.isActiveWindow();
}

QString describe(const QDialog& dialog) {
    return dialog.objectName().isEmpty() ? QString::fromLatin1(dialog.metaObject()->className())
                                         : dialog.objectName();
}

}  // namespace

ModalScript::ModalScript(std::deque<Step> steps, int timeoutMs)
    : m_steps(std::move(steps)),
      m_timeoutMs(timeoutMs),
      m_runner([this](QDialog& dialog) { return run(dialog); }) {}

int ModalScript::run(QDialog& dialog) {
    m_shown.append(describe(dialog));
    Step step;
    if (!m_steps.empty()) {
        step = std::move(m_steps.front());
        m_steps.pop_front();
    } else {
        m_faults.append(QStringLiteral("no step for %1").arg(describe(dialog)));
    }
    // Both timers live only as long as this modal show, so nothing fires once the script is gone.
    QTimer poll;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &dialog, [this, &dialog] {
        if (dialog.isVisible()) {
            m_faults.append(QStringLiteral("%1 was left open").arg(describe(dialog)));
            dialog.reject();
        }
    });
    int polls = 0;
    bool stepRan = false;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        // Wait for the dialog's activation handlers, but not for ever: some platforms never activate.
        if (!isReadyForScript(dialog) && ++polls < 200) {
            return;
        }
        poll.stop();
        stepRan = true;
        if (step) {
            try {
                step(dialog);
            } catch (const std::exception& e) {
                m_faults.append(QStringLiteral("step for %1 raised: %2")
                                    .arg(describe(dialog), QString::fromLocal8Bit(e.what())));
            }
        }
        if (dialog.isVisible()) {
            watchdog.start(step ? m_timeoutMs : 0);
        }
    });
    poll.start(1);
    const int result = dialog.exec();
    if (step && !stepRan) {
        m_faults.append(QStringLiteral("%1 closed before its step ran").arg(describe(dialog)));
    }
    return result;
}
