#pragma once

#include <QChar>
#include <QList>
#include <QString>

#include <functional>

namespace vadok {

// The characters the property editor refuses, field by field, in the order it tests them.
// An application's name becomes a file name and a tree key, and the data file's markup
// would read "&" in the other fields as the start of an entity.
enum class EditField { Name, Command, Folder };
struct RefusedCharacter {
    EditField field;
    QChar character;
    QString message;
};
const QList<RefusedCharacter>& refusedCharacters();

// The warning for a name the editor cannot accept as a whole (empty, "." or "..", or one of
// the launcher's own names); empty when there is none. Such a name has no archive of its own,
// and as a folder name it would point at the execution folder or the folder above it, or at
// a scratch folder that registrations empty without asking.
QString wholeNameRefusal(const QString& name);

// Whether name is one the launcher keeps for itself in the execution folder and the tree:
// "_work" and every name that begins with it ("_work-0001", "_workfolmove"), in any letter
// case, since paths are also found in other letter case.
bool isLaunchersOwnName(const QString& name);

// The editor's warning for a catalog folder called name; empty when the editor accepts it.
QString folderNameRefusal(const QString& name);

// The first warning name meets (whole-name rule first, then control characters, then the
// editor's characters); empty when an application may carry it. Every title that names files
// passes it: the editor's, and every title read from the data file, a conflict copy, the
// hand-over or the command line, since all of them may come from another machine.
QString nameRefusal(const QString& name);

// The first of title + " (2)", " (3)", ... that taken does not claim.
QString SuggestFreeTitle(const QString& title, const std::function<bool(const QString&)>& taken);

} // namespace vadok
