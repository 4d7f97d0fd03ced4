#include "oldmember.h"

#include "files/sourcefile.h"
#include "lzh/crc32.h"
#include "lzh/lzhheaderwriter.h"
#include "memberverify.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

namespace vadok::archiver {

namespace {

// The member's stored data, read piece by piece, with the CRC-32 of what has been read.
class StoredData {
public:
    StoredData(int fd, const LzhMember& m) : m_fd(fd), m_at(m.dataOffset), m_left(m.compressedSize) {}
    std::size_t read(std::uint8_t* dest, std::size_t size) {
        const auto n = ::pread(m_fd, dest, static_cast<std::size_t>(std::min<std::uint64_t>(size, m_left)),
                               static_cast<off_t>(m_at));
        if (n <= 0)
            return 0;
        const auto got = static_cast<std::size_t>(n);
        m_crc = crc32Update(m_crc, dest, got);
        m_at += got;
        m_left -= got;
        return got;
    }
    // Reads the rest (all of it, or what a decoder left), so that crc() covers all the data.
    bool finish() {
        // One buffer per thread: a re-store checks thousands of small members.
        // Left as allocated: only what is read into it is touched.
        constexpr std::size_t kRest = 256 * 1024;
        thread_local const std::unique_ptr<std::uint8_t[]> rest =
            std::make_unique_for_overwrite<std::uint8_t[]>(kRest);
        while (m_left > 0)
            if (read(rest.get(), kRest) == 0)
                return false;
        return true;
    }
    std::uint32_t crc() const { return m_crc; }

private:
    int m_fd;
    std::uint64_t m_at;
    std::uint64_t m_left;
    std::uint32_t m_crc = 0;
};

// Compares decoded pieces with the file, which must end where the member ends.
class FileComparison {
public:
    FileComparison(const SourceFolder& folder, const std::string& path) : m_file(folder, path) {}
    SourceFile& file() { return m_file; }
    bool matches(const std::uint8_t* data, std::size_t size) {
        m_buffer.resize(std::max(m_buffer.size(), size));
        std::size_t got = 0;
        while (got < size) {
            const long n = m_file.read(m_buffer.data() + got, size - got);
            if (n <= 0)
                return false;
            got += static_cast<std::size_t>(n);
        }
        // An empty piece holds no bytes to compare, and memcmp may not be handed its null data.
        return size == 0 || std::memcmp(m_buffer.data(), data, size) == 0;
    }
    bool atEnd() {
        std::uint8_t byte;
        return m_file.read(&byte, 1) == 0;
    }

private:
    SourceFile m_file;
    std::vector<std::uint8_t> m_buffer;
};

} // namespace

OldMemberVerdict oldMemberHolds(int archiveFd, const LzhMember& old, const SourceFolder* folder,
                                const std::string& fileToCompare, const ExpectedFile& expected,
                                std::uint32_t& storedCrc, std::string& why) {
    StoredData stored(archiveFd, old);
    if (fileToCompare.empty() && old.storedCrc) {
        const bool whole = stored.finish();
        storedCrc = stored.crc();
        if (whole && storedCrc == *old.storedCrc)
            return OldMemberVerdict::Holds;
        why = "its data is damaged (CRC-32 of the stored data differs)";
        return OldMemberVerdict::Differs;
    }
    std::unique_ptr<FileComparison> file;
    if (!fileToCompare.empty()) {
        file = std::make_unique<FileComparison>(*folder, fileToCompare);
        if (!file->file().isOpen()) {
            why = "the file cannot be read";
            return OldMemberVerdict::Differs;
        }
        // A member equal to bytes read while the file changed would be copied under the
        // header of a file that no longer is.
        if (!file->file().is(expected))
            return OldMemberVerdict::FileChanged;
    }
    std::string error;
    const bool decoded = verifyMemberData(
        encodeDataCheckHeader(old),
        [&](std::uint8_t* dest, std::size_t size) { return stored.read(dest, size); },
        old.originalSize, old.crc, error,
        file ? DecodedSink([&](const std::uint8_t* p, std::size_t n) { return file->matches(p, n); })
             : DecodedSink());
    const bool whole = decoded && stored.finish() && (!file || file->atEnd());
    if (file && !file->file().unchangedSinceOpened())
        return OldMemberVerdict::FileChanged;
    if (!whole) {
        why = !file                  ? "its data is damaged (" + error + ")"
              : decoded              ? "the file differs"
                                     : "the file differs or the member is damaged (" + error + ")";
        return OldMemberVerdict::Differs;
    }
    storedCrc = stored.crc();
    return OldMemberVerdict::Holds;
}

} // namespace vadok::archiver
