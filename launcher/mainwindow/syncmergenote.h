#pragma once

#include <QString>

namespace vadok {

// The conflict copies of the data file that a sync engine left beside it: merged in, with
// what clashed or could not be merged told in a message and what was merged kept as a note
// for the status bar until the window has settled (while the tree loads, its own texts take
// the status bar).
class SyncMergeNote {
public:
    // Merges the copies; settled: the window shows its final texts, so the note goes out now.
    void merge(bool settled);
    // Writes the note of the last merge, if one waits.
    void show();

private:
    QString m_note;
};

} // namespace vadok
