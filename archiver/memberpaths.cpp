#include "memberpaths.h"

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

std::string memberNameProblem(std::string_view name) {
    if (name.empty())
        return "member without a name";
    if (name.find('\0') != std::string_view::npos)
        return "member name holding a NUL byte: " + shown(name);
    if (name.front() == '/')
        return "absolute member name: " + shown(name);
    for (const auto part : partsOf(name))
        if (part == "..")
            return "member name climbing out with \"..\": " + shown(name);
    return {};
}

std::string normalMemberPath(std::string_view name) {
    std::string path;
    for (const auto part : partsOf(name)) {
        if (part.empty() || part == ".")
            continue;
        if (!path.empty())
            path += '/';
        path += part;
    }
    return path;
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

std::vector<MemberProblem> findUnsafeMembers(const std::vector<PathMember>& members,
                                             const LinkLookup& beyond, bool firstOnly) {
    std::vector<MemberProblem> problems;
    auto report = [&](std::size_t i, std::string why, std::vector<std::size_t> through = {}) {
        problems.push_back({i, std::move(why), std::move(through)});
        return firstOnly;
    };
    // The member that stays at each path, and the folders the paths imply.
    std::vector<std::string> paths(members.size());
    std::unordered_map<std::string_view, std::size_t> last;
    std::unordered_set<std::string_view> folders;
    std::vector<bool> named(members.size(), false);
    for (std::size_t i = 0; i < members.size(); ++i) {
        const PathMember& m = members[i];
        paths[i] = normalMemberPath(m.path);
        std::string why = memberNameProblem(m.path);
        if (why.empty() && paths[i].empty() && m.kind != MemberKind::Directory)
            why = "member naming the destination itself: " + shown(m.path);
        if (why.empty() && m.kind == MemberKind::Symlink) {
            why = linkTargetProblem(m.linkTarget);
            if (!why.empty())
                why += " (" + shown(m.path) + ")";
        }
        if (!why.empty()) {
            if (report(i, std::move(why)))
                return problems;
            continue;
        }
        if (paths[i].empty())
            continue;
        named[i] = true;
        const std::string& path = paths[i];
        last[path] = i;
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            folders.insert(std::string_view(path).substr(0, slash));
    }
    auto linkAt = [&](std::string_view path) -> const PathMember* {
        const auto it = last.find(path);
        if (it == last.end() || members[it->second].kind != MemberKind::Symlink)
            return nullptr;
        return &members[it->second];
    };
    // Nothing may be written through a link: the file system would follow it.
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (!named[i])
            continue;
        const std::string& path = paths[i];
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            if (linkAt(std::string_view(path).substr(0, slash))) {
                if (report(i, "member inside the symbolic link " + path.substr(0, slash) + ": " +
                                  shown(path)))
                    return problems;
                break;
            }
        }
    }
    const LinkLookup lookup = [&](const std::string& path) -> std::optional<std::string> {
        if (last.count(path)) {
            const PathMember* link = linkAt(path);
            return link ? std::optional<std::string>(link->linkTarget) : std::nullopt;
        }
        if (folders.count(path) || !beyond)
            return std::nullopt;
        return beyond(path);
    };
    for (std::size_t i = 0; i < members.size(); ++i) {
        const PathMember& m = members[i];
        if (!named[i] || m.kind != MemberKind::Symlink)
            continue;
        const LinkResolution r = resolveLink(paths[i], m.linkTarget, lookup);
        if (r.inside)
            continue;
        std::vector<std::size_t> through;
        for (const auto& p : r.followed)
            if (const auto it = last.find(p); it != last.end())
                through.push_back(it->second);
        if (report(i, "symbolic link leading outside: " + shown(m.path) + " -> " +
                          shown(m.linkTarget),
                   std::move(through)))
            return problems;
    }
    return problems;
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
