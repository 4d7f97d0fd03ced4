#pragma once

#include <functional>

namespace vadok {

// Whether the settings save or the find-by-name lookup works on the data file. Both let
// window messages through, and a settings load arriving that way must not read a file that
// is half way through an edit. Only XmlBusyScope changes it: each holder counts, so one that
// ends inside another (a lookup during a save) leaves the file busy until the outer one ends,
// and a reader that waited never clears a mark somebody else set.
bool xmlBusy();

// Marks the data file busy for its lifetime, on every way out.
class XmlBusyScope {
public:
    XmlBusyScope();
    ~XmlBusyScope();
    XmlBusyScope(const XmlBusyScope&) = delete;
    XmlBusyScope& operator=(const XmlBusyScope&) = delete;
};

// Waits up to 50 rounds of "process pending events, stop when not busy, sleep 100 ms"
// (about five seconds). True when the file is not busy at the end.
bool waitWhileXmlBusy();

// Tests replace the 100 ms sleep; an empty function restores it.
void setXmlBusySleep(std::function<void(int milliseconds)> sleep);

} // namespace vadok
