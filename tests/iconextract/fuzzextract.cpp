// libFuzzer entry: any bytes go through the whole reader, as a dropped file would.

#include "iconextract/groupchoice.h"
#include "iconextract/icofilewriter.h"
#include "iconextract/memorysource.h"
#include "iconextract/peresources.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const glimtake::MemorySource source({data, size});
    if (const auto pe = glimtake::PeResources::read(source)) {
        for (const glimtake::Resource& r : pe->list(glimtake::kRtGroupIcon))
            (void)pe->nameOf(r);
    }
    const auto icon = glimtake::extractIcon(source);
    // A written icon always accounts for every byte it holds.
    if (icon && (icon->size() < 6 || icon->size() > glimtake::kMaxIconFileBytes))
        std::abort();
    return 0;
}
