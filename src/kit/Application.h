#pragma once

#include <QString>

class QWidget;

// Application-wide services of the kit.

// Translates a form's texts through the installed language tables (none are installed for Portuguese).
void Trad(QWidget* form);
// Records the identity of the running program; the kiosk is module 62.
void SetModuloAtiv(int module);
int ModuloAtiv();
// The program's working directory (created and entered at start-up).
QString WorkingDirectory();
// The main form, over which the wait overlay is centred.
void SetMainForm(QWidget* form);
QWidget* MainForm();
// The application title and icon that every form copies into its own.
QString ApplicationTitle();
void applyApplicationLook(QWidget* form);
// Font substitutes for the faces the layouts name (Tahoma, Verdana, Times New Roman, MS Sans Serif).
void installFontSubstitutes();
// Switches Qt's pixmap cache off for the whole run; see the definition for why.
void disablePixmapCache();
