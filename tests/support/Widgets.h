#pragma once

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QWidget>

#include <stdexcept>

// Finds a control of a screen by its object name; a missing one raises, so that a script step acting on the
// wrong screen records a fault instead of crashing the test.
template <typename T>
T& childOf(const QWidget& screen, const char* name) {
    T* child = screen.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        throw std::runtime_error(std::string(screen.metaObject()->className()) + " has no " + name);
    }
    return *child;
}

// Clicks the button so named, as a finger on the screen does.
inline void press(const QWidget& screen, const char* button) {
    QTest::mouseClick(&childOf<QAbstractButton>(screen, button), Qt::LeftButton);
}

// What the terminal or the set-up keypad has typed so far.
inline QString bufferOf(const QWidget& screen) {
    return childOf<QLabel>(screen, "lblBuffer").text();
}

// The application's top-level window so named; null when there is none.
inline QWidget* topLevelNamed(const QString& name) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == name) {
            return window;
        }
    }
    return nullptr;
}

// The texts a model shows in one column, top to bottom.
inline QStringList modelColumn(const QAbstractItemModel& model, int column) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) {
        texts.append(model.data(model.index(row, column)).toString());
    }
    return texts;
}
