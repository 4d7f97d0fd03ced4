#include "apps/referencetexts.h"

#include "catalog/cp932codec.h"
#include "support/files.h"
#include "support/qtprinters.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vadok::test {
namespace {

QByteArray numberedLines(int count, const char* end) {
    QByteArray bytes;
    for (int i = 1; i <= count; ++i)
        bytes += QByteArray::number(i) + end;
    return bytes;
}

QString shownLines(int count) {
    QString text;
    for (int i = 1; i <= count; ++i)
        text += QString::number(i) + QStringLiteral("\r\n");
    return text;
}

TEST(ReferenceText, showsAtMostTheLineLimitAndSaysWhenItStopped) {
    const struct {
        QByteArray bytes;
        QString shown;
    } cases[] = {
        {numberedLines(1500, "\r\n"), shownLines(1001) + QStringLiteral("【読み込みを中断しました】")},
        {numberedLines(1002, "\n"), shownLines(1001) + QStringLiteral("【読み込みを中断しました】")},
        // Exactly the limit: nothing was left out.
        {numberedLines(1001, "\n"), shownLines(1001)},
        {numberedLines(1000, "\r") + "1001", shownLines(1001)},
        // Every kind of line end, empty lines kept.
        {"a\r\n\r\nb\n\nc\r\rd", QStringLiteral("a\r\n\r\nb\r\n\r\nc\r\n\r\nd\r\n")},
        {QByteArray(), QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReferenceText(c.bytes), c.shown) << c.bytes.left(40).toStdString();
}

TEST(ReferenceText, readsUtf8WhenValidAndWindowsJapaneseOtherwise) {
    const QString japanese = QStringLiteral("使い方：ダブルクリックで起動");
    const QByteArray cp932 = Cp932Codec::instance().fromUnicode(japanese);
    ASSERT_NE(cp932, japanese.toUtf8());
    EXPECT_EQ(DecodeReferenceBytes(japanese.toUtf8()), japanese);
    EXPECT_EQ(DecodeReferenceBytes("\xEF\xBB\xBF" + japanese.toUtf8()), japanese) << "byte order mark";
    EXPECT_EQ(DecodeReferenceBytes(cp932), japanese);
    EXPECT_EQ(ReferenceText(cp932 + "\r\n" + cp932), japanese + QStringLiteral("\r\n") + japanese +
                                                         QStringLiteral("\r\n"));

    // A page says how it is written; without a declaration it is read like a text.
    const QByteArray declared = "<html><head><meta charset=\"Shift_JIS\"></head><body>" + cp932 +
                                "</body></html>";
    EXPECT_TRUE(ReferencePage(declared).contains(japanese));
    EXPECT_TRUE(ReferencePage("<p>" + cp932 + "</p>").contains(japanese));
    EXPECT_TRUE(ReferencePage("<p>" + japanese.toUtf8() + "</p>").contains(japanese));
}

TEST(ReferenceText, readsUtf16InTheByteOrderItsMarkNames) {
    const QString japanese = QStringLiteral("使い方：ダブルクリックで起動 (v1.0)");
    QByteArray little("\xFF\xFE", 2);
    QByteArray big("\xFE\xFF", 2);
    for (const QChar c : japanese) {
        const char lo = static_cast<char>(c.unicode() & 0xFF);
        const char hi = static_cast<char>(c.unicode() >> 8);
        little.append(lo).append(hi);
        big.append(hi).append(lo);
    }
    EXPECT_EQ(DecodeReferenceBytes(little), japanese);
    EXPECT_EQ(DecodeReferenceBytes(big), japanese);
    EXPECT_EQ(ReferenceText(little), japanese + QStringLiteral("\r\n"));
    EXPECT_EQ(ReferencePage(little), japanese);
}

TEST(ReferenceFiles, listsTextsFirstThenPagesEachShallowFirstAndByName) {
    QTemporaryDir dir;
    for (const char* name :
         {"readme.txt", "READ.TXT", "help.html", "index.htm", "a.doc", "notes.txt.bak",
          ".hidden.txt", "Changes.Txt", "COPYING", "Makefile", "usage.md", "sub/inner.txt",
          "sub/LIESMICH", "sub/deeper/x/page.HTML", ".git/README"})
        writeFile(dir.filePath(QString::fromUtf8(name)), "x");
    // A link may lead anywhere: it is never listed, and so never read.
    ASSERT_TRUE(
        QFile::link(QStringLiteral("/etc/hostname"), dir.filePath(QStringLiteral("link.txt"))));
    EXPECT_EQ(ReferenceFiles(dir.path()),
              (QStringList{"Changes.Txt", "COPYING", "READ.TXT", "readme.txt", "usage.md",
                           "sub/inner.txt", "sub/LIESMICH", "help.html", "index.htm",
                           "sub/deeper/x/page.HTML"}));
}

} // namespace
} // namespace vadok::test
