#pragma once

#include <QString>

// Shows the consultation terminal modally for this kiosk's branch and register; returns when it has closed.
void ShowTerminalConsu(const QString& branchCode, const QString& registerCode);
