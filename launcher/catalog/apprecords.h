#pragma once

#include "catalog/apprecord.h"
#include "catalog/xmldocument.h"
#include "catalog/xmlelement.h"

namespace vadok {

// Notes longer than this are cut when a record is updated.
inline constexpr int kMaxNotesLength = 65535;

// The first App element, in document order, whose Name is title (exact); null when none.
XmlElement findAppElement(const XmlDocument& doc, const QString& title);

// Fills app from the first App whose Name is title (exact). A missing data file is reported,
// created from the template, and the lookup fails; so does a record whose title fails the
// title rules (ReadAppRecord). Holds the data file busy (XmlBusyScope) while it runs.
bool FindAppByName(const QString& title, AppRecord& app);

// Copies the fields an App element has into app; missing or unreadable ones stay as they
// were, except NonPack, which a missing element makes false. A shortcut record also stamps
// LastOpenDateTime with the current time. A record whose title fails the title rules
// (nameRefusal) is not read: the title names the archive, the expanded folder and the icon,
// and one like "../x" from a synced file would name files outside them. app is then left
// without a title and the result is false.
bool ReadAppRecord(const XmlElement& element, AppRecord& app);

// Updates the App named keyTitle (app.AppName when empty) or appends a new one. On update
// the notes are normalised and limited, and app.Info takes the stored form. An unset
// LastOpenDateTime becomes now. Given asRead, the record as it was read, an update writes
// only the fields that differ from it. False when nothing could be saved (the reason was
// shown).
bool SaveAppRecord(AppRecord& app, const QString& keyTitle = QString(),
                   const AppRecord* asRead = nullptr);

// Removes the first App named app.AppName. False when the file could not be changed.
bool DeleteAppRecord(const AppRecord& app);

} // namespace vadok
