// What a search finds and in which order: the tiers, the all-words rule, width and case,
// the three encodings of bundled texts, and pages without their markup.

#include "fulltextfixture.h"

#include "catalog/cp932codec.h"
#include "catalog/settings.h"
#include "fulltext/indexfiles.h"

#include <QDir>

using namespace vadok;
using namespace vadok::test;

namespace {

QByteArray utf16le(const QString& text) {
    QByteArray bytes("\xFF\xFE", 2);
    for (const QChar c : text)
        bytes.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
    return bytes;
}

QString marked(const FullTextHit& hit) {
    QString out = hit.excerpt;
    for (auto it = hit.marks.crbegin(); it != hit.marks.crend(); ++it)
        out.insert(it->first + it->second, u']').insert(it->first, u'[');
    return out;
}

} // namespace

class FullTextSearchTest : public FullTextFixture {};

TEST_F(FullTextSearchTest, titleHitsRankAboveNotesAboveBundledTextsThenMoreWordsFirst) {
    addApp(QStringLiteral("Packer"), QString(), {{"readme.txt", "A zipper inside.\r\n"}});
    addApp(QStringLiteral("Squeezer"), QString(),
           {{"doc/manual.txt", "zipper zipper zipper: the zipper of zippers.\r\n"}});
    addApp(QStringLiteral("Compressor"), QStringLiteral("a zipper for files"));
    addApp(QStringLiteral("Zipper Tool"), QString());
    addApp(QStringLiteral("Unrelated"), QStringLiteral("nothing here"), {{"readme.txt", "zip"}});
    update();

    const std::vector<FullTextHit> hits = index->query(QStringLiteral("zipper")).hits;
    ASSERT_EQ(hits.size(), 4u);
    const struct {
        const char* title;
        QString place;
        QString excerpt;
    } expected[] = {
        {"Zipper Tool", QStringLiteral("名称"), QStringLiteral("[Zipper] Tool")},
        {"Compressor", QStringLiteral("説明"), QStringLiteral("a [zipper] for files")},
        {"Squeezer", QStringLiteral("doc/manual.txt"),
         QStringLiteral("[zipper] [zipper] [zipper]: the [zipper] of [zipper]s.")},
        {"Packer", QStringLiteral("readme.txt"), QStringLiteral("A [zipper] inside.")},
    };
    for (std::size_t i = 0; i < hits.size(); ++i) {
        EXPECT_EQ(hits[i].title, QString::fromUtf8(expected[i].title)) << i;
        EXPECT_EQ(hits[i].place, expected[i].place) << i;
        EXPECT_EQ(marked(hits[i]), expected[i].excerpt) << i;
    }
}

TEST_F(FullTextSearchTest, everyWordMustOccurSomewhereInTheApplication) {
    // More words than a 64-bit mask has bits, every one of them in the readme.
    QByteArray many, manyPlusOne;
    for (int i = 0; i < 70; ++i)
        many += "word" + QByteArray::number(i) + ' ';
    manyPlusOne = many + "absent";
    addApp(QStringLiteral("Viewer"), QStringLiteral("image viewer"),
           {{"readme.txt", "Supports PNG and JPEG.\r\n"}});
    addApp(QStringLiteral("Painter"), QStringLiteral("draws images"),
           {{"readme.txt", "Saves PNG only.\r\n"}, {"words.txt", many}});
    update();
    const struct {
        const char* query;
        QStringList found;
    } cases[] = {
        {many.constData(), {QStringLiteral("Painter")}},
        {manyPlusOne.constData(), {}},
        {"viewer png", {QStringLiteral("Viewer")}},            // notes and a text
        {"png", {QStringLiteral("Painter"), QStringLiteral("Viewer")}},
        {"png gif", {}},                                        // one word nowhere
        {"  image   png  ", {QStringLiteral("Painter"), QStringLiteral("Viewer")}},
        {"jpeg pn", {QStringLiteral("Viewer")}},                // a short word among long ones
        {"", {}},
    };
    for (const auto& c : cases) {
        QStringList got = titles(QString::fromUtf8(c.query));
        got.sort();
        EXPECT_EQ(got, c.found) << c.query;
    }
}

TEST_F(FullTextSearchTest, fullAndHalfWidthAndUpperAndLowerCaseMatchEachOther) {
    addApp(QStringLiteral("ＦｕｌｌＷｉｄｔｈ"), QString(),
           {{"readme.txt", QStringLiteral("ｶﾞｲﾄﾞを読んでください。Version ２．０\r\n").toUtf8()}});
    addApp(QStringLiteral("Plain"), QStringLiteral("README first, ガイド second"));
    update();
    const struct {
        const char* query;
        QStringList found;
    } cases[] = {
        {"fullwidth", {QStringLiteral("ＦｕｌｌＷｉｄｔｈ")}},
        {"ＷＩＤＴＨ", {QStringLiteral("ＦｕｌｌＷｉｄｔｈ")}},
        {"ガイド", {QStringLiteral("Plain"), QStringLiteral("ＦｕｌｌＷｉｄｔｈ")}},
        {"ｶﾞｲﾄﾞ", {QStringLiteral("Plain"), QStringLiteral("ＦｕｌｌＷｉｄｔｈ")}},
        {"ｒｅａｄｍｅ", {QStringLiteral("Plain")}},
        {"version 2.0", {QStringLiteral("ＦｕｌｌＷｉｄｔｈ")}},
        {"Ｒｅ", {QStringLiteral("Plain")}},  // two characters: the substring scan
        {"ｆ", {QStringLiteral("Plain"), QStringLiteral("ＦｕｌｌＷｉｄｔｈ")}},
    };
    for (const auto& c : cases) {
        QStringList got = titles(QString::fromUtf8(c.query));
        got.sort();
        QStringList want = c.found;
        want.sort();
        EXPECT_EQ(got, want) << c.query;
    }
    // The excerpt shows the text as written, the words marked where they stand in it.
    const std::vector<FullTextHit> hits = index->query(QStringLiteral("ガイド ２．０")).hits;
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(marked(hits[0]), QStringLiteral("[ｶﾞｲﾄﾞ]を読んでください。Version [２．０]"));
}

