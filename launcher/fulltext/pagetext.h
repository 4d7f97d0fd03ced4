#pragma once

#include <QString>

namespace vadok {

// The text a reader sees of a page: tags, comments, scripts and style sheets removed, the
// common character references (named ones such as &amp; &lt; &gt; &quot; &nbsp; &copy;,
// and numeric ones) decoded; block tags end a line.
QString textOfPage(const QString& html);

} // namespace vadok
