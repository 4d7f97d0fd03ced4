#pragma once

#include "catalog/fileidentity.h"
#include "catalog/xmldocument.h"

#include <memory>

namespace vadok {

// The data file parsed once and kept while it stays as it is on disk. Every operation still
// sees the file as last saved: one stat per operation compares its identity (device, inode,
// size, modification time) with the parsed copy's, and any difference, a change by another
// program included, means a fresh parse. Our own saves hand the saved document over, so the
// next operation does not parse what was just written.

// The data file for reading. Shared with other readers and with the cache: never edit it.
// A missing or unreadable file gives a document that is not loaded (errorString() says why).
std::shared_ptr<const XmlDocument> readDataFile();

// One edit of the data file: a document of its own (the cached one when nobody is reading
// it, else a fresh parse), changed by the caller and then saved. An edit that is dropped
// without save() or keepUnchanged() leaves the cache empty, since the document may hold
// half of an edit.
class DataFileEdit {
public:
    DataFileEdit();
    DataFileEdit(const DataFileEdit&) = delete;
    DataFileEdit& operator=(const DataFileEdit&) = delete;

    // False when the file is missing, unreadable or not well formed.
    bool isLoaded() const { return m_doc->isLoaded(); }
    QString errorString() const { return m_doc->errorString(); }
    XmlDocument& doc() { return *m_doc; }

    // Replaces the file atomically, marked as saved on this machine (syncbase.h); the saved
    // document becomes the cached one. On failure the file is untouched, and errorString()
    // says why.
    bool save();
    // Nothing was changed after all: the document goes back to the cache as it came.
    void keepUnchanged();

private:
    QString m_path;
    std::optional<FileIdentity> m_loadedIdentity;
    std::shared_ptr<XmlDocument> m_doc;
};

// How many times the data file was met changed by someone else (a sync delivering another
// machine's version, an editor): a read, an edit or this call found a version other than
// the one this process last read or wrote. Costs one stat.
quint64 dataFileChangesBehind();

// Forgets the parsed copy; the next operation parses the file again.
void forgetCachedDataFile();

} // namespace vadok
