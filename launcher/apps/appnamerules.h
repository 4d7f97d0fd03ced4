#pragma once

#include <QChar>
#include <QList>
#include <QString>

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

// The warning for a name the editor cannot accept as a whole (empty, "." or ".."); empty
// when there is none. Such a name has no archive of its own, and as a folder name it would
// point at the execution folder or the folder above it.
QString wholeNameRefusal(const QString& name);

// The first warning name meets (whole-name rule first, then the characters); empty when a
// new application may carry it.
QString nameRefusal(const QString& name);

} // namespace vadok
