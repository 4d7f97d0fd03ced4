#pragma once

#include <QByteArray>

namespace vadok {

class XmlDocument;

// Which machine last saved the data file. A sync engine delivers another machine's version
// under the same name as ours, and only the file itself can tell them apart: every save marks
// the root with this machine's id (attribute savedOn, which older readers ignore). The id is
// made once, at random, and kept in the user's config folder.
void markSavedHere(XmlDocument& doc);
// Marked by another machine. A file without a mark (from an older version, or written by
// hand) is nobody's in particular and counts as no other machine's.
bool savedElsewhere(const XmlDocument& doc);

// The common version a merge of conflict copies starts from: the last version of the data
// file that this machine read and another machine wrote, since both have had it and every
// later version of either grew from it. Kept outside the program folder, in this machine's
// cache, where no sync engine replaces it. False, with base empty, when none is known.
bool loadSharedVersion(XmlDocument& base);
void rememberSharedVersion(const QByteArray& bytes);

} // namespace vadok
