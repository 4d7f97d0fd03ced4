#include "exfatimage.h"

#include "archivertestsupport.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace vadok::test {

namespace {

// Runs a command quietly; true when it succeeded.
bool quietly(const std::string& command) { return run(command + " >/dev/null 2>&1") == 0; }

} // namespace

ExfatImage::ExfatImage(const std::string& dir) : m_image(dir + "/stick.img"), m_mount(dir + "/stick") {
    if (::geteuid() != 0 || !haveProgram("mkfs.exfat") || !haveProgram("mount.exfat-fuse") ||
        !haveProgram("losetup") || !std::filesystem::exists("/dev/fuse")) {
        m_why = "needs root, mkfs.exfat, mount.exfat-fuse, losetup and /dev/fuse";
        return;
    }
    makeDirs(m_mount);
    if (!quietly("truncate -s 32M " + quote(m_image)) || !quietly("mkfs.exfat " + quote(m_image))) {
        m_why = "cannot make an exFAT image";
        return;
    }
    FILE* p = ::popen(("losetup -f --show " + quote(m_image) + " 2>/dev/null").c_str(), "r");
    char line[256] = {};
    if (p && std::fgets(line, sizeof line, p))
        m_loop = std::string(line, std::strcspn(line, "\n"));
    if (p)
        ::pclose(p);
    if (m_loop.empty()) {
        m_why = "no loop device to be had";
        return;
    }
    if (!quietly("mount.exfat-fuse " + m_loop + " " + quote(m_mount))) {
        m_why = "cannot mount the image through FUSE";
        return;
    }
    m_mounted = true;
}

ExfatImage::~ExfatImage() {
    if (m_mounted)
        quietly("umount " + quote(m_mount));
    if (!m_loop.empty())
        quietly("losetup -d " + m_loop);
}

} // namespace vadok::test
