#pragma once

#include "apps/archivesizes.h"

#include <QString>

#include <functional>
#include <optional>

namespace vadok {

// What is wrong with a damaged archive.
enum class ArchiveFault {
    None,
    Unreadable,        // the file cannot be opened or read
    NotAnArchive,      // it is no LZH archive
    HeaderDamaged,     // a member header is damaged
    DataDamaged,       // a member's data does not decode to what its header says
    CutShort,          // the file ends too early
    UnsupportedMethod, // a member is packed in a way vadok cannot read
};

// The outcome of checking one archive. member names the first damaged member (empty when
// the damage is not in one, or its header is unreadable).
struct ArchiveCheckResult {
    bool sound = false;
    bool cancelled = false;
    ArchiveFault fault = ArchiveFault::None;
    QString member;
};

// Decodes every member of archive and compares its size and CRC, without expanding
// anything. progress gets the bytes done and in all; returning false stops the check
// (cancelled). Safe on any thread.
ArchiveCheckResult CheckArchiveFile(const QString& archive,
                                    const std::function<bool(quint64, quint64)>& progress = {});

// What archive holds, from its member headers alone; nullopt when they cannot be read.
// Safe on any thread.
std::optional<ArchiveContent> ReadArchiveContent(const QString& archive);

// The fault as the user reads it.
QString faultText(ArchiveFault fault);

// Why an expansion of the LZH archive failed with code, in words; for a damaged archive the
// archive is checked to name its first damaged member and the damage. Empty for a code that
// says nothing more than the code itself.
QString ExpandFailureText(int code, const QString& archive);

} // namespace vadok
