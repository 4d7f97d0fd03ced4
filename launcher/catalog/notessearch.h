#pragma once

#include <QString>

namespace vadok {

// Titles of the applications with a notes line containing text (case-sensitive), in file
// order, joined by TAB; empty when none. The text is matched literally, quotes included. A
// file that cannot be read is reported with the XML error message and gives "".
QString SearchNotes(const QString& text);

} // namespace vadok
