#pragma once

#include <QString>

namespace vadok {

// Writes one panel of the main window's status bar; panel 0 means 1. Panels other than 1 and
// 2 are a programming mistake and get a message instead.
void SetStatusText(const QString& text, int panel = 0);

} // namespace vadok
