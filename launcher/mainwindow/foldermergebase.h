#pragma once

#include <QtGlobal>
#include <memory>

namespace vadok {

class XmlDocument;
class XmlElement;

// The folder structure the tree was built from or last saved, and how many changes behind
// our back the data file had when the tree was read: when it has had more since (a sync
// delivered another machine's version), a save merges against these folders instead of
// writing over folders and placings this tree has never shown.
class FolderMergeBase {
public:
    FolderMergeBase();
    ~FolderMergeBase();

    // Counted before a read: a change that lands during it is followed at the next tick.
    void countChanges();
    bool fileChangedSince() const;
    // Keeps folders (a Folders element), as alone() puts it.
    void remember(const XmlElement& folders);
    void remember(std::unique_ptr<XmlDocument> folders);
    // A copy of folders alone in a document of its own.
    static std::unique_ptr<XmlDocument> alone(const XmlElement& folders);
    // nullptr before the first read.
    const XmlDocument* folders() const { return m_folders.get(); }

private:
    quint64 m_changesSeen = 0;
    std::unique_ptr<XmlDocument> m_folders;
};

} // namespace vadok
