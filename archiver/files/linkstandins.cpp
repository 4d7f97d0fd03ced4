#include "linkstandins.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <dirent.h>
#include <fcntl.h>
#include <unordered_set>

namespace vadok::archiver {

namespace fs = std::filesystem;

namespace {

// The list, one record a line after the header:
//   "L" path NUL target NUL mtime "\n"   a link (to a file, a folder or nothing)
//   "M" path NUL octal mode "\n"          the mode of a file
//   "D" path NUL octal mode "\n"          the mode of a folder
// Names may hold line breaks: each field ends at its NUL byte, only the number at "\n".
// Version 1 lists (no folder modes) read the same.
constexpr std::string_view kListHeader = "vadok stand-ins 2\n";
constexpr std::string_view kOldListHeader = "vadok stand-ins 1\n";
constexpr int kMostHops = 40; // the kernel's limit on links in one path
// A list bigger than this is no list an expansion wrote (a million records are some 60 MB).
constexpr off_t kLargestList = 256 << 20;

std::deque<std::string> partsOf(std::string_view path) {
    std::deque<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        parts.emplace_back(path.substr(start, slash - start));
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

// A relative path of plain names: no empty, "." or ".." part, nothing absolute.
bool isPlainRelativePath(std::string_view path) {
    if (path.empty() || path.size() >= PATH_MAX)
        return false;
    for (const auto& part : partsOf(path))
        if (part.empty() || part == "." || part == "..")
            return false;
    return true;
}

bool asciiEqualFolded(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
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

// Paths ordered part by part, so that a folder and everything below it stand together.
std::string orderKey(const std::string& path) {
    std::string key = path;
    std::replace(key.begin(), key.end(), '/', '\0');
    return key;
}

// Makes the stand-ins in an order where every link whose stand-in lies inside what another
// link leads to comes first, so that the copy holds it. Links that wait on one another in a
// circle are left to the list alone.
class StandInMaker {
public:
    StandInMaker(const std::string& root, const std::vector<LinkRecord>& links)
        : m_root(root), m_links(links), m_resolver(links), m_state(links.size(), State::Waiting),
          m_skip(links.size() + 1) {
        m_order.resize(links.size());
        for (std::size_t i = 0; i < links.size(); ++i)
            m_order[i] = i;
        std::vector<std::string> keys(links.size());
        for (std::size_t i = 0; i < links.size(); ++i)
            keys[i] = orderKey(links[i].path);
        std::sort(m_order.begin(), m_order.end(),
                  [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
        m_sortedKeys.reserve(links.size());
        m_rank.resize(links.size());
        for (std::size_t r = 0; r < m_order.size(); ++r) {
            m_sortedKeys.push_back(keys[m_order[r]]);
            m_rank[m_order[r]] = r;
        }
        for (std::size_t r = 0; r <= links.size(); ++r)
            m_skip[r] = r;
    }

    bool makeAll(std::string& error) {
        for (std::size_t i = 0; i < m_links.size(); ++i)
            if (m_state[i] == State::Waiting && !make(i, error))
                return false;
        return true;
    }

private:
    enum class State { Waiting, Visiting, Finished };

    struct Frame {
        std::size_t link;
        std::string source;
        std::size_t next; // the next rank below source to look at
        std::size_t end;
    };

    // The first rank at or after r whose link is not finished.
    std::size_t unfinishedFrom(std::size_t r) {
        std::size_t top = r;
        while (m_skip[top] != top)
            top = m_skip[top];
        while (m_skip[r] != top) {
            const std::size_t next = m_skip[r];
            m_skip[r] = top;
            r = next;
        }
        return top;
    }

    void finish(std::size_t link) {
        m_state[link] = State::Finished;
        m_skip[m_rank[link]] = m_rank[link] + 1;
    }

    // The source the link's stand-in copies, when it can have one.
    std::optional<std::string> sourceOf(std::size_t i) const {
        const auto source = m_resolver.resolveLink(m_links[i].path, m_links[i].target);
        std::error_code ec;
        // The destination itself, or a folder above the link, cannot be copied into it.
        if (!source || isBelowOrAt(m_links[i].path, *source) ||
            !fs::exists(fs::symlink_status(m_root + *source, ec)))
            return std::nullopt;
        return source;
    }

    bool push(std::vector<Frame>& stack, std::size_t link) {
        const auto source = sourceOf(link);
        if (!source) {
            finish(link);
            return false;
        }
        const std::string key = orderKey(*source);
        const auto begin = std::lower_bound(m_sortedKeys.begin(), m_sortedKeys.end(), key);
        const auto end = std::lower_bound(begin, m_sortedKeys.end(), key + '\x01');
        m_state[link] = State::Visiting;
        stack.push_back({link, *source, static_cast<std::size_t>(begin - m_sortedKeys.begin()),
                         static_cast<std::size_t>(end - m_sortedKeys.begin())});
        return true;
    }

    bool make(std::size_t first, std::string& error) {
        std::vector<Frame> stack;
        push(stack, first);
        while (!stack.empty()) {
            Frame& top = stack.back();
            top.next = unfinishedFrom(top.next);
            if (top.next < top.end) {
                const std::size_t below = m_order[top.next];
                if (m_state[below] == State::Visiting) {
                    // Waits on a link that waits on it: no stand-in.
                    finish(top.link);
                    stack.pop_back();
                } else {
                    push(stack, below);
                }
                continue;
            }
            const Frame done = std::move(top);
            stack.pop_back();
            finish(done.link);
            if (!copyTree(m_root + done.source, m_root + m_links[done.link].path, error))
                return false;
        }
        return true;
    }

    const std::string& m_root;
    const std::vector<LinkRecord>& m_links;
    const ListedLinks m_resolver;
    std::vector<State> m_state;
    std::vector<std::size_t> m_order; // link indexes by orderKey
    std::vector<std::string> m_sortedKeys;
    std::vector<std::size_t> m_rank;  // a link's place in m_order
    std::vector<std::size_t> m_skip;  // towards the next unfinished rank
};

std::optional<std::int64_t> decimal(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::uint32_t> octalMode(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 8);
    if (ec != std::errc() || end != text.data() + text.size() || value > 07777)
        return std::nullopt;
    return value;
}

// Every record sound, as described in the header; why names the first that is not.
bool checkRecords(const StandInList& list, std::string& why) {
    std::unordered_set<std::string_view> linkPaths, modePaths;
    for (const auto& l : list.links) {
        if (!isPlainRelativePath(l.path))
            return why = "not a plain relative path: " + l.path, false;
        if (l.target.empty() || l.target.size() >= PATH_MAX || l.target.front() == '/')
            return why = "link target is empty or absolute: " + l.path, false;
        if (!linkPaths.insert(l.path).second)
            return why = "listed twice: " + l.path, false;
    }
    const auto below = [&](const std::string& path) {
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            if (linkPaths.count(std::string_view(path).substr(0, slash)))
                return true;
        return false;
    };
    const ListedLinks links(list.links);
    for (const auto& l : list.links) {
        if (below(l.path))
            return why = "a link below another link: " + l.path, false;
        if (!links.resolveLink(l.path, l.target))
            return why = "a link leading out of the folder or round in circles: " + l.path, false;
    }
    for (const auto& m : list.modes) {
        if (!isPlainRelativePath(m.path) || below(m.path) || linkPaths.count(m.path))
            return why = "not a plain relative path of a file or folder: " + m.path, false;
        if (!modePaths.insert(m.path).second)
            return why = "listed twice: " + m.path, false;
    }
    return true;
}

} // namespace

std::uint64_t standInListIndex(std::string_view name) {
    const std::string_view base = kStandInListName;
    if (name.size() < base.size() || !asciiEqualFolded(name.substr(0, base.size()), base))
        return 0;
    const std::string_view rest = name.substr(base.size());
    if (rest.empty())
        return 1;
    // "-k" with k >= 2, written without leading zeros, within 18 digits.
    if (rest.size() < 2 || rest.size() > 19 || rest[0] != '-' || rest[1] == '0')
        return 0;
    std::uint64_t index = 0;
    const auto [end, ec] = std::from_chars(rest.data() + 1, rest.data() + rest.size(), index);
    if (ec != std::errc() || end != rest.data() + rest.size() || index < 2)
        return 0;
    return index;
}

std::string standInListName(std::uint64_t index) {
    return index <= 1 ? std::string(kStandInListName)
                      : std::string(kStandInListName) + "-" + std::to_string(index);
}

std::uint64_t highestStandInListIndex(const std::vector<std::string_view>& names) {
    std::uint64_t highest = 0;
    for (const std::string_view name : names)
        highest = std::max(highest, standInListIndex(name.substr(0, name.find('/'))));
    return highest;
}

bool linksUnsupported(int error) {
    return error == EPERM || error == ENOSYS || error == EOPNOTSUPP;
}

bool fileSystemHoldsLinks(const std::string& folder, const ArchiverSeams& seams) {
    if (seams.refuseLinks)
        return false;
    std::string probe = folder + "/.vadok-link-probe-XXXXXX";
    // A name of its own: the file mkstemp makes is replaced by the link.
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return true;
    ::close(fd);
    ::unlink(probe.c_str());
    const bool holds = ::symlink(".", probe.c_str()) == 0 || !linksUnsupported(errno);
    ::unlink(probe.c_str());
    return holds;
}

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

void RefusedLinks::addMode(const std::string& path, std::uint32_t mode, bool folder) {
    if (!m_recordModes)
        return;
    std::lock_guard lock(m_mutex);
    m_list.modes.push_back({path, mode & 07777, folder});
}

StandInList RefusedLinks::take() {
    std::lock_guard lock(m_mutex);
    StandInList list = std::move(m_list);
    // A path written twice (a later member of the same name) keeps what came last.
    const auto keepLast = [](auto& records) {
        std::stable_sort(records.begin(), records.end(),
                         [](const auto& a, const auto& b) { return a.path < b.path; });
        const auto last = std::unique(records.rbegin(), records.rend(),
                                      [](const auto& a, const auto& b) { return a.path == b.path; });
        records.erase(records.begin(), last.base());
    };
    keepLast(list.links);
    keepLast(list.modes);
    const ListedLinks links(list.links);
    std::erase_if(list.modes, [&](const ModeRecord& m) { return links.isLink(m.path); });
    return list;
}

ListedLinks::ListedLinks(const std::vector<LinkRecord>& links) {
    m_targets.reserve(links.size());
    for (const auto& l : links)
        m_targets[l.path] = l.target;
}

namespace {

std::optional<std::string> followed(const std::unordered_map<std::string, std::string>& targets,
                                    std::vector<std::string> at, std::deque<std::string> rest) {
    int hops = 0;
    while (!rest.empty()) {
        const std::string part = std::move(rest.front());
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
        const auto it = targets.find(joined(at));
        if (it == targets.end())
            continue;
        if (++hops > kMostHops || it->second.empty() || it->second.front() == '/')
            return std::nullopt;
        at.pop_back();
        auto more = partsOf(it->second);
        rest.insert(rest.begin(), more.begin(), more.end());
    }
    return joined(at);
}

} // namespace

std::optional<std::string> ListedLinks::resolve(const std::string& path) const {
    if (!path.empty() && path.front() == '/')
        return std::nullopt;
    return followed(m_targets, {}, partsOf(path));
}

std::optional<std::string> ListedLinks::resolveLink(const std::string& path,
                                                    const std::string& target) const {
    if (target.empty() || target.front() == '/')
        return std::nullopt;
    std::vector<std::string> at;
    for (const auto& p : partsOf(path))
        if (!p.empty() && p != ".")
            at.push_back(p);
    if (at.empty())
        return std::nullopt;
    at.pop_back();
    return followed(m_targets, std::move(at), partsOf(target));
}

bool writeStandInList(const std::string& folder, const std::string& listName,
                      const StandInList& list, std::string& error) {
    std::ostringstream text;
    text << kListHeader;
    for (const auto& l : list.links)
        text << 'L' << l.path << '\0' << l.target << '\0' << l.mtime << '\n';
    for (const auto& m : list.modes)
        text << (m.folder ? 'D' : 'M') << m.path << '\0' << std::oct << m.mode << std::dec << '\n';
    // Whole or not at all: a list cut short would be no list, and its links lost.
    const std::string partial = folder + listName + ".partial";
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << text.str();
    out.close();
    if (!out || ::rename(partial.c_str(), (folder + listName).c_str()) != 0) {
        ::unlink(partial.c_str());
        error = "cannot write " + folder + listName;
        return false;
    }
    return true;
}

bool makeLinkStandIns(const std::string& root, const StandInList& list,
                      const std::string& listName, std::string& error) {
    StandInMaker maker(root, list.links);
    return maker.makeAll(error) && writeStandInList(root, listName, list, error);
}

std::string standInListIn(const std::string& folder) {
    std::uint64_t highest = 0;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d))
            highest = std::max(highest, standInListIndex(e->d_name));
        ::closedir(d);
    }
    return highest == 0 ? std::string() : standInListName(highest);
}

std::optional<StandInList> readStandInList(const std::string& folder, const std::string& name,
                                           std::string& why) {
    const int fd = ::open((folder + name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kLargestList) {
        if (fd >= 0)
            ::close(fd);
        why = "not a plain file of a list's size";
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::pread(fd, text.data() + got, text.size() - got, static_cast<off_t>(got));
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got != text.size()) {
        why = "cannot be read";
        return std::nullopt;
    }
    return parseStandInList(text, why);
}

int carryStandIns(const std::string& listFolder, const std::string& from, const std::string& toTop,
                  const std::string& to, const std::vector<std::string>& names,
                  std::string& error) {
    if (to.compare(0, toTop.size(), toTop) != 0) {
        error = to + " does not lie within " + toTop;
        return 1;
    }
    std::string why;
    const std::string fromList = standInListIn(listFolder);
    const auto listed = fromList.empty() ? std::nullopt : readStandInList(listFolder, fromList, why);
    if (!listed || from.compare(0, listFolder.size(), listFolder) != 0)
        return 0;
    const std::string fromPrefix = from.substr(listFolder.size());
    const std::string toPrefix = to.substr(toTop.size());
    const std::unordered_set<std::string> moved(names.begin(), names.end());
    const auto movedFrom = [&moved](const std::string& path, const std::string& prefix) {
        return path.compare(0, prefix.size(), prefix) == 0 && moved.count(path.substr(prefix.size()));
    };
    StandInList into;
    std::string toList = standInListIn(toTop);
    if (!toList.empty()) {
        if (auto there = readStandInList(toTop, toList, why))
            into = std::move(*there);
        else
            toList = standInListName(standInListIndex(toList) + 1);
    }
    // What the list said of the files that were replaced no longer holds.
    std::erase_if(into.links, [&](const LinkRecord& l) { return movedFrom(l.path, toPrefix); });
    std::erase_if(into.modes, [&](const ModeRecord& m) { return movedFrom(m.path, toPrefix); });
    bool any = false;
    for (const LinkRecord& l : listed->links)
        if (movedFrom(l.path, fromPrefix)) {
            into.links.push_back({toPrefix + l.path.substr(fromPrefix.size()), l.target, l.mtime});
            any = true;
        }
    for (const ModeRecord& m : listed->modes)
        if (movedFrom(m.path, fromPrefix)) {
            into.modes.push_back({toPrefix + m.path.substr(fromPrefix.size()), m.mode, m.folder});
            any = true;
        }
    if (!any && toList.empty())
        return 0;
    return writeStandInList(toTop, toList.empty() ? standInListName(1) : toList, into, error) ? 0
                                                                                             : 1;
}

std::optional<StandInList> parseStandInList(std::string_view text, std::string& why) {
    if (text.substr(0, kListHeader.size()) != kListHeader &&
        text.substr(0, kOldListHeader.size()) != kOldListHeader) {
        why = "no list header";
        return std::nullopt;
    }
    StandInList list;
    std::size_t at = kListHeader.size();
    auto field = [&](std::size_t from, char end, std::string_view& out) {
        const std::size_t stop = text.find(end, from);
        if (stop == std::string_view::npos || stop == from)
            return std::string_view::npos;
        out = text.substr(from, stop - from);
        return stop + 1;
    };
    while (at < text.size()) {
        const char kind = text[at];
        std::string_view path, target, number;
        std::size_t next = field(at + 1, '\0', path);
        if (next != std::string_view::npos && kind == 'L')
            next = field(next, '\0', target);
        if (next != std::string_view::npos)
            next = field(next, '\n', number);
        if (next == std::string_view::npos || (kind != 'L' && kind != 'M' && kind != 'D')) {
            why = "a damaged record at byte " + std::to_string(at);
            return std::nullopt;
        }
        if (kind == 'L') {
            const auto mtime = decimal(number);
            if (!mtime) {
                why = "a damaged time at byte " + std::to_string(at);
                return std::nullopt;
            }
            list.links.push_back({std::string(path), std::string(target), *mtime});
        } else {
            const auto mode = octalMode(number);
            if (!mode) {
                why = "a damaged mode at byte " + std::to_string(at);
                return std::nullopt;
            }
            list.modes.push_back({std::string(path), *mode, kind == 'D'});
        }
        at = next;
    }
    if (!checkRecords(list, why))
        return std::nullopt;
    return list;
}

bool sameContent(const std::string& folder, const std::string& copy, const std::string& original) {
    return sameTree(folder + copy, folder + original);
}

} // namespace vadok::archiver
