#pragma once

#include <QList>
#include <QStringList>
#include <QString>

struct _xmlNode;

namespace vadok {

// A handle to one element of an XmlDocument. It owns nothing: it is valid while its document
// lives and the element has not been removed. A null handle answers every question with
// "nothing there" and ignores edits, which is how a missing element reads.
class XmlElement {
public:
    XmlElement() = default;
    explicit XmlElement(_xmlNode* node);

    bool isNull() const { return m_node == nullptr; }
    explicit operator bool() const { return m_node != nullptr; }
    _xmlNode* node() const { return m_node; }

    QString name() const;

    // All text below the element, concatenated.
    QString text() const;
    // Replaces the element's children by one text node. Characters XML 1.0 cannot carry
    // (C0 controls other than TAB, LF, CR) are dropped: written out they would make the file
    // unreadable on the next load.
    void setText(const QString& text);
    // Whether text() holds needle (UTF-8), compared byte for byte without building the text
    // as a QString: what a search over every notes line can afford. An empty needle is in
    // every text.
    bool textContains(const QByteArray& needle) const;

    bool hasAttribute(const QString& name) const;
    // Empty when missing.
    QString attribute(const QString& name) const;
    void setAttribute(const QString& name, const QString& value);
    void removeAttribute(const QString& name);

    XmlElement firstChild(const QString& name) const;
    // A walk over the element children without building lists or converting names: what a
    // pass over every record of a large file can afford. Null at the end.
    XmlElement firstElement() const;
    XmlElement nextElement() const;
    // Whether the element is called name (UTF-8).
    bool isNamed(const char* name) const;
    // Element children in document order; all of them when name is empty.
    QList<XmlElement> children(const QString& name = QString()) const;
    // This element and every element below it called name, in document order: what "//name"
    // selects from the root, found by a plain walk instead of an XPath query, which collects
    // every node of the document on the way.
    QList<XmlElement> elementsNamed(const QString& name) const;

    // Creates an element with this name and appends it as the last child.
    XmlElement appendChild(const QString& name);
    // Appends a copy of source, which may belong to another document, as the last child: its
    // elements, attributes and text, with entity references as the text they stand for.
    // Nothing else is copied (no entity nodes, which a document without their declarations
    // could not write back, no comments or instructions), and the walk keeps no stack of its
    // own, so that no nesting read from a file can exhaust it.
    XmlElement appendCopy(const XmlElement& source);
    // The names of the element's attributes, in document order.
    QStringList attributeNames() const;
    void removeChildren();
    // Unlinks and frees the element; this handle becomes null.
    void remove();

    bool operator==(const XmlElement& other) const { return m_node == other.m_node; }

private:
    _xmlNode* m_node = nullptr;
};

// Text safe to hand to libxml2: characters outside the XML 1.0 Char production removed.
QByteArray xmlSafeUtf8(const QString& text);

} // namespace vadok
