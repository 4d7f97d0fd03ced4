#include "fulltext/pagetext.h"

#include <libxml/HTMLparser.h>

#include <cstring>
#include <mutex>

namespace vadok {

namespace {

// libxml2 ignores an end tag that closes nothing open only after comparing it with every
// element still open: a page of thousands of unclosed elements followed by thousands of
// stray end tags costs their product. Each complaint is charged the number of open
// elements, and the parse stops when a page has spent this much; ordinary pages, however
// untidy, stay far below it.
constexpr long long kComplaintBudget = 16LL * 1024 * 1024;

struct Reading {
    htmlParserCtxtPtr parser = nullptr;
    QByteArray text; // UTF-8
    long long budget = kComplaintBudget;
};

bool isBlock(const char* name) {
    static const char* const blocks[] = {"br", "p", "div", "li", "tr", "h1", "h2", "h3", "h4",
                                         "h5", "h6", "pre", "table", "ul", "ol", "dt", "dd", "hr",
                                         "title", "blockquote", "td", "th"};
    for (const char* b : blocks)
        if (std::strcmp(name, b) == 0)
            return true;
    return false;
}

void endLine(Reading& r) {
    if (!r.text.isEmpty() && !r.text.endsWith('\n'))
        r.text.append('\n');
}

void startElement(void* self, const xmlChar* name, const xmlChar**) {
    if (isBlock(reinterpret_cast<const char*>(name)))
        endLine(*static_cast<Reading*>(self));
}

void endElement(void* self, const xmlChar* name) {
    if (isBlock(reinterpret_cast<const char*>(name)))
        endLine(*static_cast<Reading*>(self));
}

void characters(void* self, const xmlChar* chars, int length) {
    static_cast<Reading*>(self)->text.append(reinterpret_cast<const char*>(chars), length);
}

// Scripts and style sheets arrive here, and are no text a reader sees.
void rawBlock(void*, const xmlChar*, int) {}

void complaint(void* self, xmlErrorPtr) {
    Reading& r = *static_cast<Reading*>(self);
    r.budget -= 1 + r.parser->nameNr;
    if (r.budget < 0)
        xmlStopParser(r.parser);
}

} // namespace

QString textOfPage(const QString& html) {
    // Pages are read on the index's threads; libxml2 must be set up once, before any of them.
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
    const QByteArray utf8 = html.toUtf8();
    htmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    // Marked as a SAX2 handler so that libxml2 hands its complaints to serror; elements still
    // come through the HTML parser's own startElement.
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElement = startElement;
    sax.endElement = endElement;
    sax.characters = characters;
    sax.ignorableWhitespace = characters;
    sax.cdataBlock = rawBlock;
    sax.serror = complaint;
    Reading reading;
    reading.parser = htmlCreatePushParserCtxt(&sax, &reading, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    if (!reading.parser)
        return {};
    // The text is decoded already: a charset the page declares is not applied a second time.
    // Implied elements stay: without them, text after a style sheet or title is taken for
    // part of a head and dropped.
    htmlCtxtUseOptions(reading.parser, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                           HTML_PARSE_IGNORE_ENC);
    htmlParseChunk(reading.parser, utf8.constData(), static_cast<int>(utf8.size()), 1);
    htmlFreeParserCtxt(reading.parser);
    if (reading.text.endsWith('\n'))
        reading.text.chop(1);
    return QString::fromUtf8(reading.text);
}

} // namespace vadok
