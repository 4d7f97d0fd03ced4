#include "catalog/datafilecache.h"

#include "catalog/datafile.h"
#include "catalog/syncbase.h"

namespace vadok {

namespace {

// The one parsed copy. The UI thread is the only one that touches the data file.
struct Cached {
    QString path;
    FileIdentity identity;
    std::shared_ptr<XmlDocument> doc;

    bool holds(const QString& wanted, const std::optional<FileIdentity>& current) const {
        return doc && current && path == wanted && identity == *current;
    }
};

Cached& cached() {
    static Cached c;
    return c;
}

// The version of the file this process last read or wrote, and how often another version
// was met since the first: the file changed behind our back.
struct Seen {
    QString path;
    std::optional<FileIdentity> identity;
    quint64 changesBehind = 0;

    void meet(const QString& at, const std::optional<FileIdentity>& found) {
        if (!found)
            return;
        if (at == path && identity && *identity != *found)
            ++changesBehind;
        path = at;
        identity = found;
    }
};

Seen& seen() {
    static Seen s;
    return s;
}

// Parses path. The identity was taken before the read: should the file change meanwhile,
// the next operation sees an identity that does not match and parses again.
std::shared_ptr<XmlDocument> parse(const QString& path, const std::optional<FileIdentity>& identity) {
    seen().meet(path, identity);
    auto doc = std::make_shared<XmlDocument>();
    if (doc->load(path) && identity)
        cached() = Cached{path, *identity, doc};
    else
        cached() = Cached();
    return doc;
}

} // namespace

std::shared_ptr<const XmlDocument> readDataFile() {
    const QString path = dataFilePath();
    const std::optional<FileIdentity> identity = fileIdentity(path);
    if (cached().holds(path, identity))
        return cached().doc;
    return parse(path, identity);
}

DataFileEdit::DataFileEdit() : m_path(dataFilePath()), m_loadedIdentity(fileIdentity(m_path)) {
    Cached& c = cached();
    if (c.holds(m_path, m_loadedIdentity) && c.doc.use_count() == 1) {
        m_doc = std::move(c.doc);
        c = Cached();
        return;
    }
    // A reader still holds the cached document: it must not see this edit, so the edit
    // works on a copy of its own.
    seen().meet(m_path, m_loadedIdentity);
    m_doc = std::make_shared<XmlDocument>();
    m_doc->load(m_path);
}

bool DataFileEdit::save() {
    markSavedHere(*m_doc);
    FileIdentity written;
    if (!m_doc->save(m_path, &written))
        return false;
    cached() = Cached{m_path, written, m_doc};
    seen() = Seen{m_path, written, seen().changesBehind};
    return true;
}

void DataFileEdit::keepUnchanged() {
    if (!m_doc->isLoaded() || !m_loadedIdentity || fileIdentity(m_path) != m_loadedIdentity)
        return;
    cached() = Cached{m_path, *m_loadedIdentity, m_doc};
}

quint64 dataFileChangesBehind() {
    const QString path = dataFilePath();
    seen().meet(path, fileIdentity(path));
    return seen().changesBehind;
}

void forgetCachedDataFile() {
    cached() = Cached();
}

} // namespace vadok
