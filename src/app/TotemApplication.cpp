#include "app/TotemApplication.h"

#include "kit/ErrorReport.h"

TotemApplication::TotemApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationVersion(QStringLiteral(TOTEM_VERSION));
}

bool TotemApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportFailure(std::current_exception());
        return false;
    }
}
