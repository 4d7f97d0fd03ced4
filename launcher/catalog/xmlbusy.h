#pragma once

#include <functional>

namespace vadok {

// True while the settings save or the find-by-name lookup works on the data file. Both let
// window messages through, and a settings load arriving that way must not read a file that
// is half way through an edit.
extern bool XmlBusy;

// Sets XmlBusy for its lifetime and clears it on every way out.
class XmlBusyScope {
public:
    XmlBusyScope() { XmlBusy = true; }
    ~XmlBusyScope() { XmlBusy = false; }
    XmlBusyScope(const XmlBusyScope&) = delete;
    XmlBusyScope& operator=(const XmlBusyScope&) = delete;
};

// Waits up to 50 rounds of "process pending events, stop when clear, sleep 100 ms" (about
// five seconds). True when XmlBusy is clear at the end.
bool waitWhileXmlBusy();

// Tests replace the 100 ms sleep; an empty function restores it.
void setXmlBusySleep(std::function<void(int milliseconds)> sleep);

} // namespace vadok
