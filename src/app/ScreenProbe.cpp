#include "app/ScreenProbe.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QWidget>

#include <cstdio>

namespace {

constexpr int MaxRowsDescribed = 200;
constexpr qint64 MaxRequestBytes = 4096;

QString textOf(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    return widget->windowTitle();
}

QJsonArray rowsOf(const QAbstractItemView* view) {
    QJsonArray rows;
    const QAbstractItemModel* model = view->model();
    if (model == nullptr) {
        return rows;
    }
    for (int row = 0; row < std::min(model->rowCount(), MaxRowsDescribed); ++row) {
        QJsonArray cells;
        for (int column = 0; column < model->columnCount(); ++column) {
            cells.append(model->index(row, column).data().toString());
        }
        rows.append(cells);
    }
    return rows;
}

void addGeometry(QJsonObject& object, const QWidget* widget) {
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    object.insert(QStringLiteral("x"), origin.x());
    object.insert(QStringLiteral("y"), origin.y());
    object.insert(QStringLiteral("w"), widget->width());
    object.insert(QStringLiteral("h"), widget->height());
}

QJsonObject describeWidget(const QWidget* widget) {
    QJsonObject object{{QStringLiteral("name"), widget->objectName()},
                       {QStringLiteral("class"), QString::fromLatin1(widget->metaObject()->className())},
                       {QStringLiteral("text"), textOf(widget)},
                       {QStringLiteral("enabled"), widget->isEnabled()}};
    addGeometry(object, widget);
    if (const auto* view = qobject_cast<const QAbstractItemView*>(widget)) {
        object.insert(QStringLiteral("rows"), rowsOf(view));
    }
    return object;
}

// Named or captioned visible widgets only: the rest is layout the tests never look for.
void describeChildren(const QWidget* parent, QJsonArray& widgets) {
    for (const QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isVisible() || child->isWindow()) {
            continue;
        }
        if (!child->objectName().isEmpty() || !textOf(child).isEmpty()) {
            widgets.append(describeWidget(child));
        }
        describeChildren(child, widgets);
    }
}

QJsonObject describeWindow(const QWidget* window) {
    QJsonArray widgets;
    describeChildren(window, widgets);
    QJsonObject object{{QStringLiteral("name"), window->objectName()},
                       {QStringLiteral("class"), QString::fromLatin1(window->metaObject()->className())},
                       {QStringLiteral("modal"), window->isModal()},
                       {QStringLiteral("widgets"), widgets}};
    addGeometry(object, window);
    return object;
}

}  // namespace

ScreenProbe::ScreenProbe(QObject* parent) : QObject(parent) {
    connect(&m_server, &QLocalServer::newConnection, this, &ScreenProbe::onNewConnection);
}

bool ScreenProbe::listenFromEnvironment() {
    const QString name = qEnvironmentVariable("TOTEM_PROBE_SOCKET");
    if (name.isEmpty()) {
        return true;
    }
    QLocalServer::removeServer(name);
    if (!m_server.listen(name)) {
        std::fprintf(stderr, "screen probe: cannot listen on %s: %s\n", qPrintable(name),
                     qPrintable(m_server.errorString()));
        return false;
    }
    return true;
}

QJsonObject ScreenProbe::describeScreen() {
    QJsonArray windows;
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible()) {
            windows.append(describeWindow(window));
        }
    }
    const QWidget* active = QApplication::activeWindow();
    return {{QStringLiteral("active"), active != nullptr ? active->objectName() : QString()},
            {QStringLiteral("windows"), windows}};
}

void ScreenProbe::onNewConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [socket] {
            while (socket->canReadLine()) {
                socket->readLine(MaxRequestBytes);
                socket->write(QJsonDocument(describeScreen()).toJson(QJsonDocument::Compact) + '\n');
            }
            if (socket->bytesAvailable() > MaxRequestBytes) {
                socket->abort();
            }
        });
    }
}
