#pragma once

#include "catalog/fileidentity.h"
#include "catalog/xmlelement.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

struct _xmlDoc;

namespace vadok {

// One libxml2 document, owned for the length of one operation: load, select, edit, save,
// and freed when it goes out of scope. A document that failed to load is empty: selections
// find nothing and the root is null, which is what every reader expects of a missing file.
class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // False when the file is missing, unreadable or not well formed; errorString() says why.
    bool load(const QString& path);
    bool loadBytes(const QByteArray& bytes, const QString& sourceName = QString());
    bool isLoaded() const { return m_doc != nullptr; }

    XmlElement documentElement() const;

    // Element nodes matched by an XPath 1.0 expression, in document order. The context
    // element defaults to the document; variables are bound as strings ($name). An invalid
    // expression gives an empty list, *ok false and the reason in errorString().
    QList<XmlElement> select(const QString& xpath, const XmlElement& context = XmlElement(),
                             const QMap<QString, QString>& variables = {},
                             bool* ok = nullptr) const;
    XmlElement selectFirst(const QString& xpath, const XmlElement& context = XmlElement()) const;

    // The document in its declared encoding (the data file's is Shift_JIS, written as code
    // page 932). Characters that encoding cannot hold come out as character references.
    QByteArray toBytes(bool* ok = nullptr) const;

    // Replaces the file at path atomically: the bytes go to a temporary file in the same
    // folder, are synced to disk, and only then take the old file's name. On failure the
    // old file is untouched and errorString() describes what went wrong. written receives
    // the identity of the new file.
    bool save(const QString& path, FileIdentity* written = nullptr);

    QString errorString() const { return m_error; }

private:
    _xmlDoc* m_doc = nullptr;
    // Selections on a document that is only read report their failures here too.
    mutable QString m_error;
};

} // namespace vadok
