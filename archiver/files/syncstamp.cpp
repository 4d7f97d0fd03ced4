#include "syncstamp.h"

#include <cstdio>
#include <sys/xattr.h>

namespace vadok::archiver {

namespace {

constexpr const char* kAttribute = "user.vadok.synced";

std::string describe(const struct stat& a, SyncMoment m) {
    char text[160];
    std::snprintf(text, sizeof text, "1 %llu %llu %lld %lld %ld %lld %ld",
                  static_cast<unsigned long long>(a.st_dev),
                  static_cast<unsigned long long>(a.st_ino), static_cast<long long>(a.st_size),
                  static_cast<long long>(a.st_mtim.tv_sec), a.st_mtim.tv_nsec,
                  static_cast<long long>(m.sec), m.nsec);
    return text;
}

} // namespace

SyncMoment syncMomentNow() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return {now.tv_sec, now.tv_nsec};
}

bool changedSince(const struct timespec& t, const SyncMoment& moment) {
    return t.tv_sec > moment.sec || (t.tv_sec == moment.sec && t.tv_nsec >= moment.nsec);
}

std::optional<SyncMoment> readSyncStamp(const std::string& folder, const std::string& archive) {
    char text[160] = {};
    const ssize_t n = ::getxattr(folder.c_str(), kAttribute, text, sizeof text - 1);
    struct stat st {};
    if (n <= 0 || ::stat(archive.c_str(), &st) != 0)
        return std::nullopt;
    long long sec = 0;
    long nsec = 0;
    if (std::sscanf(text, "1 %*u %*u %*d %*d %*d %lld %ld", &sec, &nsec) != 2)
        return std::nullopt;
    const SyncMoment moment{sec, nsec};
    if (describe(st, moment) != text)
        return std::nullopt;
    // A clock set back since the stamp would give later changes earlier times.
    const SyncMoment now = syncMomentNow();
    if (!changedSince({static_cast<time_t>(now.sec), now.nsec}, moment))
        return std::nullopt;
    return moment;
}

void writeSyncStamp(const std::string& folder, const struct stat& archive, SyncMoment moment) {
    const std::string text = describe(archive, moment);
    ::setxattr(folder.c_str(), kAttribute, text.data(), text.size(), 0);
}

} // namespace vadok::archiver
