#pragma once

#include <string>

namespace vadok::test {

// An exFAT image mounted through FUSE on a loop device below dir, for as long as it lives: the
// file system of USB sticks and SD cards, which holds no links and no modes and takes names
// that differ only in case for one. Needs root, mkfs.exfat, mount.exfat-fuse, losetup and
// /dev/fuse; where any is missing, mounted() is false and why() says what.
class ExfatImage {
public:
    explicit ExfatImage(const std::string& dir);
    ~ExfatImage();
    ExfatImage(const ExfatImage&) = delete;
    ExfatImage& operator=(const ExfatImage&) = delete;
    bool mounted() const { return m_mounted; }
    const std::string& why() const { return m_why; }
    const std::string& mount() const { return m_mount; }

private:
    std::string m_image, m_mount, m_loop, m_why;
    bool m_mounted = false;
};

} // namespace vadok::test
