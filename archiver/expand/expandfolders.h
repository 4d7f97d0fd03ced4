#pragma once

#include "reading/archivereading.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

struct archive_entry;

namespace vadok::archiver {

class RefusedLinks;

// Folders its owner cannot enter, list or write to, and files it cannot read or write,
// strand an application: it can be neither expanded over, stored again nor deleted.
void letOwnerIn(struct archive_entry* entry);

// Tells the threads writing files which members' folders exist yet, while another thread
// still makes the rest.
class FolderGate {
public:
    // The folders of members [0, count) exist.
    void open(std::size_t count);
    // No more folders will be made: waiters for members past the last opened give up.
    void stop();
    bool stopped() const { return m_stopped.load(std::memory_order_relaxed); }
    // Waits until the folders of member exist; false when they never will.
    bool waitFor(std::size_t member);

private:
    std::atomic<std::size_t> m_ready{0};
    std::atomic<bool> m_stopped{false};
    // Threads asleep in waitFor or about to be: opening a member for nobody takes no lock, and
    // the folder thread opens every member of an archive of a million.
    std::atomic<std::size_t> m_waiters{0};
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

// The folders an expansion makes, each below root from the folder above it, open without
// following a link: mkdirat beside the descriptor of its parent. The descriptors of the
// folders above the member being made stay open, so that members listed folder by folder
// need no lookup of their path; so do those of the first folders made (as many as the
// process's limit of open files comfortably allows), until the expansion ends, for the
// writers to create the files in them by name alone. A link or a file standing where a
// folder goes is replaced; a folder there is kept with its mode. Folder members get their
// modes (owner read, write and search added, set-id and sticky bits dropped, the umask taken
// off) and their times in finish(), after their contents; the folders above members that
// have none of their own are made as mkdir makes them, without times. Never world-writable
// before finish(): the mode comes last.
class MemberFolders {
public:
    MemberFolders(const std::string& archivePath, const ArchiveListing& listing, int root,
                  mode_t umask, RefusedLinks& refused);
    ~MemberFolders();
    MemberFolders(const MemberFolders&) = delete;
    MemberFolders& operator=(const MemberFolders&) = delete;

    // The folders above path (normal, relative), from the top, then path itself when folder
    // says so.
    int make(const std::string& path, bool folder, std::string& error);
    // Makes what member needs (make()), and notes its folder's descriptor for folderOf.
    int makeFor(std::size_t member, std::string& error);
    // The folder of member, open until this is destroyed, once makeFor(member) returned;
    // -1 when its descriptor was not kept (the member is then opened from root).
    int folderOf(std::size_t member) const { return m_memberFolder[member]; }
    // Sets the times and modes of the folders made, deepest first; a folder that is gone or
    // no longer a folder is left alone.
    void finish();

private:
    struct Open {
        std::string path;
        int fd;
        bool kept; // open until the end
    };
    struct Fixup {
        std::string path;
        struct timespec times[2];
        bool timed;
        mode_t mode; // 0: as made
        int fd;      // kept open, or -1
    };
    int parentFd(std::size_t level);
    int makeOne(const std::string& path, std::string& error);
    int memberModeAndTimes(const ListedMember& m, const std::string& path, Fixup& fixup,
                           std::string& error);

    const std::string& m_archivePath;
    const ArchiveListing& m_listing;
    int m_root;
    mode_t m_umask;
    RefusedLinks& m_refused;
    std::unordered_map<std::string, std::size_t> m_folderMembers;
    std::unordered_map<std::string, int> m_made; // with the descriptor kept, or -1
    std::vector<int> m_memberFolder;
    std::size_t m_keepable = 0; // descriptors that may still be kept
    std::vector<Open> m_open; // the folders above the last path made, from the top
    std::vector<Fixup> m_fixups;
    int m_archiveFd = -1;
};

// Makes every folder the members need, in member order, opening the gate member by member
// (after each, step is called with its index). Stops early, without an error, once the gate
// is stopped; stops the gate itself when it fails.
int makeMemberFolders(MemberFolders& folders, const ArchiveListing& listing, FolderGate& gate,
                      const std::function<void(std::size_t)>& step, std::string& error);

} // namespace vadok::archiver
