#pragma once

#include "reading/archivereading.h"

#include <vector>

namespace vadok::archiver {

class MemberPathIndex;

// Whether members land on one another: two at one path, or one below a member that is no
// folder. The later one wins then, which only an expansion in member order gets right.
bool membersOverlap(const std::vector<ListedMember>& members, const MemberPathIndex& index);

} // namespace vadok::archiver
