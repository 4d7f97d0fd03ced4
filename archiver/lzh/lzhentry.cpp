#include "lzhentry.h"

namespace vadok::archiver {

Entry entryOf(const LzhMember& header, MemberKind kind) {
    Entry entry(archive_entry_new());
    struct archive_entry* e = entry.get();
    archive_entry_set_filetype(e, kind == MemberKind::Directory ? AE_IFDIR
                                  : kind == MemberKind::Symlink ? AE_IFLNK
                                                                : AE_IFREG);
    if (header.unixMode) {
        archive_entry_set_perm(e, *header.unixMode & 07777);
    } else {
        mode_t perm = kind == MemberKind::Directory ? 0777 : 0666;
        if (header.dosAttribute & 0x01)
            perm &= ~static_cast<mode_t>(0222);
        archive_entry_set_perm(e, perm);
    }
    archive_entry_set_mtime(e, static_cast<time_t>(header.mtime), header.mtimeNsec);
    if (kind == MemberKind::File)
        archive_entry_set_size(e, static_cast<la_int64_t>(header.originalSize));
    if (kind == MemberKind::Symlink)
        archive_entry_set_symlink(e, header.linkTarget.c_str());
    return entry;
}

} // namespace vadok::archiver
