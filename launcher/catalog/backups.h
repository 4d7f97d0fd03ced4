#pragma once

namespace vadok {

// At the end of a run: when the data file's size differs from the start-up snapshot
// vadok.xml.now, the generations move down (.older to .oldest, .old to .older) and the
// snapshot becomes .old. The snapshot is removed either way. Nothing happens without one.
void RotateBackups();

} // namespace vadok
