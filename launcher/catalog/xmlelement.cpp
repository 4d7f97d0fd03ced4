#include "catalog/xmlelement.h"

#include <libxml/tree.h>

namespace vadok {

namespace {

const xmlChar* utf8(const QByteArray& bytes) {
    return reinterpret_cast<const xmlChar*>(bytes.constData());
}

QString fromXml(const xmlChar* text) {
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QString();
}

QString takeXml(xmlChar* text) {
    QString result = fromXml(text);
    xmlFree(text);
    return result;
}

bool isElementNamed(const xmlNode* node, const QByteArray& name) {
    return node->type == XML_ELEMENT_NODE &&
           (name.isEmpty() || xmlStrEqual(node->name, utf8(name)));
}

} // namespace

QByteArray xmlSafeUtf8(const QString& text) {
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            clean.append(c);
            clean.append(text[++i]);
            continue;
        }
        const char16_t u = c.unicode();
        const bool allowed = u == 0x09 || u == 0x0A || u == 0x0D || (u >= 0x20 && u <= 0xD7FF) ||
                             (u >= 0xE000 && u <= 0xFFFD);
        if (allowed)
            clean.append(c);
    }
    return clean.toUtf8();
}

XmlElement::XmlElement(_xmlNode* node) : m_node(node) {}

QString XmlElement::name() const {
    return m_node ? fromXml(m_node->name) : QString();
}

QString XmlElement::text() const {
    return m_node ? takeXml(xmlNodeGetContent(m_node)) : QString();
}

void XmlElement::setText(const QString& text) {
    if (!m_node)
        return;
    // xmlNodeSetContent would read "&..." as entity references; adding the text as content
    // keeps it literal.
    xmlNodeSetContent(m_node, nullptr);
    const QByteArray bytes = xmlSafeUtf8(text);
    if (!bytes.isEmpty())
        xmlNodeAddContentLen(m_node, utf8(bytes), int(bytes.size()));
}

bool XmlElement::textContains(const QByteArray& needle) const {
    if (!m_node)
        return false;
    if (needle.isEmpty())
        return true;
    // UTF-8 is self-synchronising: a byte match is a match of whole characters.
    const xmlNode* only = m_node->children;
    if (only && !only->next &&
        (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE))
        return only->content && xmlStrstr(only->content, utf8(needle)) != nullptr;
    xmlChar* content = xmlNodeGetContent(m_node);
    const bool found = content && xmlStrstr(content, utf8(needle)) != nullptr;
    xmlFree(content);
    return found;
}

bool XmlElement::hasAttribute(const QString& name) const {
    return m_node && xmlHasProp(m_node, utf8(name.toUtf8())) != nullptr;
}

QString XmlElement::attribute(const QString& name) const {
    return m_node ? takeXml(xmlGetProp(m_node, utf8(name.toUtf8()))) : QString();
}

void XmlElement::setAttribute(const QString& name, const QString& value) {
    if (m_node)
        xmlSetProp(m_node, utf8(name.toUtf8()), utf8(xmlSafeUtf8(value)));
}

void XmlElement::removeAttribute(const QString& name) {
    if (m_node)
        xmlUnsetProp(m_node, utf8(name.toUtf8()));
}

XmlElement XmlElement::firstChild(const QString& name) const {
    if (!m_node)
        return {};
    const QByteArray wanted = name.toUtf8();
    for (xmlNode* child = m_node->children; child; child = child->next) {
        if (isElementNamed(child, wanted))
            return XmlElement(child);
    }
    return {};
}

namespace {
xmlNode* elementFrom(xmlNode* node) {
    while (node && node->type != XML_ELEMENT_NODE)
        node = node->next;
    return node;
}
} // namespace

XmlElement XmlElement::firstElement() const {
    return XmlElement(m_node ? elementFrom(m_node->children) : nullptr);
}

XmlElement XmlElement::nextElement() const {
    return XmlElement(m_node ? elementFrom(m_node->next) : nullptr);
}

bool XmlElement::isNamed(const char* name) const {
    return m_node && xmlStrEqual(m_node->name, reinterpret_cast<const xmlChar*>(name));
}

