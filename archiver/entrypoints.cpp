#include "archiver.h"
#include "commandline.h"
#include "expand/expandjob.h"
#include "files/archivelock.h"
#include "store/storejob.h"

#include <mutex>

namespace vadok {

using namespace archiver;

namespace {

std::mutex callbackMutex;
ArchiverProgressCallback progressCallback;
ArchiverWarningCallback warningCallback;

struct Callbacks {
    ArchiverProgressCallback progress;
    ArchiverWarningCallback warning;
};

Callbacks currentCallbacks(bool quiet) {
    std::lock_guard lock(callbackMutex);
    // "-n " turns the progress display off; what became of the user's files is still said.
    return {quiet ? ArchiverProgressCallback() : progressCallback, warningCallback};
}

int run(const ArchiverCommand& c, const ArchiverSeams& seams) {
    const Callbacks cb = currentCallbacks(c.quiet);
    if (c.operation == ArchiverCommand::Operation::Store) {
        StoreOptions options;
        options.progress = cb.progress;
        options.warning = cb.warning;
        options.seams = seams;
        return storeFolder(c.archive, c.folder, options).code;
    }
    // Read while no store replaces the archive; a ZIP archive is never written here.
    ArchiveLock lock;
    if (c.operation != ArchiverCommand::Operation::ExpandZip) {
        ArchiveLock::Wait wait;
        wait.waiting = [&] {
            if (cb.progress)
                cb.progress({}, 0, 0);
            return true;
        };
        if (const int code = lock.take(c.archive, ArchiveLock::Kind::Shared, wait, cb.warning);
            code != ArchiverOk)
            return code;
    }
    ExpandOptions options;
    options.progress = cb.progress;
    options.warning = cb.warning;
    options.seams = seams;
    const ArchiveFormat format = c.operation == ArchiverCommand::Operation::ExpandZip
                                     ? ArchiveFormat::Zip
                                     : ArchiveFormat::Lzh;
    return expandArchive(c.archive, c.folder, format, options).code;
}

} // namespace

void SetArchiverProgressCallback(ArchiverProgressCallback callback) {
    std::lock_guard lock(callbackMutex);
    progressCallback = std::move(callback);
}

void SetArchiverWarningCallback(ArchiverWarningCallback callback) {
    std::lock_guard lock(callbackMutex);
    warningCallback = std::move(callback);
}

int Unlha(void* /*owner*/, const std::string& command, char* /*buffer*/, int /*size*/) {
    return Unlha(command, ArchiverSeams());
}

int Unlha(const std::string& command, const ArchiverSeams& seams) {
    const auto parsed = parseUnlhaCommand(command);
    if (!parsed)
        return ArchiverBadCommand;
    return run(*parsed, seams);
}

int UnZip(void* /*owner*/, const std::string& command, char* /*buffer*/, int /*size*/) {
    const auto parsed = parseUnzipCommand(command);
    if (!parsed)
        return ArchiverBadCommand;
    return run(*parsed, ArchiverSeams());
}

std::string ArchiveLockPath(const std::string& archivePath) {
    return ArchiveLock::lockPathOf(archivePath);
}

} // namespace vadok
