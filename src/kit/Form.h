#pragma once

#include <QDialog>

class QKeyEvent;

// Base of every kiosk screen: a borderless window of fixed client size, centred on the screen when shown,
// whose activation, key and close handlers run inside the application's error guard.
//
// Keys reach the form's handlers before its controls (key preview): FormKeyDown receives the virtual-key
// code and may set it to 0 to discard the key; FormKeyPress then receives the typed character and may set it
// to a null character to discard it. Buttons never take the focus; controls that do (grids, edit boxes) are
// registered with previewKeysOf so that their keys pass through the form first.
class TForm : public QDialog {
    Q_OBJECT
public:
    explicit TForm(QWidget* parent = nullptr);

    // Top-left corner that centres a window of the given size on an area; on an area smaller than the window
    // the corner is negative, so the window overhangs evenly on both sides.
    static QPoint centredOn(const QRect& area, const QSize& size);

    // How many times the activation handler has run; lets tests wait for it.
    int activationCount() const { return m_activations; }

    // Delivers a key as the keyboard would: key-down first, then the typed character.
    void deliverKey(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text);

protected:
    void setClientSize(int width, int height);
    void previewKeysOf(QWidget* control);

    virtual void FormActivate() {}
    virtual void FormKeyDown(int& /*key*/, Qt::KeyboardModifiers /*shift*/) {}
    virtual void FormKeyPress(QChar& /*key*/) {}
    virtual void FormClose() {}

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;
    void showEvent(QShowEvent* event) override;

private:
    bool dispatchKey(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text);
    void centreOnScreen();
    void shapeToBackground();

    int m_activations = 0;
    const QEvent* m_previewed = nullptr;
};
