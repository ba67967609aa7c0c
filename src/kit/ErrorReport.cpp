#include "kit/ErrorReport.h"

#include "kit/Application.h"
#include "kit/Modal.h"
#include "kit/core/Errors.h"
#include "platform/Journal.h"

#include <QMessageBox>

#include <cstdio>

namespace {

int g_exitStatus = 0;

void logError(const QString& text) {
    platform::journal::log(platform::journal::Priority::Error,
                           QStringLiteral("totem-kiosk[%1]: %2").arg(ModuloAtiv()).arg(text));
}

QString failureText(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Erro desconhecido.");
    }
}

bool isSilentAbort(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const SilentAbort&) {
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

void reportFailure(std::exception_ptr failure) noexcept {
    if (!failure || isSilentAbort(failure)) {
        return;
    }
    const QString text = failureText(failure);
    logError(text);
    try {
        QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok);
        box.setObjectName(QStringLiteral("ErrorReport"));
        box.setProperty(ErrorTextProperty, text);
        ExecModal(box);
    } catch (...) {
        std::fprintf(stderr, "totem-kiosk: the error report could not be shown\n");
    }
}

void runGuarded(const std::function<void()>& handler) noexcept {
    try {
        handler();
    } catch (...) {
        reportFailure(std::current_exception());
    }
}

void reportProgramEnd(const QString& reason) noexcept {
    g_exitStatus = 1;
    logError(reason);
}

int programExitStatus() {
    return g_exitStatus;
}
