#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vadok::archiver {

// The folder being stored, and the files read from it. The folder belongs to an application
// and its user, so anything in it may change while a store reads it: a file replaced by a
// FIFO would block an ordinary open() for ever, and a file or one of its folders replaced
// by a symbolic link would have us store the bytes of a file outside.
class SourceFolder {
public:
    explicit SourceFolder(const std::string& folder);
    ~SourceFolder();
    SourceFolder(const SourceFolder&) = delete;
    SourceFolder& operator=(const SourceFolder&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }

    // Opens the file at path (relative, "/"-separated) for reading without following a link
    // anywhere on the way and without blocking; -1 when that fails or what stands there is
    // no longer a regular file.
    int openFile(const std::string& path) const;

    // Reads the whole file at path through sink; false when it cannot be opened or read.
    bool readFile(const std::string& path,
                  const std::function<void(const std::uint8_t*, std::size_t)>& sink) const;

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace vadok::archiver
