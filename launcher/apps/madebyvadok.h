#pragma once

#include <QString>

namespace vadok {

// Which folders of the execution folder vadok made itself, by expanding an archive or by
// copying a registered folder there: a sweep deletes those and nothing else, whatever else
// lies in the execution folder and whichever folder the settings name as one.
//
// The marks are this machine's own, kept in the user's cache folder and never beside the
// folders: they hold on any file system (FAT and exFAT keep no extended attributes), never
// end up in an archive, and cannot arrive from another machine, through a sync engine, in
// a data file or in a downloaded archive. A mark names the folder by its path and its file
// system identity (device and inode), so a folder put in its place later is not vadok's.
// Folders expanded before vadok kept marks have none and are never swept.

// Marks folder as made by vadok; false when it is no folder (a link is none) or the mark
// could not be written.
bool MarkMadeByVadok(const QString& folder);
// The folder was renamed: its mark follows it.
void CarryMadeByVadok(const QString& from, const QString& to);
// The folder is gone (stored, deleted): its mark goes too.
void ForgetMadeByVadok(const QString& folder);
// Whether folder is the very folder vadok marked at that path.
bool IsMadeByVadok(const QString& folder);

} // namespace vadok
