#pragma once

#include <QPixmap>
#include <QString>

namespace vadok {

// The images the windows carry themselves: "exeicon" (the launcher), "folclose", "folopen",
// "white32" (the background under the large picture), and for files whose type has no icon
// of the desktop's "document" (any document) and "program" (a Windows program). A null
// pixmap for any other key.
QPixmap builtinImage(const QString& key);

} // namespace vadok
