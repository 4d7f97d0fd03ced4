// The pieces a search is made of: folding, page text, and the texts read out of an archive.

#include "archivertestsupport.h"

#include "archiver/archiver.h"
#include "archiver/files/archivelock.h"
#include "fulltext/bundledtexts.h"
#include "fulltext/pagetext.h"
#include "fulltext/searchfold.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

#include "support/qtprinters.h"

using namespace vadok;
using vadok::test::storeCommand;

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

namespace {

QByteArray repeated(const char* piece, int times) {
    QByteArray bytes;
    bytes.reserve(int(std::strlen(piece)) * times);
    for (int i = 0; i < times; ++i)
        bytes.append(piece);
    return bytes;
}

constexpr int kMegabyte = 1024 * 1024;

} // namespace

// The hostile pages are each as large as a bundled text may be; the hand-written scan that
// came before spent minutes on the first two (it looked for the end of each "<" and "&" to
// the end of the page), and libxml2 alone spends minutes on the third.
TEST(PageText, dropsMarkupAndDecodesReferencesAndEndsOnHostilePages) {
    const struct {
        const char* name;
        QByteArray html;
        QString text;
    } cases[] = {
        {"references", "<p>a &amp; b &lt;c&gt; &quot;d&quot; &#x41;&#66; &hearts;&eacute;</p>",
         u"a & b <c> \"d\" AB ♥é"_qs},
        {"script", "x<script>var y = '<p>';</script>z", u"xz"_qs},
        {"style and comment", "<STYLE type=text/css>p{}</STYLE>a<!-- <p>hidden</p> -->b", u"ab"_qs},
        {"stray signs", "1 < 2 and &unknown; &", u"1 < 2 and &unknown; &"_qs},
        {"line break", "line<br>next", u"line\nnext"_qs},
        {"text after a title", "<title>T</title><p>a</p>", u"T\na"_qs},
        {"a charset declared after decoding", "<meta charset=shift_jis><p>日本語</p>", u"日本語"_qs},
        {"a megabyte of <", repeated("<", kMegabyte) + " end", QString(kMegabyte, u'<') + u"\n end"_qs},
        {"a megabyte of &", repeated("&", kMegabyte) + "end", QString(kMegabyte, u'&') + u"end"_qs},
        {"deep elements closed by stray end tags", "<p>kept" + repeated("<div>", kMegabyte / 10) +
                                                   repeated("</span>", kMegabyte / 14) + "lost",
         u"kept"_qs},
    };
    for (const auto& c : cases) {
        const QString text = textOfPage(QString::fromUtf8(c.html));
        // A megabyte of text on failure would hide the rest.
        EXPECT_TRUE(text == c.text) << c.name << ": " << text.size() << " characters: "
                                    << text.left(40).toStdString() << "…" << text.right(40).toStdString();
    }
}

// A store waits for the archive's lock; it must not wait while pages are turned into text or
// while the index is busy with what was read.
TEST(ArchiveTexts, theArchiveIsFreeForAStoreWhileItsTextsAreHandedOn) {
    QTemporaryDir dir;
    const QString source = dir.path() + u"/src"_qs;
    QDir().mkpath(source);
    for (const char* name : {"a.txt", "b.html"}) {
        QFile file(source + u'/' + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("words");
    }
    const QString archive = dir.path() + u"/app.lzh"_qs;
    ASSERT_EQ(Unlha(nullptr,
                    storeCommand(QFile::encodeName(archive).toStdString(),
                                 QFile::encodeName(source).toStdString()),
                    nullptr, 0),
              ArchiverOk);

    QStringList handed;
    const TextsRead read = readArchiveTexts(archive, kMegabyte, [&](const QString& name, const QString&) {
        archiver::ArchiveLock store;
        EXPECT_EQ(store.take(QFile::encodeName(archive).toStdString(),
                             archiver::ArchiveLock::Kind::Exclusive, {std::chrono::milliseconds(0), {}}),
                  ArchiverOk)
            << name.toStdString();
        handed << name;
        return true;
    });
    EXPECT_EQ(handed, (QStringList{u"a.txt"_qs, u"b.html"_qs}));
    EXPECT_EQ(read.bytes, 10);
    EXPECT_FALSE(read.cut);
}
