#pragma once

#include <QString>

#include <optional>

namespace vadok {

// What one of the three versions holds for one value; nullopt where that version lacks it.
using SideValue = std::optional<QString>;

struct ThreeWay {
    SideValue value;
    bool fromTheirs = false; // theirs changed it and ours did not
    bool clash = false;      // both changed it, differently: ours was kept
};

// The three-way rule: a value that only one side changed takes that side's change, deletion
// included; a value both changed the same way is settled; one changed both ways keeps ours.
inline ThreeWay mergeThreeWay(const SideValue& base, const SideValue& ours, const SideValue& theirs) {
    if (ours == theirs || base == theirs)
        return {ours, false, false};
    if (base == ours)
        return {theirs, true, false};
    return {ours, false, true};
}

} // namespace vadok
