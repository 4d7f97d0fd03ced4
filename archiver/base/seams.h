#pragma once

// What a test sets on one call to act out what this machine cannot show it. The launcher
// never sets any: a call without seams behaves as the machine does.

namespace vadok {

struct ArchiverSeams {
    // Every symbolic link the call would make fails as on a file system that holds none
    // (exFAT or FAT on a USB stick), and the call's probes of the file system say so.
    bool refuseLinks = false;
};

} // namespace vadok
