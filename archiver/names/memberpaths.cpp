#include "memberpaths.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <deque>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace vadok::archiver {

namespace {

// The kernel's own limit on links followed in one lookup.
constexpr int kMaxLinkHops = 40;

std::vector<std::string_view> partsOf(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        parts.push_back(path.substr(start, slash == std::string_view::npos ? slash : slash - start));
        if (slash == std::string_view::npos)
            return parts;
        start = slash + 1;
    }
}

// Whether f holds for every "/"-separated part of path, the empty ones included, asked in
// order; the checks of every member of an archive go through here, so it allocates nothing.
template <typename F>
bool everyPart(std::string_view path, F f) {
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        if (!f(path.substr(start, slash == std::string_view::npos ? slash : slash - start)))
            return false;
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

std::string joined(const std::vector<std::string>& parts) {
    std::string path;
    for (const auto& p : parts) {
        if (!path.empty())
            path += '/';
        path += p;
    }
    return path;
}

// Names in messages: a NUL byte would end the text where it stands.
std::string shown(std::string_view s) {
    std::string out;
    for (const char c : s)
        out += c == '\0' ? std::string("\\0") : std::string(1, c);
    return out;
}

} // namespace

std::string_view withoutLeadingSlashes(std::string_view name) {
    while (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    return name;
}

std::string memberNameProblem(std::string_view name) {
    if (name.empty())
        return "member without a name";
    if (name.find('\0') != std::string_view::npos)
        return "member name holding a NUL byte: " + shown(name);
    if (name.front() == '/')
        return "absolute member name: " + shown(name);
    if (!everyPart(name, [](std::string_view part) { return part != ".."; }))
        return "member name climbing out with \"..\": " + shown(name);
    return {};
}

std::string memberPathLengthProblem(std::string_view name) {
    if (name.size() < PATH_MAX || normalMemberPath(name).size() < PATH_MAX)
        return {};
    return "member path of " + std::to_string(normalMemberPath(name).size()) +
           " bytes, longer than a path can be: " + shown(name.substr(0, 64)) + "...";
}

namespace {

// Whether name is its own normal path: no empty, "." or trailing parts.
bool isNormal(std::string_view name) {
    return name.empty() ||
           everyPart(name, [](std::string_view part) { return !part.empty() && part != "."; });
}

} // namespace

std::string normalMemberPath(std::string_view name) {
    // Asked several times for every member of an expansion, of names nearly all normal: one
    // copy rather than a string grown part by part.
    if (isNormal(name))
        return std::string(name);
    std::string path;
    path.reserve(name.size());
    everyPart(name, [&](std::string_view part) {
        if (part.empty() || part == ".")
            return true;
        if (!path.empty())
            path += '/';
        path += part;
        return true;
    });
    return path;
}

std::string_view firstNormalPart(std::string_view name) {
    std::string_view first;
    everyPart(name, [&](std::string_view part) {
        if (part.empty() || part == ".")
            return true;
        first = part;
        return false;
    });
    return first;
}

std::string linkTargetProblem(std::string_view target) {
    if (target.empty())
        return "symbolic link without a target";
    if (target.find('\0') != std::string_view::npos)
        return "symbolic link target holding a NUL byte: " + shown(target);
    if (target.front() == '/')
        return "symbolic link to an absolute path: " + shown(target);
    return {};
}

LinkResolution resolveLink(const std::string& linkPath, std::string_view target,
                           const LinkLookup& lookup) {
    LinkResolution r;
    std::vector<std::string> at;
    for (const auto part : partsOf(linkPath))
        if (!part.empty() && part != ".")
            at.emplace_back(part);
    if (!at.empty())
        at.pop_back();
    std::deque<std::string> pending;
    auto queue = [&](std::string_view text) {
        const auto parts = partsOf(text);
        for (auto it = parts.rbegin(); it != parts.rend(); ++it)
            pending.emplace_front(*it);
    };
    if (target.empty() || target.front() == '/') {
        r.inside = false;
        return r;
    }
    queue(target);
    int hops = 0;
    while (!pending.empty()) {
        std::string part = std::move(pending.front());
        pending.pop_front();
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (at.empty()) {
                r.inside = false;
                return r;
            }
            at.pop_back();
            continue;
        }
        at.push_back(std::move(part));
        const std::string path = joined(at);
        const auto next = lookup(path);
        if (!next)
            continue;
        if (++hops > kMaxLinkHops)
            return r;
        r.followed.push_back(path);
        at.pop_back();
        if (next->empty() || next->front() == '/') {
            r.inside = false;
            return r;
        }
        queue(*next);
    }
    return r;
}

