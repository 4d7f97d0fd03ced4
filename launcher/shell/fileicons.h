#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <memory>

namespace glimtake {
class FileSource;
class IconGroups;
} // namespace glimtake

namespace vadok {

// The icons a file holds, numbered as the desktop's icon extraction numbers them: the icon
// groups of a Windows program or library in the order they are enumerated, or the one icon of
// an .ico file (whatever its name). Any other file holds none.
class FileIcons {
public:
    // Reads what path holds; a path differing from the file's name only in letter case finds
    // the file. A missing or unreadable file holds nothing.
    explicit FileIcons(const QString& path);
    ~FileIcons();
    FileIcons(const FileIcons&) = delete;
    FileIcons& operator=(const FileIcons&) = delete;

    // Whether the file is of a kind that holds icons (a Windows module or an icon file), even
    // when it holds none: "not a program" and "no icon" are different answers to the user.
    bool isIconContainer() const { return m_groups || m_iconFile; }
    int count() const;

    // Icon index as an .ico file with all its images; empty when there is no such icon or it
    // cannot be assembled (a broken group still counts, as it does for the desktop).
    QByteArray icoFile(int index) const;
    // Icon index drawn in a square of side pixels; null when icoFile(index) is empty.
    QImage picture(int index, int side = 32) const;
    // Writes icon index as the .ico file path, replacing it in one step. False when there is
    // no such icon or the file could not be written.
    bool writeIcoFile(int index, const QString& path) const;

private:
    std::unique_ptr<glimtake::FileSource> m_source;
    std::unique_ptr<glimtake::IconGroups> m_groups;
    bool m_iconFile = false;
    QByteArray m_icoFile; // an icon file's own bytes, when it has an image
};

} // namespace vadok
