#include "catalog/xmldocument.h"

#include "catalog/atomicfile.h"
#include "catalog/cp932codec.h"

#include <QFile>
#include <QFileInfo>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <mutex>

namespace vadok {

namespace {

void silentGenericError(void*, const char*, ...) {}
void silentStructuredError(void*, xmlErrorPtr) {}

void initLibxml() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        registerCp932WithLibxml();
    });
    // libxml2 keeps its error handlers per thread; without these it prints to stderr.
    xmlSetGenericErrorFunc(nullptr, silentGenericError);
    xmlSetStructuredErrorFunc(nullptr, silentStructuredError);
}

QString describe(const xmlError* error) {
    if (!error || !error->message)
        return QStringLiteral("不明なエラー");
    QString message = QString::fromUtf8(error->message).trimmed();
    if (error->line > 0)
        return QStringLiteral("%1 行目: %2").arg(error->line).arg(message);
    return message;
}

// The encoding named in the XML declaration at the start of bytes, or empty.
QByteArray declaredEncoding(const QByteArray& bytes) {
    if (!bytes.startsWith("<?xml"))
        return {};
    const qsizetype end = bytes.indexOf("?>");
    if (end < 0 || end > 200)
        return {};
    const QByteArray declaration = bytes.left(end);
    const qsizetype key = declaration.indexOf("encoding");
    if (key < 0)
        return {};
    qsizetype i = key + 8;
    while (i < declaration.size() && (declaration[i] == ' ' || declaration[i] == '='))
        ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\''))
        return {};
    const char quote = declaration[i];
    const qsizetype close = declaration.indexOf(quote, i + 1);
    return close < 0 ? QByteArray() : declaration.mid(i + 1, close - i - 1);
}

} // namespace

XmlDocument::XmlDocument() {
    initLibxml();
}

XmlDocument::~XmlDocument() {
    if (m_doc)
        xmlFreeDoc(m_doc);
}

bool XmlDocument::load(const QString& path) {
    QFile file(path);
    if (!file.exists()) {
        if (m_doc) {
            xmlFreeDoc(m_doc);
            m_doc = nullptr;
        }
        m_error = QStringLiteral("ファイルが見つかりません: %1").arg(path);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (m_doc) {
            xmlFreeDoc(m_doc);
            m_doc = nullptr;
        }
        m_error = QStringLiteral("%1 を開けません: %2").arg(path, file.errorString());
        return false;
    }
    return loadBytes(file.readAll(), path);
}

bool XmlDocument::loadBytes(const QByteArray& bytes, const QString& sourceName) {
    initLibxml();
    if (m_doc) {
        xmlFreeDoc(m_doc);
        m_doc = nullptr;
    }
    m_error.clear();
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) {
        m_error = QStringLiteral("XML パーサを作成できません");
        return false;
    }
    // Blank text between elements is dropped so saved files can be indented afresh; blank
    // text that is an element's only content (an empty notes line) is kept. No network and
    // no entity expansion: the file is plain data.
    int options = XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                  XML_PARSE_COMPACT;
    const QString name =
        sourceName.isEmpty() ? QStringLiteral("XML") : QFileInfo(sourceName).fileName();
    // CP932 is turned into UTF-8 here in one pass and the parser told to ignore the
    // declaration; the declared name is put back on the document for saving.
    const QByteArray encoding = declaredEncoding(bytes);
    const bool cp932 = isCp932EncodingName(encoding);
    QByteArray utf8;
    if (cp932) {
        qsizetype badOffset = 0;
        if (!Cp932Codec::instance().decodeToUtf8(bytes, &utf8, &badOffset)) {
            m_error = QStringLiteral("%1 を読み込めません（%2 バイト目が %3 の文字ではありません）")
                          .arg(name)
                          .arg(badOffset + 1)
                          .arg(QString::fromLatin1(encoding));
            xmlFreeParserCtxt(ctxt);
            return false;
        }
        options |= XML_PARSE_IGNORE_ENC;
    }
    const QByteArray& input = cp932 ? utf8 : bytes;
    const QByteArray url = sourceName.toUtf8();
    xmlDocPtr doc = xmlCtxtReadMemory(ctxt, input.constData(), int(input.size()),
                                      url.isEmpty() ? nullptr : url.constData(), nullptr, options);
    if (doc && cp932) {
        if (doc->encoding)
            xmlFree(const_cast<xmlChar*>(doc->encoding));
        doc->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>(encoding.constData()));
    }
    if (!doc || !ctxt->wellFormed || !xmlDocGetRootElement(doc)) {
        m_error = QStringLiteral("%1 を読み込めません（%2）")
                      .arg(name, describe(xmlCtxtGetLastError(ctxt)));
        if (doc)
            xmlFreeDoc(doc);
        xmlFreeParserCtxt(ctxt);
        return false;
    }
    xmlFreeParserCtxt(ctxt);
    m_doc = doc;
    return true;
}

