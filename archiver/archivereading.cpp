#include "archivereading.h"

#include "lzhheaderreader.h"
#include "names.h"

#include <archive_entry.h>

namespace vadok::archiver {

ReadArchive openArchive(const std::string& path, ArchiveFormat format,
                        const std::string& hdrcharset, std::string& error) {
    ReadArchive a(archive_read_new());
    if (format == ArchiveFormat::Lzh)
        archive_read_support_format_lha(a.get());
    else
        archive_read_support_format_zip(a.get());
    if (!hdrcharset.empty() &&
        archive_read_set_options(a.get(), ("hdrcharset=" + hdrcharset).c_str()) < ARCHIVE_WARN) {
        error = "libarchive cannot read names as " + hdrcharset;
        return nullptr;
    }
    if (archive_read_open_filename(a.get(), path.c_str(), 256 * 1024) != ARCHIVE_OK) {
        const char* e = archive_error_string(a.get());
        error = e ? e : "cannot open archive";
        return nullptr;
    }
    return a;
}

NamePlan planNames(const std::string& path, ArchiveFormat format) {
    NamePlan plan;
    if (format == ArchiveFormat::Lzh) {
        const ArchiveIndex index = readArchiveIndex(path);
        // Archives our reader cannot follow (self-extracting, level 3) keep libarchive's names.
        if (!index.ok)
            return plan;
        plan.overrideNames = true;
        plan.hdrcharset = "ISO-8859-1";
        for (const auto& m : index.members) {
            plan.names.emplace_back(m.path, m.linkTarget);
            plan.crcs.push_back(m.crc);
            plan.sizes.push_back(m.originalSize);
            plan.links.push_back(m.kind == MemberKind::Symlink);
        }
        return plan;
    }
    std::string error;
    ReadArchive a = openArchive(path, format, "", error);
    if (!a)
        return plan;
    struct archive_entry* entry = nullptr;
    int r;
    while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        const char* name = archive_entry_pathname(entry);
        if (name && !isValidUtf8(name)) {
            plan.hdrcharset = "CP932";
            break;
        }
        archive_read_data_skip(a.get());
    }
    return plan;
}

bool isSafeMemberName(const std::string& name) {
    if (name.empty() || name.front() == '/')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0 && end - start == 2)
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace vadok::archiver