bool partwiseLess(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    // Paths of one archive share long prefixes: eight bytes at a time up to the first that differs.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            const std::uint64_t d = x ^ y;
            // The byte first in memory is the lowest on a little-endian machine.
            const int bit = std::endian::native == std::endian::little ? __builtin_ctzll(d)
                                                                       : __builtin_clzll(d);
            i += static_cast<std::size_t>(bit >> 3);
            break;
        }
    }
    for (; i < n && a[i] == b[i]; ++i) {
    }
    if (i == n)
        return a.size() < b.size();
    const auto key = [](char c) {
        return c == '/' ? -1 : static_cast<int>(static_cast<unsigned char>(c));
    };
    return key(a[i]) < key(b[i]);
}

MemberPathIndex::MemberPathIndex(std::size_t count, RawPath rawPath)
    : m_rawPath(std::move(rawPath)) {
    m_order.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view raw = m_rawPath(i);
        const bool normal = isNormal(raw);
        if (!normal) {
            if (m_isRewritten.empty())
                m_isRewritten.resize(count);
            m_isRewritten[i] = true;
            m_rewritten.emplace_back(static_cast<std::uint32_t>(i), normalMemberPath(raw));
        }
        if (!(normal ? raw : std::string_view(m_rewritten.back().second)).empty())
            m_order.push_back(static_cast<std::uint32_t>(i));
    }
    // Members of one path in member order, without the buffer a stable sort would take.
    const auto before = [&](std::uint32_t a, std::uint32_t b) {
        const std::string_view pa = path(a), pb = path(b);
        return partwiseLess(pa, pb) || (a < b && pa == pb);
    };
    if (!std::is_sorted(m_order.begin(), m_order.end(), before))
        std::sort(m_order.begin(), m_order.end(), before);
}

std::string_view MemberPathIndex::rewritten(std::size_t i) const {
    // Added in member order, so sorted by member.
    const auto it = std::lower_bound(
        m_rewritten.begin(), m_rewritten.end(), i,
        [](const auto& entry, std::size_t member) { return entry.first < member; });
    return it->second;
}

std::pair<std::size_t, std::size_t> MemberPathIndex::at(std::string_view path) const {
    const auto first = std::lower_bound(
        m_order.begin(), m_order.end(), path,
        [&](std::uint32_t i, std::string_view p) { return partwiseLess(this->path(i), p); });
    auto last = first;
    while (last != m_order.end() && this->path(*last) == path)
        ++last;
    return {static_cast<std::size_t>(first - m_order.begin()),
            static_cast<std::size_t>(last - m_order.begin())};
}

bool MemberPathIndex::anyBelow(std::string_view folder) const {
    const std::string prefix = std::string(folder) + "/";
    const auto it = std::lower_bound(
        m_order.begin(), m_order.end(), std::string_view(prefix),
        [&](std::uint32_t i, std::string_view p) { return partwiseLess(this->path(i), p); });
    return it != m_order.end() && this->path(*it).substr(0, prefix.size()) == prefix;
}

std::vector<MemberProblem> findUnsafeMembers(const std::vector<PathMember>& members,
                                             const LinkLookup& beyond, bool firstOnly) {
    return findUnsafeMembers(
        members.size(),
        [&](std::size_t i) {
            return PathMemberView{members[i].path, members[i].kind, members[i].linkTarget};
        },
        beyond, firstOnly);
}

namespace {

// Collects the problems found; asks the search to stop at the first when only that one is
// wanted.
struct ProblemList {
    std::vector<MemberProblem> problems;
    bool firstOnly;

    // Whether to stop.
    bool add(std::size_t i, std::string why, std::vector<std::size_t> through = {}) {
        problems.push_back({i, std::move(why), std::move(through)});
        return firstOnly;
    }
};

// Why the member's own name or link target may not be written, or "". destination: the
// member names the destination itself.
std::string nameProblem(const PathMemberView& m, bool& destination) {
    std::string why = memberNameProblem(m.path);
    destination = isNormal(m.path) ? m.path.empty() : normalMemberPath(m.path).empty();
    if (why.empty() && destination && m.kind != MemberKind::Directory)
        why = "member naming the destination itself: " + shown(m.path);
    if (why.empty() && m.kind == MemberKind::Symlink) {
        why = linkTargetProblem(m.linkTarget);
        if (!why.empty())
            why += " (" + shown(m.path) + ")";
    }
    return why;
}

// The members that land somewhere below the destination, by path; the member that stays at
// each path is the last one there.
class LandingMembers {
public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    LandingMembers(std::size_t count, const MemberAt& member, const std::vector<bool>& named)
        : m_member(member), m_named(named), m_index(count, [this](std::size_t i) {
              return m_named[i] ? m_member(i).path : std::string_view();
          }) {}
    LandingMembers(const LandingMembers&) = delete;
    LandingMembers& operator=(const LandingMembers&) = delete;

