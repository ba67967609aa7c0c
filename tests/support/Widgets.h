#pragma once

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
