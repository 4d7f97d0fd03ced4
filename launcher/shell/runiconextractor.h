#pragma once

#include <QString>
#include <functional>

namespace vadok {

// How long RunIconExtractor waits for glimtake's file: pauses between tests, the number of
// tests, and a last pause once the file is there so its writer is surely done. Injectable so
// tests need not wait seconds.
struct IconExtractorWait {
    int pauseMs = 150;
    int maxTests = 30;
    int settleMs = 100;
    // Blocks for the given milliseconds; pending events are processed after each pause.
    std::function<void(int)> pause;
};
IconExtractorWait iconExtractorWait();
void setIconExtractorWait(const IconExtractorWait& wait);

// The file glimtake leaves in the program folder.
QString temporaryIconPath();

// Starts glimtake on targetPath and waits a bounded time for "_temp.ico" to appear in the
// program folder; the caller tests for that file afterwards. A missing glimtake or target is
// reported to the user, a glimtake that writes nothing is not.
void RunIconExtractor(const QString& targetPath);

} // namespace vadok
