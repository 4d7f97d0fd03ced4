#pragma once

#include "base/alongside.h"
#include "base/seams.h"
#include "files/outputfile.h"
#include "files/sourcefile.h"
#include "lzh/lzhmethod.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vadok::archiver {

struct StoreOptions {
    LzhMethod method = LzhMethod::Lh7;
    unsigned threads = 0; // 0: one per core, at most four
    // What members prepared ahead of the one being written may hold in memory; the member
    // being waited for is always prepared, whatever it holds.
    std::size_t memoryAhead = 16 << 20;
    std::function<void(const std::string& member, std::uint64_t done, std::uint64_t total)>
        progress;
    std::function<void(const std::string& message)> warning;
    // How long to wait for another store, or an expansion or check, of the same archive;
    // while waiting, warning is called once and progress with no member and 0 of 0 bytes
    // every few milliseconds.
    std::chrono::milliseconds lockWait{std::chrono::minutes(10)};
    // For tests: called on the workers as they open and read the folder's files.
    SourceReadHooks reading;
    // For tests: called on the scanning thread for each file as the scan meets it.
    std::function<void(const std::string& path)> scanned;
    // For tests: starts the store's threads (empty: std::thread).
    ThreadStart startThread;
    // For tests: how the new archive is synced while it is written (its start, when empty,
    // is startThread).
    OutputSyncing syncing;
    ArchiverSeams seams;
};

struct StoreResult {
    int code = 0; // an ArchiverCode
    std::string error;
    unsigned compressed = 0; // members encoded in this call
    unsigned copied = 0;     // members carried over as raw data
    // Copies from the old archive: each run of members that lie there as they go into the
    // new one (headers and data, folders among them) is one.
    unsigned copyRanges = 0;
};

// Adds and replaces the contents of folder in the archive (see archiver.h for the rules).
StoreResult storeFolder(const std::string& archivePath, const std::string& folder,
                        const StoreOptions& options);

} // namespace vadok::archiver
