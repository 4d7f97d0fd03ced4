#include "memberoverlap.h"

#include "names/memberpaths.h"

#include <string_view>

namespace vadok::archiver {

// One pass over the paths in sorted order, without a lookup per member: the paths below P all
// start with "P/", so they come together after P, behind those that go on from P with a
// character sorting before '/' ("P.txt"). The non-folders whose block may still come are
// kept, the one whose block would come first on top.
bool membersOverlap(const std::vector<ListedMember>& members, const MemberPathIndex& index) {
    const auto& order = index.order();
    std::vector<std::string_view> waiting;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::string_view path = index.path(order[k]);
        if (k > 0 && path == index.path(order[k - 1]))
            return true;
        while (!waiting.empty()) {
            const std::string_view top = waiting.back();
            if (path.size() > top.size() && path.substr(0, top.size()) == top) {
                // Compared as the sort compares, bytes without sign.
                const auto next = static_cast<unsigned char>(path[top.size()]);
                if (next == '/')
                    return true;
                if (next < '/')
                    break; // top's block, and those of the ones below it, are still to come
            }
            waiting.pop_back(); // path sorts past the block: nothing is below top
        }
        if (members[order[k]].kind != MemberKind::Directory)
            waiting.push_back(path);
    }
    return false;
}

} // namespace vadok::archiver
