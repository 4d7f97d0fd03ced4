#pragma once

#include <QString>

namespace vadok {

// The text a reader sees of a page, as libxml2's HTML parser reads it: tags, comments,
// scripts and style sheets removed, character references decoded; block tags end a line.
// Linear in the page however it is written; a page whose markup would cost more than that
// gives the text read up to where it stopped.
QString textOfPage(const QString& html);

} // namespace vadok
