#pragma once

#include <QString>

#include <optional>

namespace vadok {

// One value as each of the three versions holds it; nullopt where that version lacks it.
using Version = std::optional<QString>;

struct ThreeWay {
    Version value;
    bool fromTheirs = false; // theirs changed it and ours did not
    bool clash = false;      // both changed it, differently: ours was kept
};

// The three-way rule: a value that only one side changed takes that side's change, deletion
// included; a value both changed the same way is settled; one changed both ways keeps ours.
inline ThreeWay mergeThreeWay(const Version& base, const Version& ours, const Version& theirs) {
    if (ours == theirs || base == theirs)
        return {ours, false, false};
    if (base == ours)
        return {theirs, true, false};
    return {ours, false, true};
}

} // namespace vadok