QList<XmlElement> XmlElement::children(const QString& name) const {
    QList<XmlElement> result;
    if (!m_node)
        return result;
    const QByteArray wanted = name.toUtf8();
    for (xmlNode* child = m_node->children; child; child = child->next) {
        if (isElementNamed(child, wanted))
            result.append(XmlElement(child));
    }
    return result;
}

QList<XmlElement> XmlElement::elementsNamed(const QString& name) const {
    QList<XmlElement> result;
    if (!m_node)
        return result;
    const QByteArray wanted = name.toUtf8();
    // Pre-order without recursion: down to the first child, else on to the next sibling of
    // the nearest ancestor that has one, never above this element.
    xmlNode* node = m_node;
    while (node) {
        if (isElementNamed(node, wanted))
            result.append(XmlElement(node));
        if (node->children && node->type == XML_ELEMENT_NODE) {
            node = node->children;
            continue;
        }
        while (node != m_node && !node->next)
            node = node->parent;
        node = node == m_node ? nullptr : node->next;
    }
    return result;
}

XmlElement XmlElement::appendChild(const QString& name) {
    if (!m_node)
        return {};
    xmlNode* child = xmlNewDocNode(m_node->doc, nullptr, utf8(name.toUtf8()), nullptr);
    return XmlElement(xmlAddChild(m_node, child));
}

namespace {

// A copy of source's name and attributes in doc, with no children yet.
xmlNode* shallowElementCopy(const xmlNode* source, xmlDoc* doc) {
    xmlNode* copy = xmlNewDocNode(doc, nullptr, source->name, nullptr);
    for (const xmlAttr* a = source->properties; a && copy; a = a->next) {
        // The value as text, entity references in it resolved.
        xmlChar* value = xmlNodeListGetString(source->doc, a->children, 1);
        xmlSetProp(copy, a->name, value ? value : reinterpret_cast<const xmlChar*>(""));
        xmlFree(value);
    }
    return copy;
}

bool carriesText(const xmlNode* node) {
    return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE ||
           node->type == XML_ENTITY_REF_NODE;
}

} // namespace

XmlElement XmlElement::appendCopy(const XmlElement& source) {
    if (!m_node || !source.m_node || source.m_node->type != XML_ELEMENT_NODE)
        return {};
    xmlNode* top = xmlAddChild(m_node, shallowElementCopy(source.m_node, m_node->doc));
    if (!top)
        return {};
    // Pre-order over source's subtree with the tree's own links: down into an element's
    // children, else on to the next sibling of the nearest ancestor that has one. parent is
    // always the copy of node's parent.
    const xmlNode* node = source.m_node->children;
    xmlNode* parent = top;
    while (node) {
        if (node->type == XML_ELEMENT_NODE) {
            xmlNode* copy = xmlAddChild(parent, shallowElementCopy(node, m_node->doc));
            if (copy && node->children) {
                parent = copy;
                node = node->children;
                continue;
            }
        } else if (carriesText(node)) {
            xmlChar* text = xmlNodeGetContent(node);
            if (text && *text)
                xmlNodeAddContent(parent, text);
            xmlFree(text);
        }
        while (node && !node->next && node->parent != source.m_node) {
            node = node->parent;
            parent = parent->parent;
        }
        node = node ? node->next : nullptr;
    }
    return XmlElement(top);
}

QStringList XmlElement::attributeNames() const {
    QStringList names;
    for (const xmlAttr* a = m_node ? m_node->properties : nullptr; a; a = a->next)
        names << fromXml(a->name);
    return names;
}

void XmlElement::removeChildren() {
    if (!m_node)
        return;
    xmlNode* child = m_node->children;
    while (child) {
        xmlNode* next = child->next;
        xmlUnlinkNode(child);
        xmlFreeNode(child);
        child = next;
    }
}

void XmlElement::remove() {
    if (!m_node)
        return;
    xmlUnlinkNode(m_node);
    xmlFreeNode(m_node);
    m_node = nullptr;
}

} // namespace vadok
