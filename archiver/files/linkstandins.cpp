#include "linkstandins.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::archiver {

namespace fs = std::filesystem;

namespace {

std::atomic<bool> g_refuseLinks{false};

constexpr const char* kListHeader = "vadok stand-ins 1\n";
constexpr int kMostHops = 40; // the kernel's limit on links in one path

std::deque<std::string> partsOf(const std::string& path) {
    std::deque<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string path;
    for (const auto& p : parts)
        path += (path.empty() ? "" : "/") + p;
    return path;
}

bool isBelowOrAt(const std::string& path, const std::string& folder) {
    return folder.empty() || path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    if (!fa || !fb)
        return false;
    char ba[65536], bb[65536];
    while (true) {
        fa.read(ba, sizeof ba);
        fb.read(bb, sizeof bb);
        if (fa.gcount() != fb.gcount() || std::memcmp(ba, bb, static_cast<std::size_t>(fa.gcount())) != 0)
            return false;
        if (!fa || !fb)
            return !fa && !fb;
    }
}

bool sameTree(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    const auto sa = fs::symlink_status(a, ec);
    const auto sb = fs::symlink_status(b, ec);
    if (sa.type() != sb.type())
        return false;
    if (fs::is_regular_file(sa))
        return fs::file_size(a, ec) == fs::file_size(b, ec) && sameFile(a, b);
    if (!fs::is_directory(sa))
        return false;
    std::map<std::string, fs::path> left, right;
    for (const auto& e : fs::directory_iterator(a, ec))
        left[e.path().filename()] = e.path();
    for (const auto& e : fs::directory_iterator(b, ec))
        right[e.path().filename()] = e.path();
    if (ec || left.size() != right.size())
        return false;
    for (const auto& [name, path] : left) {
        const auto it = right.find(name);
        if (it == right.end() || !sameTree(path, it->second))
            return false;
    }
    return true;
}

// A copy of from at to, times and permissions kept.
bool copyTree(const fs::path& from, const fs::path& to, std::string& error) {
    std::error_code ec;
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec) {
        error = "cannot copy " + from.string() + " to " + to.string() + ": " + ec.message();
        return false;
    }
    for (auto it = fs::recursive_directory_iterator(from, ec); !ec && it != fs::end(it); ++it) {
        const fs::path copy = to / fs::relative(it->path(), from, ec);
        fs::last_write_time(copy, fs::last_write_time(it->path(), ec), ec);
    }
    fs::last_write_time(to, fs::last_write_time(from, ec), ec);
    return true;
}

} // namespace

bool linksUnsupported(int error) {
    return error == EPERM || error == ENOSYS || error == EOPNOTSUPP;
}

void refuseLinksForTesting(bool refuse) { g_refuseLinks = refuse; }
bool linksRefusedForTesting() { return g_refuseLinks; }

bool fileSystemKeepsModes(const std::string& folder) {
    std::string probe = folder + "/.vadok-mode-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return true;
    struct stat st {};
    const bool keeps = ::fchmod(fd, 0600) == 0 && ::fstat(fd, &st) == 0 && (st.st_mode & 07777) == 0600;
    ::close(fd);
    ::unlink(probe.c_str());
    return keeps;
}

void RefusedLinks::add(LinkRecord link) {
    std::lock_guard lock(m_mutex);
    m_list.links.push_back(std::move(link));
}

void RefusedLinks::addMode(const std::string& path, std::uint32_t mode) {
    if (!m_recordModes)
        return;
    std::lock_guard lock(m_mutex);
    m_list.modes.push_back({path, mode & 07777});
}

StandInList RefusedLinks::take() {
    std::lock_guard lock(m_mutex);
    StandInList list = std::move(m_list);
    std::sort(list.links.begin(), list.links.end(),
              [](const LinkRecord& a, const LinkRecord& b) { return a.path < b.path; });
    std::sort(list.modes.begin(), list.modes.end(),
              [](const ModeRecord& a, const ModeRecord& b) { return a.path < b.path; });
    return list;
}

