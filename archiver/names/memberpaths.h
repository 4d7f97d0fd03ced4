#pragma once

#include "base/memberkind.h"

#include <cstddef>
#include <deque>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vadok::archiver {

// Where the members of an archive land, and whether all of it stays below the destination.
// The expansion refuses an archive that fails these checks before it writes anything; the
// store and the folder scan leave out what an expansion would refuse, so that every archive
// we write expands again.
//
// Paths are relative to the destination, "/"-separated, without a trailing "/".

// name without the "/" it starts with: old LHA programs stored absolute paths, and other
// readers (lhasa, tar) expand such members below the destination. Every reading of member
// names applies it, so an absolute name is never seen past the reading.
std::string_view withoutLeadingSlashes(std::string_view name);

// Why name cannot be a member below a destination (empty, absolute, a ".." part, a NUL
// byte, which the file system would take for the end of the name), or "" when it can.
std::string memberNameProblem(std::string_view name);

// Why name, as normalMemberPath writes it, is too long for the file system to name (PATH_MAX
// bytes or more: the kernel refuses such a path in every call, so a member there could be
// written by no call and never be stored again), or "" when it is not.
std::string memberPathLengthProblem(std::string_view name);

// name as the file system takes it: "." and empty parts dropped ("a/./b//c" is "a/b/c"). A
// folder member whose name comes out empty names the destination itself and is not written.
std::string normalMemberPath(std::string_view name);
// The first part of normalMemberPath(name), without building the whole path; empty when the
// path is.
std::string_view firstNormalPart(std::string_view name);

// Why target cannot be the target of a link we create (empty, absolute, a NUL byte), or "".
std::string linkTargetProblem(std::string_view target);

// The target of the symbolic link at path, or nullopt when path is no link.
using LinkLookup = std::function<std::optional<std::string>(const std::string& path)>;

struct LinkResolution {
    bool inside = true;
    std::vector<std::string> followed; // the links passed on the way, in order
};

// Follows target from the folder of the link at linkPath the way the kernel does: each
// part in turn, every link met (the last part included) replaced by its own target read
// from that link's folder, so that ".." after a link climbs from where the link leads. A
// chain of more than 40 links resolves nowhere (the kernel gives up as well) and counts as
// inside.
LinkResolution resolveLink(const std::string& linkPath, std::string_view target,
                           const LinkLookup& lookup);

struct PathMember {
    std::string path; // as the archive names it
    MemberKind kind = MemberKind::File;
    std::string linkTarget; // links only
};

struct MemberProblem {
    std::size_t member = 0; // index into the checked list
    std::string why;
    std::vector<std::size_t> through; // for a link leading out: the links it passed
};

// Every member that would land, or whose link would lead, outside the destination once all
// of members stand below it: unsafe names and link targets, members inside a path that is
// a link, links whose resolution leaves the destination. The last member of a path is the
// one that stays; paths the list does not define are asked of beyond (what already exists
// below the destination), which may be empty. With firstOnly, stops at the first problem.
std::vector<MemberProblem> findUnsafeMembers(const std::vector<PathMember>& members,
                                             const LinkLookup& beyond, bool firstOnly);

// The same over members that live elsewhere (an archive's listing), read through member(i)
// for i below count; the views it returns must stay valid for the call.
struct PathMemberView {
    std::string_view path;
    MemberKind kind = MemberKind::File;
    std::string_view linkTarget;
};
using MemberAt = std::function<PathMemberView(std::size_t)>;
std::vector<MemberProblem> findUnsafeMembers(std::size_t count, const MemberAt& member,
                                             const LinkLookup& beyond, bool firstOnly);

// Whether path a sorts before b part by part: as bytes without sign, but with "/" before
// every other byte, so that what lies below a folder directly follows it ("a", "a/b", "a-b").
bool partwiseLess(std::string_view a, std::string_view b);

// The normal paths of a list of members sorted part by part, for lookups by path: a few bytes
// per member where a hash table would take tens, which counts in archives of a million
// members. Members whose normal path is empty (the destination itself) are left out. rawPath
// is asked again for as long as the index lives: only the paths it rewrites are kept. A list
// already in that order, as our own archives are, is not sorted again.
class MemberPathIndex {
public:
    using RawPath = std::function<std::string_view(std::size_t)>;
    MemberPathIndex(std::size_t count, RawPath rawPath);
    std::string_view path(std::size_t i) const {
        return m_isRewritten.empty() || !m_isRewritten[i] ? m_rawPath(i) : rewritten(i);
    }
    // The members at path, in member order: [first, last) of order().
    std::pair<std::size_t, std::size_t> at(std::string_view path) const;
    // Whether some member lies below the folder path.
    bool anyBelow(std::string_view folder) const;
    // Member indexes sorted part by part, members of one path in member order.
    const std::vector<std::uint32_t>& order() const { return m_order; }

private:
    std::string_view rewritten(std::size_t i) const;

    RawPath m_rawPath;
    // The normal paths that differ from the raw ones, by member (empty when none do).
    std::vector<bool> m_isRewritten;
    std::vector<std::pair<std::uint32_t, std::string>> m_rewritten;
    std::vector<std::uint32_t> m_order;
};

// beyond for findUnsafeMembers: the symbolic links that exist below root (an absolute
// path without links) and that no link of root's own leads past.
LinkLookup linksOnDisk(std::string root);

} // namespace vadok::archiver
