#include "glimtake.h"

#include "filesource.h"
#include "groupchoice.h"

#include <fstream>
#include <iterator>

namespace glimtake {

bool writeFileAtomically(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::path partial = path;
    partial += ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(partial, path, ec);
    if (ec) {
        std::filesystem::remove(partial, ec);
        return false;
    }
    return true;
}

bool extractIconToFolder(const std::filesystem::path& target,
                         const std::filesystem::path& outputFolder) {
    if (target.empty())
        return false;
    const auto module = FileSource::open(target);
    if (!module)
        return false;
    const auto icon = extractIcon(*module);
    if (!icon)
        return false;
    return writeFileAtomically(outputFolder / kOutputName, *icon);
}

std::filesystem::path outputFolderFor(const std::filesystem::path& self,
                                      const std::filesystem::path& workingFolder) {
    const std::filesystem::path folder = self.parent_path().lexically_normal();
    const auto top = folder.begin();
    const bool installed = folder.is_absolute() && std::distance(top, folder.end()) > 2 &&
                           *std::next(top) == "usr";
    return installed ? workingFolder : folder;
}

} // namespace glimtake