std::optional<std::string> resolveListedLink(const std::string& path, const std::string& target,
                                             const std::vector<LinkRecord>& links) {
    std::map<std::string, const LinkRecord*> byPath;
    for (const auto& l : links)
        byPath[l.path] = &l;
    std::vector<std::string> at;
    for (const auto& p : partsOf(path))
        if (!p.empty() && p != ".")
            at.push_back(p);
    if (at.empty())
        return std::nullopt;
    at.pop_back();
    std::deque<std::string> rest = partsOf(target);
    int hops = 0;
    while (!rest.empty()) {
        const std::string part = rest.front();
        rest.pop_front();
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (at.empty())
                return std::nullopt;
            at.pop_back();
            continue;
        }
        at.push_back(part);
        const auto it = byPath.find(joined(at));
        if (it == byPath.end())
            continue;
        if (++hops > kMostHops)
            return std::nullopt;
        at.pop_back();
        auto more = partsOf(it->second->target);
        rest.insert(rest.begin(), more.begin(), more.end());
    }
    return joined(at);
}

bool makeLinkStandIns(const std::string& root, const StandInList& list, std::string& error) {
    const std::vector<LinkRecord>& links = list.links;
    // A link whose stand-in copies another link's stand-in waits for it; links that lead
    // nowhere, or round, are left to the list alone.
    std::vector<bool> done(links.size(), false);
    for (bool progress = true; progress;) {
        progress = false;
        for (std::size_t i = 0; i < links.size(); ++i) {
            if (done[i])
                continue;
            const auto source = resolveListedLink(links[i].path, links[i].target, links);
            std::error_code ec;
            // The destination itself, or a folder above the link, cannot be copied into it.
            if (!source || isBelowOrAt(links[i].path, *source) ||
                !fs::exists(fs::symlink_status(root + *source, ec))) {
                done[i] = progress = true;
                continue;
            }
            const bool waits = std::any_of(links.begin(), links.end(), [&](const LinkRecord& l) {
                const auto k = static_cast<std::size_t>(&l - links.data());
                return !done[k] && k != i && isBelowOrAt(l.path, *source);
            });
            if (waits)
                continue;
            done[i] = progress = true;
            if (!copyTree(root + *source, root + links[i].path, error))
                return false;
        }
    }
    // One record a line: "L" path NUL target NUL mtime, or "M" path NUL octal mode.
    std::ostringstream text;
    text << kListHeader;
    for (const auto& l : links)
        text << 'L' << l.path << '\0' << l.target << '\0' << l.mtime << '\n';
    for (const auto& m : list.modes)
        text << 'M' << m.path << '\0' << std::oct << m.mode << std::dec << '\n';
    std::ofstream out(root + kStandInListName, std::ios::binary | std::ios::trunc);
    out << text.str();
    out.close();
    if (!out) {
        error = "cannot write " + root + kStandInListName;
        return false;
    }
    return true;
}

bool isStandInList(const std::string& folder) {
    std::ifstream in(folder + kStandInListName, std::ios::binary);
    std::string head(std::strlen(kListHeader), '\0');
    return in && in.read(head.data(), static_cast<std::streamsize>(head.size())) && head == kListHeader;
}

StandInList readStandInList(const std::string& folder) {
    std::ifstream in(folder + kStandInListName, std::ios::binary);
    if (!in)
        return {};
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.rfind(kListHeader, 0) != 0)
        return {};
    StandInList list;
    std::size_t at = std::strlen(kListHeader);
    // Names may hold line breaks: each field ends at its NUL byte, only the number at '\n'.
    auto field = [&](std::size_t from, char end, std::string& out) {
        const std::size_t stop = text.find(end, from);
        if (stop == std::string::npos || stop == from)
            return std::string::npos;
        out = text.substr(from, stop - from);
        return stop + 1;
    };
    while (at < text.size()) {
        const char kind = text[at];
        std::string path, target, number;
        std::size_t next = field(at + 1, '\0', path);
        if (next != std::string::npos && kind == 'L')
            next = field(next, '\0', target);
        if (next != std::string::npos)
            next = field(next, '\n', number);
        if (next == std::string::npos || (kind != 'L' && kind != 'M'))
            return {};
        try {
            if (kind == 'L')
                list.links.push_back({path, target, std::stoll(number)});
            else
                list.modes.push_back({path, static_cast<std::uint32_t>(std::stoul(number, nullptr, 8) & 07777)});
        } catch (...) {
            return {};
        }
        at = next;
    }
    return list;
}

bool sameContent(const std::string& folder, const std::string& copy, const std::string& original) {
    return sameTree(folder + copy, folder + original);
}

} // namespace vadok::archiver
