// The pieces a search is made of: folding and page text.

#include "fulltext/pagetext.h"
#include "fulltext/searchfold.h"

#include <gtest/gtest.h>

#include "support/qtprinters.h"

using namespace vadok;

TEST(SearchFold, foldsWidthCaseAndVoicedKanaAndTracesBack) {
    const struct {
        QString text;
        QString folded;
    } cases[] = {
        {QStringLiteral("ReadMe"), QStringLiteral("readme")},
        {QStringLiteral("ＲｅａｄＭｅ １２３"), QStringLiteral("readme 123")},
        {QStringLiteral("ｶﾞｲﾄﾞ ﾊﾟｽ"), QStringLiteral("ガイド パス")},
        {QStringLiteral("ガイド"), QStringLiteral("ガイド")},
        {QStringLiteral("全角　空白"), QStringLiteral("全角 空白")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(foldForSearch(c.text), c.folded) << c.text.toStdString();
        const FoldedText traced = foldTracing(c.text);
        EXPECT_EQ(traced.text, c.folded) << c.text.toStdString();
        ASSERT_EQ(traced.origin.size(), std::size_t(traced.text.size()) + 1);
        EXPECT_EQ(traced.origin.back(), c.text.size());
    }
    // Each folded character comes from the original one that made it.
    const FoldedText kana = foldTracing(QStringLiteral("xｶﾞy"));
    EXPECT_EQ(kana.origin, (std::vector<int>{0, 1, 3, 4}));
}

TEST(PageText, dropsMarkupAndDecodesReferences) {
    const struct {
        const char* html;
        const char* text;
    } cases[] = {
        {"<p>a &amp; b &lt;c&gt; &quot;d&quot; &#x41;&#66;</p>", "\na & b <c> \"d\" AB\n"},
        {"x<script>var y = '<p>';</script>z", "xz"},
        {"<STYLE type=text/css>p{}</STYLE>a<!-- <p>hidden</p> -->b", "ab"},
        {"1 < 2 and &unknown; &", "1 < 2 and &unknown; &"},
        {"line<br>next", "line\nnext"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textOfPage(QString::fromUtf8(c.html)), QString::fromUtf8(c.text)) << c.html;
}
