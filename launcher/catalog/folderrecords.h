#pragma once

#include <QString>

namespace vadok {

// True when some Folder element carries this Name (exact).
bool FolderExists(const QString& name);

// Renames folder oldName and/or gives it a new parent; empty arguments leave that part
// alone. A new name follows into the Parent of its child folders and the Fol of its
// applications. False, after showing why, when the file could not be changed.
bool RenameFolder(const QString& oldName, const QString& newParent, const QString& newName);

// Appends a Folder (Order "99" until the next tree save numbers it). False when the name is
// taken (silently) or the file could not be changed (shown).
bool AddFolder(const QString& name, const QString& parent);

} // namespace vadok
