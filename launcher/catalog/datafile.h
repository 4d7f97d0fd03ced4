#pragma once

#include <QByteArray>
#include <QString>

// vadok.xml, in the program folder, holds the whole catalog and the settings. Its bytes are
// code page 932 under <?xml ... encoding="Shift_JIS"?>; characters CP932 lacks are written
// as character references. Element and attribute names are case-sensitive:
//
//   Vadok                  dataversion="4" (missing: version 0; 3 is migrated at start-up)
//                          savedOn="<id of the machine that saved it last>" (syncbase.h)
//     Config               PackDate KeepPos LhaDialog IntoTaskTray  (absent until first save)
//       Pos                Left Top Height Width LR wState narrowHeight narrowWidth posUD
//                          DispMode DispCmdButtons  (only while KeepPos is 1)
//       Color              infoTXT infoBG treeTXT treeBG treeSEL DispInfoNarrow
//                          DispStatusNarrow DispMenuNarrow DispSearchTextBoxAnyTime
//         infoFont, treeFont   Name Size Bold Ital
//       Folders            pack exec icon  (".." + rest inside the program folder)
//       Key                AppCallEnd FindKey
//     Folders
//       Folder*            Name Parent Order; the top level is Name "ROOT"
//         AppItem*         text: an application title, in display order
//     Apps
//       App*               children Name Fol Date Exec NonPack [ShortCut basePath=...]
//                          Text/Line* [SubExec/Cmd*]
//
// Booleans are "True"/"False" in element text and "-1"/"0" in attributes; dates are
// "yyyy/MM/dd H:mm:ss". Lookups by title take the first App in document order.

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
