#pragma once

#include <QString>
#include <QStringList>

namespace vadok {

// What a start of the program asks for, read from its command line: by the start itself, and
// by the running instance when a later start hands the same text over.
struct StartRequest {
    enum class Kind {
        Nothing,    // the first argument is empty
        Register,   // path names an existing file or folder: the dropped-item dialog takes it
        Run,        // title with the arguments for that application
        Unreadable, // neither a path nor a name an application can carry
    };
    Kind kind = Kind::Nothing;
    QString path;
    QString title;
    QStringList arguments;
};

// A path must be absolute: the running instance works in another folder than the start that
// named it, and the start makes every path it was given absolute before handing it over. A
// title passes the rules of the property editor, so it never leads outside the working folders.
StartRequest ReadStartRequest(const QString& commandLine);

// The arguments as the parameters of a program start: each in double quotes (a quote inside
// written as three, which the launch reads back as one) and followed by one space, so every
// argument reaches the application whole, as given.
QString QuotedParameters(const QStringList& arguments);

// What the user is told about a title no application carries.
QString NotRegisteredText(const QString& title);

// What the user is told about a command line that is neither a path nor a possible title.
inline const QString kNotUnderstoodText = QStringLiteral("渡されたパラメータを解釈できませんでした。");

} // namespace vadok