XmlElement XmlDocument::documentElement() const {
    return m_doc ? XmlElement(xmlDocGetRootElement(m_doc)) : XmlElement();
}

QList<XmlElement> XmlDocument::select(const QString& xpath, const XmlElement& context,
                                      const QMap<QString, QString>& variables, bool* ok) const {
    QList<XmlElement> result;
    if (ok)
        *ok = true;
    if (!m_doc)
        return result;
    xmlXPathContextPtr xctx = xmlXPathNewContext(m_doc);
    if (!xctx) {
        if (ok)
            *ok = false;
        m_error = QStringLiteral("XPath を評価できません");
        return result;
    }
    xctx->error = silentStructuredError;
    if (!context.isNull())
        xctx->node = context.node();
    for (auto it = variables.cbegin(); it != variables.cend(); ++it) {
        const QByteArray name = it.key().toUtf8();
        const QByteArray value = it.value().toUtf8();
        xmlXPathRegisterVariable(
            xctx, reinterpret_cast<const xmlChar*>(name.constData()),
            xmlXPathNewString(reinterpret_cast<const xmlChar*>(value.constData())));
    }
    const QByteArray expr = xpath.toUtf8();
    xmlXPathObjectPtr found =
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expr.constData()), xctx);
    if (!found || found->type != XPATH_NODESET) {
        if (ok)
            *ok = false;
        // libxml2 records where an XPath expression broke, but not a message.
        m_error = QStringLiteral("XPath 式が不正です（%1 文字目）: %2")
                      .arg(xctx->lastError.int1 + 1)
                      .arg(xpath);
    } else if (found->nodesetval) {
        for (int i = 0; i < found->nodesetval->nodeNr; ++i) {
            xmlNodePtr node = found->nodesetval->nodeTab[i];
            if (node->type == XML_ELEMENT_NODE)
                result.append(XmlElement(node));
        }
    }
    if (found)
        xmlXPathFreeObject(found);
    xmlXPathFreeContext(xctx);
    return result;
}

XmlElement XmlDocument::selectFirst(const QString& xpath, const XmlElement& context) const {
    const QList<XmlElement> found = select(xpath, context);
    return found.isEmpty() ? XmlElement() : found.first();
}

QByteArray XmlDocument::toBytes(bool* ok) const {
    if (ok)
        *ok = false;
    if (!m_doc) {
        m_error = QStringLiteral("保存する文書がありません");
        return {};
    }
    // The declaration is kept as the file had it, so the data file stays Shift_JIS.
    const char* encoding =
        m_doc->encoding ? reinterpret_cast<const char*>(m_doc->encoding) : "UTF-8";
    const bool cp932 = isCp932EncodingName(encoding);
    xmlChar* memory = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(m_doc, &memory, &size, cp932 ? "UTF-8" : encoding, 1);
    if (!memory || size <= 0) {
        if (memory)
            xmlFree(memory);
        m_error = QStringLiteral("文書を %1 で書き出せません").arg(QString::fromUtf8(encoding));
        return {};
    }
    QByteArray bytes(reinterpret_cast<const char*>(memory), size);
    xmlFree(memory);
    if (cp932) {
        // Serialised as UTF-8 first; the declaration gets its name back, then the bytes.
        const QByteArray utf8Declaration = "encoding=\"UTF-8\"";
        const qsizetype at = bytes.indexOf(utf8Declaration);
        if (at >= 0 && at < bytes.indexOf("?>"))
            bytes.replace(at, utf8Declaration.size(), "encoding=\"" + QByteArray(encoding) + '"');
        bytes = Cp932Codec::instance().encodeFromUtf8WithReferences(bytes);
    }
    if (ok)
        *ok = true;
    return bytes;
}

bool XmlDocument::save(const QString& path, FileIdentity* written) {
    bool ok = false;
    const QByteArray bytes = toBytes(&ok);
    if (!ok)
        return false;
    return writeFileAtomically(path, bytes, &m_error, written);
}

} // namespace vadok