TEST_F(FullTextSearchTest, bundledTextsAreReadInEachEncodingAndPagesWithoutMarkup) {
    const QString words = QStringLiteral("圧縮ツールの使い方");
    addApp(QStringLiteral("ShiftJis"), QString(),
           {{"README.TXT", Cp932Codec::instance().fromUnicode(words)}});
    addApp(QStringLiteral("Utf8"), QString(), {{"doc/readme.md", words.toUtf8()}});
    addApp(QStringLiteral("NoEnding"), QString(), {{"pkg/LIESMICH", words.toUtf8()}});
    addApp(QStringLiteral("Utf16"), QString(), {{"readme.txt", utf16le(words)}});
    addApp(QStringLiteral("Page"), QString(),
           {{"help/index.HTML",
             "<html><head><title>x</title><style>p { color: red }</style></head><body>"
             "<p>Tom &amp; Jerry&#39;s <b>" + words.toUtf8() + "</b></p></body></html>"}});
    addApp(QStringLiteral("Other"), QString(),
           {{"words.dat", words.toUtf8()}, {"big.txt", QByteArray(1024 * 1024 + 1, 'x') + words.toUtf8()}});
    update();

    QStringList found = titles(QStringLiteral("ツールの使い"));
    found.sort();
    EXPECT_EQ(found, (QStringList{"NoEnding", "Page", "ShiftJis", "Utf16", "Utf8"}));
    const std::vector<FullTextHit> page = index->query(QStringLiteral("jerry's")).hits;
    ASSERT_EQ(page.size(), 1u);
    EXPECT_EQ(page[0].place, QStringLiteral("help/index.HTML"));
    EXPECT_EQ(marked(page[0]), QStringLiteral("Tom & [Jerry's] 圧縮ツールの使い方"));
    EXPECT_TRUE(titles(QStringLiteral("color")).isEmpty()) << "style sheets are no text";
    EXPECT_TRUE(titles(QStringLiteral("body")).isEmpty()) << "tags are no text";
}

// Texts are taken up to a budget per application and for the index as a whole; what does not
// fit is left out, and the application is named as cut. An archive like the one of 300 texts
// of almost a megabyte each made an index of 900 MB.
TEST_F(FullTextSearchTest, textsBeyondTheBudgetAreLeftOutAndTheApplicationNamedAsCut) {
    // Ten texts of 1,000 bytes, each with a word of its own.
    TextFiles ten;
    for (int i = 0; i < 10; ++i)
        ten.append({QStringLiteral("t%1.txt").arg(i),
                    QStringLiteral("own%1 ").arg(i).toUtf8().leftJustified(1000, '.')});
    const struct {
        const char* name;
        qint64 appLimit;
        qint64 indexLimit;
        bool expanded;       // Many is read from its folder rather than its archive
        QStringList found;   // by "own0" ... "own3" and "elsewhere"
        QStringList cut;
    } cases[] = {
        {"an archive taken up to its budget", 3000, 1 << 20, false,
         {"Many", "Many", "Many", "", "Other"}, {"Many"}},
        {"a folder taken up to its budget", 3000, 1 << 20, true,
         {"Many", "Many", "Many", "", "Other"}, {"Many"}},
        {"the index as a whole", 1 << 20, 10500, false,
         {"Many", "Many", "Many", "Many", ""}, {"Other"}},
        {"within both budgets", 1 << 20, 1 << 20, false,
         {"Many", "Many", "Many", "Many", "Other"}, {}},
    };
    addApp(QStringLiteral("Many"), QString(), ten);
    addApp(QStringLiteral("Other"), QString(), {{"readme.txt", QByteArray("elsewhere").leftJustified(1000, '.')}});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FullTextOptions options;
        options.appTextLimit = c.appLimit;
        options.indexTextLimit = c.indexLimit;
        reopen(options);
        removeIndexEntries(dbPath());
        QDir(settings().ExecDir + QStringLiteral("Many")).removeRecursively();
        if (c.expanded)
            expand(QStringLiteral("Many"), ten);
        update();
        QStringList found;
        for (const char* word : {"own0", "own1", "own2", "own3", "elsewhere"})
            found << titles(QString::fromLatin1(word)).join(u',');
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(index->cutApplications(), c.cut);
    }
}
