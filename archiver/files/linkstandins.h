#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vadok::archiver {

// File systems that hold no symbolic links and no modes (exFAT and FAT on USB sticks and SD
// cards, several FUSE file systems). An expansion there makes, in place of each link, a copy
// of what the link leads to inside the destination (a stand-in), and records every such link,
// and the mode of every file when the file system shows all files alike, in the list file
// kStandInListName at the top of the destination. A store from that folder takes the list
// back: a stand-in still equal to what its link leads to is stored as the link again, and a
// link whose stand-in could not be made (it leads to nothing, to the destination itself or
// to a folder above it) is stored from the list alone; while the file system still keeps no
// modes, listed files are stored with their listed modes. A stand-in that was changed is
// stored as what it now is, with a warning: nothing written to it is lost. The list file
// itself is never stored.
constexpr const char* kStandInListName = ".vadok-stand-ins";

struct LinkRecord {
    std::string path;   // relative to the destination
    std::string target; // as the member gave it
    std::int64_t mtime = 0;
};

// Whether a failed symlink() with this errno means the file system holds no links.
bool linksUnsupported(int error);

// Tests make every link creation fail as on such a file system.
void refuseLinksForTesting(bool refuse);
bool linksRefusedForTesting();

struct ModeRecord {
    std::string path;
    std::uint32_t mode = 0; // permission bits
};

struct StandInList {
    std::vector<LinkRecord> links;
    std::vector<ModeRecord> modes;
};

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
    void addMode(const std::string& path, std::uint32_t mode);
    StandInList take();

private:
    const bool m_recordModes;
    std::mutex m_mutex;
    StandInList m_list;
};

// Where the link at path leads, followed through the other links of the list as the kernel
// would follow them, as a path relative to the destination ("" for the destination itself);
// nullopt when it leaves the destination or goes round in circles.
std::optional<std::string> resolveListedLink(const std::string& path, const std::string& target,
                                             const std::vector<LinkRecord>& links);

// Makes the stand-ins of the list's links below root (ending in "/") and writes the list;
// false with error when a copy or the list cannot be written.
bool makeLinkStandIns(const std::string& root, const StandInList& list, std::string& error);

// Whether the file of the list's name at the top of folder (ending in "/") is such a list.
bool isStandInList(const std::string& folder);

// The list at the top of folder (ending in "/"); empty when there is none or it is damaged.
StandInList readStandInList(const std::string& folder);

// Whether what stands at copy below folder equals what stands at original: files byte for
// byte, folders entry for entry.
bool sameContent(const std::string& folder, const std::string& copy, const std::string& original);

} // namespace vadok::archiver
