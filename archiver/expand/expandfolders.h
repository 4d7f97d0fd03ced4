#pragma once

#include "reading/archivereading.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

struct archive;
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

// Makes every folder the members need, in member order, opening the gate member by member
// (after each, step is called with its index): first the folders above it, then the member
// itself when it is a folder. Folder members go through `disk` with their own header, their
// times and modes set when it is closed, after their contents; the folders above members that
// have none of their own go through `plain` as libarchive makes such folders, without times.
// Either replaces a link or a file standing in the way. Stops early, without an error, once
// the gate is stopped; stops the gate itself when it fails.
//
// libarchive's writers switch the process's umask on every header: files made meanwhile on
// other threads must be given modes the umask cannot change (createMemberFile's mask).
int makeMemberFolders(const std::string& archivePath, const ArchiveListing& listing,
                      const std::string& root, struct archive* disk, struct archive* plain,
                      RefusedLinks& refused, FolderGate& gate,
                      const std::function<void(std::size_t)>& step, std::string& error);

} // namespace vadok::archiver
