#pragma once

#include <QString>

namespace vadok {

// Stores folder into the archive of a new application called title, PackDir + title +
// ".lzh". An archive of that name already there (one no application owns: the callers see
// to that) is rebuilt, added to, or left alone, as the user answers. True when the archive
// was written and read back holding all of folder; failures and a cancel are shown.
bool LhaCompressDir(const QString& title, const QString& folder);

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
