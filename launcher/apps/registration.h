#pragma once

#include <QString>

namespace vadok {

// Stores folder into the archive of a new application called title, PackDir + title +
// ".lzh". An archive of that name already there (one no application owns: the callers see
// to that) is rebuilt, added to, or left alone, as the user answers. True when the archive
// was written and read back holding all of folder; failures and a cancel are shown.
bool LhaCompressDir(const QString& title, const QString& folder);

// How copying a registered folder into the execution folder ended.
enum class CopyOutcome {
    Complete,   // everything of the source is in the copy
    Incomplete, // the copy was made, but no longer holds all of the source
    Failed,     // nothing was copied; the failure was shown, naming the file and why
};

// Copies everything inside source into target in the execution folder as an expansion of
// its archive would write it there: where that file system holds no links or modes (an
// exFAT stick), links become copies of what they lead to and are listed with the modes, so
// that the first store writes them back. An existing target goes to the trash first. All or
// nothing: a failure leaves nothing at target.
CopyOutcome CopyIntoExecutionFolder(const QString& source, const QString& target);

// The archive a registration is about to write, kept as it was before: a registration that
// is not completed puts it back byte for byte, or removes it when there was none. The copy
// waits beside the archive and goes when this object does.
class PriorArchive {
public:
    explicit PriorArchive(const QString& archive);
    ~PriorArchive();
    PriorArchive(const PriorArchive&) = delete;
    PriorArchive& operator=(const PriorArchive&) = delete;

    // False when an archive was there but no copy of it could be made.
    bool kept() const { return m_kept; }
    void restore();

private:
    QString m_archive;
    QString m_copy; // empty when there was no archive
    bool m_kept = true;
};

// Why folder cannot be registered as an application, as a message for the user; empty when
// it can. Refused: a folder inside the pack, execution or icon folder (the archive or copy
// would be made of the launcher's own files), and one holding any of them or the program
// folder (copying it would copy into itself, and deleting it afterwards would delete the
// launcher's data).
QString RegistrationRefusal(const QString& folder);
// Why path (a file or folder) clashes with the launcher's own folders, as the end of a
// message ("格納フォルダの中にあります。"); empty when it does not. The reasons of
// RegistrationRefusal.
QString WorkingFolderConflict(const QString& path);

} // namespace vadok
