#pragma once

#include "apps/packapp.h"

#include <vector>

namespace vadok {

class CatalogTree;

// The expanded mark and state tip on the node of the application at index in apps (1-based,
// slot 0 unused); nothing for any other index.
void refreshAppState(CatalogTree& tree, std::vector<PackApp>& apps, int index);
// refreshAppState, and panel 2 saying whether the folder really is expanded: after a step
// that may have failed, the folder's real state.
void showAppState(CatalogTree& tree, std::vector<PackApp>& apps, int index);

} // namespace vadok
