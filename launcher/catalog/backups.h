#pragma once

#include <QString>

namespace vadok {

// At the end of a run: when the data file's size differs from the start-up snapshot
// vadok.xml.now, the generations move down (.older to .oldest, .old to .older) and the
// snapshot becomes .old; the snapshot is then removed. Nothing happens without one.
// False when a generation could not be written (its file name in failedGeneration): the
// generations are then as they were and the snapshot is kept.
bool RotateBackups(QString* failedGeneration = nullptr);

} // namespace vadok
