#include "memberoverlap.h"

#include "names/memberpaths.h"

#include <string_view>

namespace vadok::archiver {

// One pass over the paths in the index's order, where what lies below a path P ("P/...")
// directly follows P: a member below a non-folder comes right after it.
bool membersOverlap(const std::vector<ListedMember>& members, const MemberPathIndex& index) {
    const auto& order = index.order();
    for (std::size_t k = 1; k < order.size(); ++k) {
        const std::string_view before = index.path(order[k - 1]);
        const std::string_view path = index.path(order[k]);
        if (path == before)
            return true;
        if (members[order[k - 1]].kind != MemberKind::Directory && path.size() > before.size() &&
            path[before.size()] == '/' && path.substr(0, before.size()) == before)
            return true;
    }
    return false;
}

} // namespace vadok::archiver
