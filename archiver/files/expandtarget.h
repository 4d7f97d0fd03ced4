#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vadok::archiver {

// Where an expansion writes, and how a failed one is undone.
//
// A destination that is missing or an empty folder (every expansion of an application and
// of a dropped archive) is written as a hidden sibling in the same parent folder, named
// ".<name>.expanding-<pid>-<random>", and renamed onto the destination only when every member
// was written and checked: a failure removes the sibling and leaves the destination as it
// was, absent or empty, and so do a crash or a kill, apart from the sibling itself, which
// the next expansion into the same parent removes once its process is gone (the launcher
// sweeps such names from its execution folder too). The rename stays on one file system;
// where a sibling cannot be made there (a destination that is a mount point, a parent the
// user may not write to) the expansion writes in place as below.
//
// A destination that already holds entries is written in place. Before anything is written
// every path the archive creates that does not exist yet is noted; a failure removes those
// again, folders with everything in them. What the expansion overwrote is not restored.
class ExpandTarget {
public:
    ExpandTarget() = default;
    ~ExpandTarget();
    ExpandTarget(const ExpandTarget&) = delete;
    ExpandTarget& operator=(const ExpandTarget&) = delete;

    // Prepares dest (without a trailing "/"): false with the reason when it cannot be
    // written (it is a file, its parent cannot be created).
    bool open(const std::string& dest, std::string& error);

    // The folder to write into: absolute, without links, ending in "/".
    const std::string& writeRoot() const { return m_writeRoot; }
    bool staged() const { return !m_staging.empty(); }

    // For an expansion in place: notes which of these paths (relative, normalized, in any
    // order) and which folders above them do not exist yet. Call before writing anything.
    void noteNewPaths(const std::vector<std::string_view>& paths);

    // Moves what was written onto the destination; false with the reason when that fails,
    // which undoes the expansion. The destination's final path is finalRoot().
    bool commit(std::string& error);
    const std::string& finalRoot() const { return m_finalRoot; }

    // Removes what this expansion created. Done by the destructor unless committed.
    void rollback();

    // The name prefix of the staging folders for a destination named name, and whether a
    // folder name of that shape belongs to a process that is gone; for the sweep and tests.
    static std::string stagingPrefix(std::string_view name);
    static bool isStaleStaging(const std::string& parent, const std::string& entry,
                               std::string_view destName);

private:
    void sweepStale() const;
    bool makeStaging();

    std::string m_finalRoot;  // the destination, resolved, ending in "/"
    std::string m_writeRoot;  // what is written into
    std::string m_parent;     // the destination's parent folder, resolved
    std::string m_name;       // the destination's own name
    std::string m_staging;    // the staging folder's name in m_parent, or empty
    std::vector<std::string> m_createdParents; // folders made above a missing destination
    std::vector<std::string> m_newPaths;       // in place: what did not exist before
    bool m_done = false;
};

} // namespace vadok::archiver
