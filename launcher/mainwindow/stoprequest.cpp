#include "mainwindow/stoprequest.h"

namespace vadok {

bool StopRequested = false;

} // namespace vadok
