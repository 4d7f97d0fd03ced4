#pragma once

#include <QString>

namespace vadok {

// Where vadok keeps its data: the data file, its backups and the Pack/, Exec/ and Icon/
// folders. A portable vadok (a copied folder, say on a USB stick) keeps them beside its
// binary; an installed one, whose binary lies under /usr, cannot write there and keeps them
// in the user's data folder (dataFolderFor). Always ends in "/". main() sets it; tests
// point it at a temporary folder.
QString programFolder();
void setProgramFolder(const QString& folder);

// The folder of vadok's own binary, where glimtake lies beside it: the program folder
// unless set apart, as it is for an installed vadok. Always ends in "/".
QString binaryFolder();
void setBinaryFolder(const QString& folder);

// Whether a binary in binaryFolder was installed by a package (it lies under /usr) rather
// than copied somewhere with its data.
bool isInstalledBinaryFolder(const QString& binaryFolder);

// The program folder for a binary in binaryFolder: beside it when portable; when installed,
// "vadok/" in $XDG_DATA_HOME, or in ~/.local/share when that is unset or not absolute (as
// the XDG base directory rules say). Ends in "/".
QString dataFolderFor(const QString& binaryFolder, const QString& xdgDataHome, const QString& home);

// The help pages: <binary>/help/ when portable, <prefix>/share/vadok/help/ when installed.
QString helpFolder();

// A file this machine keeps for itself about the program folder (what it has read of the
// archives, say): in the user's cache folder, one per program folder, and never in the
// program folder, which a sync engine or a USB stick shares between machines. Its folder
// is created when missing.
QString machineCacheFile(const QString& name);

// A setting this machine keeps for itself about the program folder (where its working folders
// are, say): like machineCacheFile, but in the user's config folder, since it is no cache
// and must not be lost when caches are cleared. Its folder is created when missing.
QString machineConfigFile(const QString& name);

// folder with exactly one trailing "/" added when missing.
QString withTrailingSlash(const QString& folder);

} // namespace vadok