    bool named(std::size_t i) const { return m_named[i]; }
    std::string_view path(std::size_t i) const { return m_index.path(i); }
    bool anyBelow(std::string_view folder) const { return m_index.anyBelow(folder); }

    std::size_t lastAt(std::string_view path) const {
        const auto [first, last] = m_index.at(path);
        return first == last ? kNone : static_cast<std::size_t>(m_index.order()[last - 1]);
    }

    bool linkAt(std::string_view path) const {
        const std::size_t i = lastAt(path);
        return i != kNone && m_member(i).kind == MemberKind::Symlink;
    }

private:
    const MemberAt& m_member;
    const std::vector<bool>& m_named;
    MemberPathIndex m_index;
};

// Nothing may be written through a link: the file system would follow it. Returns whether
// to stop.
bool findWritesThroughLinks(std::size_t count, const LandingMembers& landing,
                            ProblemList& found) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!landing.named(i))
            continue;
        const std::string_view path = landing.path(i);
        for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
             slash = path.find('/', slash + 1)) {
            if (landing.linkAt(path.substr(0, slash))) {
                if (found.add(i, "member inside the symbolic link " +
                                     std::string(path.substr(0, slash)) + ": " + shown(path)))
                    return true;
                break;
            }
        }
    }
    return false;
}

// Links that lead outside the destination through the members' links and, for paths no
// member takes, through beyond's.
void findLinksLeadingOut(std::size_t count, const MemberAt& member,
                         const LandingMembers& landing, const LinkLookup& beyond,
                         ProblemList& found) {
    const LinkLookup lookup = [&](const std::string& path) -> std::optional<std::string> {
        const std::size_t i = landing.lastAt(path);
        if (i != LandingMembers::kNone) {
            const PathMemberView m = member(i);
            return m.kind == MemberKind::Symlink ? std::optional<std::string>(m.linkTarget)
                                                 : std::nullopt;
        }
        if (landing.anyBelow(path) || !beyond)
            return std::nullopt;
        return beyond(path);
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (!landing.named(i))
            continue;
        const PathMemberView m = member(i);
        if (m.kind != MemberKind::Symlink)
            continue;
        const LinkResolution r = resolveLink(std::string(landing.path(i)), m.linkTarget, lookup);
        if (r.inside)
            continue;
        std::vector<std::size_t> through;
        for (const auto& p : r.followed)
            if (const std::size_t at = landing.lastAt(p); at != LandingMembers::kNone)
                through.push_back(at);
        if (found.add(i, "symbolic link leading outside: " + shown(m.path) + " -> " +
                             shown(m.linkTarget),
                      std::move(through)))
            return;
    }
}

} // namespace

std::vector<MemberProblem> findUnsafeMembers(std::size_t count, const MemberAt& member,
                                             const LinkLookup& beyond, bool firstOnly) {
    ProblemList found{{}, firstOnly};
    // The members that land somewhere below the destination.
    std::vector<bool> named(count, false);
    bool anyLink = false;
    for (std::size_t i = 0; i < count; ++i) {
        const PathMemberView m = member(i);
        bool destination = false;
        if (std::string why = nameProblem(m, destination); !why.empty()) {
            if (found.add(i, std::move(why)))
                return std::move(found.problems);
            continue;
        }
        named[i] = !destination;
        anyLink = anyLink || (named[i] && m.kind == MemberKind::Symlink);
    }
    // Without links nothing can lead out, and an archive of a million members spares the index.
    if (!anyLink)
        return std::move(found.problems);
    const LandingMembers landing(count, member, named);
    if (!findWritesThroughLinks(count, landing, found))
        findLinksLeadingOut(count, member, landing, beyond, found);
    return std::move(found.problems);
}

LinkLookup linksOnDisk(std::string root) {
    return [root = std::move(root)](const std::string& path) -> std::optional<std::string> {
        struct stat st {};
        // resolveLink asks for every folder on the way before it asks for path, and follows
        // each link it is told of; a link still standing in a folder of path is one where the
        // archive puts a folder of its own, and the expansion replaces it by that folder.
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            if (::lstat((root + "/" + path.substr(0, slash)).c_str(), &st) == 0 &&
                S_ISLNK(st.st_mode))
                return std::nullopt;
        const std::string full = root + "/" + path;
        if (::lstat(full.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return std::nullopt;
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(full.c_str(), target.data(), target.size());
        // A link that cannot be read is taken to lead out: it cannot be shown to stay in.
        if (n <= 0)
            return std::string("/");
        target.resize(static_cast<std::size_t>(n));
        return target;
    };
}

} // namespace vadok::archiver
