#include "lzhmethod.h"

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

std::optional<LzhMethod> methodFromName(std::string_view name) {
    if (name == "lh5")
        return LzhMethod::Lh5;
    if (name == "lh6")
        return LzhMethod::Lh6;
    if (name == "lh7")
        return LzhMethod::Lh7;
    return std::nullopt;
}

} // namespace vadok::archiver
