#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace vadok {

// The [Desktop Entry] group of a freedesktop .desktop file: the shortcut format of this
// platform. Other groups and comments are kept as they were when the entry is written back.
class DesktopEntry {
public:
    static DesktopEntry parse(const QByteArray& bytes);
    QByteArray serialize() const;

    QString value(const QString& key) const;
    void setValue(const QString& key, const QString& value);
    bool hasMainGroup() const { return m_mainGroup >= 0; }

    // Exec quoting and its reverse. exec() lists the program first.
    static QString quoteExecArgument(const QString& argument);
    static QStringList splitExec(const QString& exec);

private:
    // Every line of the file; key lines of the main group are looked up by scanning.
    QStringList m_lines;
    int m_mainGroup = -1; // index of the "[Desktop Entry]" line
};

} // namespace vadok
