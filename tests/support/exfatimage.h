#pragma once

#include <string>

namespace vadok::test {

// An exFAT image (a USB stick's file system: no symbolic links, no modes, letter case
// folded) mounted through FUSE on a loop device below dir, for as long as it lives. Needs
// root, mkfs.exfat, mount.exfat-fuse, losetup and /dev/fuse, which CI has; elsewhere it says
// why it is not mounted, and the test skips.
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
