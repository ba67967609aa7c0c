#include "kit/ErrorReport.h"

#include "kit/Application.h"
#include "kit/Modal.h"
#include "kit/core/Errors.h"

#include <QDateTime>
#include <QMessageBox>

#include <cstdio>

namespace {

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
    std::fprintf(stderr, "%s totem[%d]: %s\n", qPrintable(QDateTime::currentDateTime().toString(Qt::ISODate)),
                 ModuloAtiv(), qPrintable(text));
    try {
        QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok);
        box.setObjectName(QStringLiteral("ErrorReport"));
        ExecModal(box);
    } catch (...) {
        std::fprintf(stderr, "totem: the error report could not be shown\n");
    }
}

void runGuarded(const std::function<void()>& handler) noexcept {
    try {
        handler();
    } catch (...) {
        reportFailure(std::current_exception());
    }
}
