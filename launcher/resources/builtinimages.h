#pragma once

#include <QPixmap>
#include <QString>

namespace vadok {

// The images the main window carries itself: "exeicon" (the launcher), "folclose", "folopen"
// and "white32" (the background under the large picture). A null pixmap for any other key.
QPixmap builtinImage(const QString& key);

} // namespace vadok
