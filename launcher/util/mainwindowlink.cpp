#include "util/mainwindowlink.h"

namespace vadok {

namespace {
MainWindowLink* g_link = nullptr;
}

MainWindowLink* mainWindowLink() { return g_link; }
void setMainWindowLink(MainWindowLink* link) { g_link = link; }

} // namespace vadok
