#include "memberarchive.h"

#include "archiver/lzh/lzhheaderwriter.h"
#include "archiver/lzh/lzhmember.h"

#include <cstdio>
#include <fstream>

namespace vadok::bench {

void writeEmptyMembersArchive(const std::filesystem::path& archive, std::uint64_t count) {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    vadok::archiver::LzhMember m;
    m.unixMode = 0100644;
    m.mtime = 1700000000;
    char name[48];
    for (std::uint64_t i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "d%03llu/f%07llu",
                      static_cast<unsigned long long>(i / 1000),
                      static_cast<unsigned long long>(i));
        m.path = name;
        const auto header = vadok::archiver::encodeLevel2Header(m);
        out.write(reinterpret_cast<const char*>(header.data()),
                  static_cast<std::streamsize>(header.size()));
    }
    out.put('\0');
}

} // namespace vadok::bench
