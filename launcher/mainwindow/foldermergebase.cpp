#include "mainwindow/foldermergebase.h"

#include "catalog/datafilecache.h"
#include "catalog/xmldocument.h"

namespace vadok {

FolderMergeBase::FolderMergeBase() = default;
FolderMergeBase::~FolderMergeBase() = default;

void FolderMergeBase::countChanges() {
    m_changesSeen = dataFileChangesBehind();
}

bool FolderMergeBase::fileChangedSince() const {
    return dataFileChangesBehind() != m_changesSeen;
}

void FolderMergeBase::remember(const XmlElement& folders) {
    m_folders = alone(folders);
}

void FolderMergeBase::remember(std::unique_ptr<XmlDocument> folders) {
    m_folders = std::move(folders);
}

std::unique_ptr<XmlDocument> FolderMergeBase::alone(const XmlElement& folders) {
    auto copy = std::make_unique<XmlDocument>();
    copy->loadBytes(QByteArrayLiteral("<Vadok/>"));
    copy->documentElement().appendCopy(folders);
    return copy;
}

} // namespace vadok
