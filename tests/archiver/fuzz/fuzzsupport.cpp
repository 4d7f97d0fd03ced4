#include "fuzzsupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace vadok::archiver::fuzz {

Scratch::Scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vadok-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        std::abort();
    root = pattern;
}

Scratch::~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}

void writeBytes(const std::filesystem::path& p, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
    writeBytes(p, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

void checkNothingLeadsOut(const std::filesystem::path& dest) {
    std::error_code ec;
    const auto root = std::filesystem::canonical(dest, ec);
    if (ec)
        return;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code resolving;
        const auto where = std::filesystem::weakly_canonical(it->path(), resolving);
        // A loop of links leads nowhere.
        if (resolving)
            continue;
        const auto rel = where.lexically_relative(root);
        if (rel.empty() || *rel.begin() == "..")
            fault();
    }
}

void checkNothingBeside(const std::filesystem::path& scratch,
                        std::initializer_list<const char*> names) {
    for (const auto& e : std::filesystem::directory_iterator(scratch)) {
        const auto name = e.path().filename().string();
        if (std::find(names.begin(), names.end(), name) == names.end())
            fault();
    }
}

} // namespace vadok::archiver::fuzz
