#include "support/exfatimage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace vadok::test {

namespace {

std::string shellQuoted(const std::string& s) {
    std::string q = "'";
    for (const char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a command quietly; true when it succeeded.
bool quietly(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool have(const char* program) { return quietly(std::string("command -v ") + program); }

} // namespace

ExfatImage::ExfatImage(const std::string& dir) : m_image(dir + "/stick.img"), m_mount(dir + "/stick") {
    if (::geteuid() != 0 || !have("mkfs.exfat") || !have("mount.exfat-fuse") || !have("losetup") ||
        !std::filesystem::exists("/dev/fuse")) {
        m_why = "needs root, mkfs.exfat, mount.exfat-fuse, losetup and /dev/fuse";
        return;
    }
    std::filesystem::create_directories(m_mount);
    if (!quietly("truncate -s 32M " + shellQuoted(m_image)) || !quietly("mkfs.exfat " + shellQuoted(m_image))) {
        m_why = "cannot make an exFAT image";
        return;
    }
    FILE* p = ::popen(("losetup -f --show " + shellQuoted(m_image) + " 2>/dev/null").c_str(), "r");
    char line[256] = {};
    if (p && std::fgets(line, sizeof line, p))
        m_loop = std::string(line, std::strcspn(line, "\n"));
    if (p)
        ::pclose(p);
    if (m_loop.empty()) {
        m_why = "no loop device to be had";
        return;
    }
    if (!quietly("mount.exfat-fuse " + m_loop + " " + shellQuoted(m_mount))) {
        m_why = "cannot mount the image through FUSE";
        return;
    }
    m_mounted = true;
}

ExfatImage::~ExfatImage() {
    if (m_mounted)
        quietly("umount " + shellQuoted(m_mount));
    if (!m_loop.empty())
        quietly("losetup -d " + m_loop);
}

} // namespace vadok::test
