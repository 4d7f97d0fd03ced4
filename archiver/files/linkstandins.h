#pragma once

#include "base/seams.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vadok::archiver {

// File systems that hold no symbolic links and no modes (exFAT and FAT on USB sticks and SD
// cards, several FUSE file systems). An expansion there makes, in place of each link, a copy
// of what the link leads to inside the destination (a stand-in), and records every such link,
// and the mode of every file and folder when the file system shows all alike, in a list at
// the top of the destination. A store from that folder takes the list back: a stand-in still
// equal to what its link leads to is stored as the link again, and a link whose stand-in
// could not be made (it leads to nothing, to the destination itself or to a folder above it)
// is stored from the list alone; while the file system still keeps no modes, listed files
// and folders are stored with their listed modes. A stand-in that was changed is stored as
// what it now is, with a warning: nothing written to it is lost.
//
// Which file is the list. An archive may hold a file of the list's name itself (made by
// anyone, or stored by mistake): that file is an ordinary file, stored as it is and never
// read as a list. So the list goes under the first of the names ".vadok-stand-ins",
// ".vadok-stand-ins-2", ".vadok-stand-ins-3", ... that comes after every one of them at the
// top of what is expanded (in any letter case), and one is written, empty if need be,
// whenever the archive holds such a name. The list of a folder is the last of these names
// at its top; it is never stored itself.
//
// A list is input like any other file: one whose records are not all sound (a path that is
// not a plain relative path, a link below another link, a link that leads out of the folder
// or round in circles, a mode beyond the permission bits, a path listed twice) is no list.
constexpr const char* kStandInListName = ".vadok-stand-ins";

// 1 for kStandInListName, k for its "-k" form (k >= 2), in any letter case; 0 for any other
// name.
std::uint64_t standInListIndex(std::string_view name);
// The list's name of that index (1 or more).
std::string standInListName(std::uint64_t index);
// The highest index among names (the first parts of paths count by that part).
std::uint64_t highestStandInListIndex(const std::vector<std::string_view>& names);

struct LinkRecord {
    std::string path;   // relative to the destination
    std::string target; // as the member gave it
    std::int64_t mtime = 0;
};

struct ModeRecord {
    std::string path;
    std::uint32_t mode = 0; // permission bits
    bool folder = false;
};

struct StandInList {
    std::vector<LinkRecord> links;
    std::vector<ModeRecord> modes;
    bool empty() const { return links.empty() && modes.empty(); }
};

// Whether a failed symlink() with this errno means the file system holds no links.
bool linksUnsupported(int error);

// Whether a symbolic link can be made in folder. Asked with a hidden link made and removed at
// once; a folder that takes nothing counts as holding them.
bool fileSystemHoldsLinks(const std::string& folder, const ArchiverSeams& seams);

// Whether files made in folder keep the modes they are given (false where every file shows
// the same mode whatever it was given). Asked with a hidden file made and removed at once;
// a folder that takes no file counts as keeping them.
bool fileSystemKeepsModes(const std::string& folder);

// What an expansion's file system could not hold, gathered from any of its threads.
class RefusedLinks {
public:
    explicit RefusedLinks(bool recordModes = false) : m_recordModes(recordModes) {}
    void add(LinkRecord link);
    // Kept only when the file system keeps no modes.
    void addMode(const std::string& path, std::uint32_t mode, bool folder = false);
    StandInList take();

private:
    const bool m_recordModes;
    std::mutex m_mutex;
    StandInList m_list;
};

// The links of a list (or of an archive) by path, to follow paths through them.
class ListedLinks {
public:
    explicit ListedLinks(const std::vector<LinkRecord>& links);
    bool isLink(const std::string& path) const { return m_targets.count(path) != 0; }
    // Where path leads, followed through the links as the kernel would follow them, as a
    // path relative to the destination ("" for the destination itself); nullopt when it
    // leaves the destination (an absolute target included) or goes round in circles.
    std::optional<std::string> resolve(const std::string& path) const;
    // Where the link at path with target leads, in the same way.
    std::optional<std::string> resolveLink(const std::string& path, const std::string& target) const;

private:
    std::unordered_map<std::string, std::string> m_targets;
};

// Makes the stand-ins of the list's links below root (ending in "/") and writes the list
// there under listName; false with error when a copy or the list cannot be written. Linear
// in the records, apart from the copies themselves.
bool makeLinkStandIns(const std::string& root, const StandInList& list,
                      const std::string& listName, std::string& error);

// Writes the list under listName in folder (ending in "/"), replacing what stood there in
// one step; false with error when it cannot be written.
bool writeStandInList(const std::string& folder, const std::string& listName,
                      const StandInList& list, std::string& error);

// The name of the list at the top of folder (ending in "/"): the last of the list's names
// there; "" when it holds none.
std::string standInListIn(const std::string& folder);
// The list under name in folder; nullopt, with why, when it is no sound list.
std::optional<StandInList> readStandInList(const std::string& folder, const std::string& name,
                                           std::string& why);

// After the files names at the top of from were moved to the top of to (a version-up): what
// the list at the top of listFolder (from or a folder above it) says of them goes into the
// list at the top of toTop (to or a folder above it: the list a store reads), and what that
// said of the files they replaced goes. All four end in "/". 0, or 1 with error when the
// list of toTop cannot be written or to does not lie within toTop.
int carryStandIns(const std::string& listFolder, const std::string& from, const std::string& toTop,
                  const std::string& to, const std::vector<std::string>& names,
                  std::string& error);

// Reads a list from its bytes; nullopt, with why, when they are no list or any record fails
// the checks above.
std::optional<StandInList> parseStandInList(std::string_view bytes, std::string& why);

// Whether what stands at copy below folder equals what stands at original: files byte for
// byte, folders entry for entry.
bool sameContent(const std::string& folder, const std::string& copy, const std::string& original);

} // namespace vadok::archiver
