#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/stat.h>

namespace vadok::archiver {

// Called as a store reads the folder's files, on the thread that reads them: before a file
// is opened, and after each piece read with the bytes read of it so far. Tests use them to
// change a file at an exact moment; a store leaves them empty.
struct SourceReadHooks {
    std::function<void(const std::string& path)> beforeOpen;
    std::function<void(const std::string& path, std::uint64_t bytesRead)> afterRead;
};

// What the scan saw of a file, and so what its member's header says: a read must find the
// file so and leave it so.
struct ExpectedFile {
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    std::uint32_t mtimeNsec = 0;
};

enum class SourceRead {
    Ok,
    CannotRead, // gone, no longer a regular file, reached through a link, or a read failed
    Changed,    // not what the scan saw, or changed while it was read
};

class SourceFolder;

// One file of the folder open for reading, with what it was when opened. Bytes read from a
// file that something else writes at the same time are a mix of two versions that matches
// neither, so a read counts only when the file has the size and modification time the scan
// saw, gives exactly that many bytes, and still has the same size and times (status-change
// time included, which every write moves) when the reading ends.
class SourceFile {
public:
    SourceFile(const SourceFolder& folder, const std::string& path);
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool is(const ExpectedFile& expected) const;
    // Reads up to size bytes; 0 at the end, -1 on an error.
    long read(std::uint8_t* dest, std::size_t size);
    std::uint64_t bytesRead() const { return m_read; }
    bool unchangedSinceOpened() const;

private:
    const SourceFolder& m_folder;
    std::string m_path;
    int m_fd = -1;
    struct stat m_opened {};
    std::uint64_t m_read = 0;
};

// The folder being stored, and the files read from it. The folder belongs to an application
// and its user, so anything in it may change while a store reads it: a file replaced by a
// FIFO would block an ordinary open() for ever, and a file or one of its folders replaced
// by a symbolic link would have us store the bytes of a file outside.
class SourceFolder {
public:
    explicit SourceFolder(const std::string& folder, SourceReadHooks hooks = {});
    ~SourceFolder();
    SourceFolder(const SourceFolder&) = delete;
    SourceFolder& operator=(const SourceFolder&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }
    const SourceReadHooks& hooks() const { return m_hooks; }

    // Opens the file at path (relative, "/"-separated) for reading without following a link
    // anywhere on the way and without blocking, with its status as opened; -1 when that
    // fails or what stands there is no longer a regular file.
    int openFile(const std::string& path, struct stat& opened) const;

    // Reads the whole file at path through sink; false when it cannot be opened or read.
    bool readFile(const std::string& path,
                  const std::function<void(const std::uint8_t*, std::size_t)>& sink) const;
    // Reads the file at path, which must be as expected (SourceFile), through sink. On
    // anything but Ok, what sink received is no version of the file.
    SourceRead readFile(const std::string& path, const ExpectedFile& expected,
                        const std::function<void(const std::uint8_t*, std::size_t)>& sink) const;

private:
    std::string m_path;
    int m_fd = -1;
    SourceReadHooks m_hooks;
};

} // namespace vadok::archiver
