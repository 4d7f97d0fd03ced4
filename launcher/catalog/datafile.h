#pragma once

#include <QByteArray>
#include <QString>

namespace vadok {

// vadok.xml in the program folder, and its snapshot and backup generations beside it.
QString dataFilePath();

// The template of a new data file: CP932 bytes, every line ending in CR LF.
QByteArray dataFileTemplate();

// Writes the template over the data file. False with the reason in error when it cannot.
bool CreateDataFileFromTemplate(QString* error = nullptr);

// The root's dataversion, "0" when the file, its root or the attribute is missing (a file
// that is not well formed counts as missing).
QString DataVersion();

// Version 3 to 4: dataversion "4", a "ROOT" folder element, and one AppItem per application
// under the folder its Fol names. Shows its own failures; false when nothing was saved.
bool MigrateToVersion4();

// Start-up: migrate a version-3 file, create a missing file from the template, then copy it
// to vadok.xml.now (a failed copy is ignored). A failure before the copy shows "BDF" with
// the reason and skips the copy; start-up goes on either way.
void PrepareDataFile();

// Shows the description of a failed data-file edit, with the exclamation icon.
void reportDataFileError(const QString& description);

} // namespace vadok
