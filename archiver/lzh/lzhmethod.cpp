#include "lzhmethod.h"

#include <algorithm>
#include <iterator>

namespace vadok::archiver {

LzhMethodParams methodParams(LzhMethod method) {
    switch (method) {
    case LzhMethod::Lh5:
        return {"-lh5-", 13, 14, 4};
    case LzhMethod::Lh6:
        return {"-lh6-", 15, 16, 5};
    case LzhMethod::Lh7:
        break;
    }
    return {"-lh7-", 16, 17, 5};
}

bool libarchiveDecodes(std::string_view name) {
    static constexpr std::string_view known[] = {"lh0", "lz4", "lh5", "lh6", "lh7", "lhd"};
    return std::find(std::begin(known), std::end(known), name) != std::end(known);
}

} // namespace vadok::archiver
