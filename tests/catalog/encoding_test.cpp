#include "catalog/cp932codec.h"
#include "catalog/datafile.h"
#include "catalog/xmldocument.h"
#include "catalogfixture.h"

#include <gtest/gtest.h>

namespace vadok::test {
namespace {

using EncodingTest = CatalogTest;

TEST_F(EncodingTest, templateIsWrittenByteForByteInCp932WithCrLf) {
    ASSERT_TRUE(CreateDataFileFromTemplate());
    const QByteArray expected = QByteArray("<?xml version=\"1.0\" encoding=\"Shift_JIS\" ?>\r\n"
                                           "<Vadok dataversion=\"4\">\r\n"
                                           "  <Folders>\r\n"
                                           "    <Folder Name=\"") +
                                QByteArray::fromHex("838183438393") + // メイン
                                QByteArray("\" Parent=\"ROOT\" />\r\n"
                                           "  </Folders>\r\n"
                                           " <Apps>\r\n"
                                           " </Apps>\r\n"
                                           "</Vadok>\r\n");
    EXPECT_EQ(dataFileBytes().toHex().toStdString(), expected.toHex().toStdString());
}

TEST_F(EncodingTest, windowsCharactersAndKanjiSurviveLoadAndSaveAsCp932Bytes) {
    // ① ～ ㈱ 漢字 as code page 932 writes them; glibc's strict SHIFT_JIS refuses the first
    // and third and reads the second as a different character.
    const QByteArray cp932Text = QByteArray::fromHex("87408160878a8abf8e9a");
    folder.writeFile(QStringLiteral("vadok.xml"),
                     QByteArray("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Vadok><Apps>"
                                "<App><Name>") +
                         cp932Text + "</Name></App></Apps></Vadok>\r\n");
    XmlDocument doc;
    ASSERT_TRUE(doc.load(dataFilePath())) << doc.errorString().toStdString();
    XmlElement name = doc.selectFirst(QStringLiteral("//Name"));
    EXPECT_EQ(name.text(), QStringLiteral("①～㈱漢字"));

    doc.selectFirst(QStringLiteral("//App"))
        .appendChild(QStringLiteral("Exec"))
        .setText(QStringLiteral("x"));
    ASSERT_TRUE(doc.save(dataFilePath()));
    const QByteArray saved = dataFileBytes();
    EXPECT_TRUE(saved.startsWith("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>"));
    EXPECT_TRUE(saved.contains(cp932Text)) << saved.toStdString();
    EXPECT_EQ(reload()->selectFirst(QStringLiteral("//Name")).text(), QStringLiteral("①～㈱漢字"));
}

TEST(Cp932CodecTest, charactersAtEachEndOfTheLeadByteRangesRoundTrip) {
    // First and last lead byte of both double-byte ranges (0x81-0x9F, 0xE0-0xFC), each with
    // the lowest and highest trail byte: a lead byte taken for a single one splits the pair.
    const QByteArray bytes = QByteArray::fromHex("81408141" "9f409ffc" "e040e0fc" "fc40fc4b");
    const QString text = QStringLiteral("\u3000、檗滌漾珱髜黑");
    const Cp932Codec& codec = Cp932Codec::instance();
    EXPECT_EQ(codec.toUnicode(bytes), text);
    EXPECT_EQ(codec.fromUnicode(text).toHex(), bytes.toHex());
}

TEST(Cp932CodecTest, keepsOnlyMappingsThatRoundTrip) {
    const Cp932Codec& codec = Cp932Codec::instance();
    ASSERT_TRUE(codec.isAvailable());
    const struct {
        char32_t character;
        const char* bytes; // hex; empty: written as a character reference
    } cases[] = {
        {U'A', "41"}, {U'\\', "5c"},   {U'①', "8740"},  {U'～', "8160"}, {U'㈱', "878a"},
        {U'ｱ', "b1"}, {U'髙', "fbfc"}, {U'￢', "81ca"}, {U'¥', ""},      {U'〜', ""},
        {U'¬', ""},   {U'‖', ""},      {U'é', ""},      {U'😀', ""},
    };
    for (const auto& c : cases) {
        unsigned char out[2];
        const int n = codec.encode(c.character, out);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(out), n).toHex(), QByteArray(c.bytes))
            << std::hex << quint32(c.character);
    }
    QByteArray utf8;
    qsizetype bad = -1;
    EXPECT_FALSE(codec.decodeToUtf8(QByteArray("ab\x87\x40\xa0z"), &utf8, &bad));
    EXPECT_EQ(bad, 4);
    EXPECT_FALSE(codec.decodeToUtf8(QByteArray("ab\x87"), &utf8, &bad)); // cut after a lead byte
    EXPECT_EQ(bad, 2);
    EXPECT_EQ(codec.encodeFromUtf8WithReferences(QStringLiteral("x¥①").toUtf8()),
              QByteArray("x&#165;\x87\x40"));
}

TEST_F(EncodingTest, everyShiftJisSpellingReadsAsCp932) {
    for (const char* spelling :
         {"Shift_JIS", "SHIFT_JIS", "shift_jis", "Shift-JIS", "SJIS", "Windows-31J", "MS932"}) {
        XmlDocument doc;
        const QByteArray bytes = QByteArray("<?xml version=\"1.0\" encoding=\"") + spelling +
                                 "\"?><a>" + QByteArray::fromHex("8740") + "</a>";
        ASSERT_TRUE(doc.loadBytes(bytes)) << spelling << ": " << doc.errorString().toStdString();
        EXPECT_EQ(doc.documentElement().text(), QStringLiteral("①")) << spelling;
    }
}

TEST_F(EncodingTest, charactersOutsideCp932AreWrittenAsReferencesAndReadBackUnchanged) {
    // The yen sign and the wave dash are the treacherous ones: iconv would write them as
    // bytes that read back as "\" and "～".
    const QString awkward = QStringLiteral("é 😀 ¥100 〜 ‖ & < > \" '");
    writeDataFile(appsFile(QString()));
    {
        XmlDocument doc;
        ASSERT_TRUE(doc.load(dataFilePath()));
        XmlElement app =
            doc.selectFirst(QStringLiteral("//Apps")).appendChild(QStringLiteral("App"));
        app.appendChild(QStringLiteral("Name")).setText(awkward);
        app.setAttribute(QStringLiteral("note"), awkward);
        ASSERT_TRUE(doc.save(dataFilePath()));
    }
    const QByteArray saved = dataFileBytes();
    EXPECT_TRUE(saved.contains("&#233;")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("&#165;100"));
    EXPECT_FALSE(saved.contains("\\100"));
    auto doc = reload();
    EXPECT_EQ(doc->selectFirst(QStringLiteral("//App/Name")).text(), awkward);
    EXPECT_EQ(doc->selectFirst(QStringLiteral("//App")).attribute(QStringLiteral("note")), awkward);
}

TEST_F(EncodingTest, controlCharactersAreDroppedSoTheFileStaysReadable) {
    XmlDocument doc;
    ASSERT_TRUE(doc.loadBytes("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a/>"));
    doc.documentElement().setText(QStringLiteral("a\x01") + QChar(0xFFFF) + QStringLiteral("\tb"));
    ASSERT_TRUE(doc.save(dataFilePath()));
    EXPECT_EQ(reload()->documentElement().text(), QStringLiteral("a\tb"));
}

TEST_F(EncodingTest, damagedFilesLoadAsEmptyDocumentsWithAReason) {
    const QByteArray good = Cp932Codec::instance().fromUnicode(
        appsFile(QStringLiteral("<App><Name>漢字</Name></App>")));
    QByteArray invalidBytes = good;
    invalidBytes.replace(Cp932Codec::instance().fromUnicode(QStringLiteral("漢字")),
                         "\x85\x20\xFF");
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"truncated", good.left(good.size() / 2)},
        {"invalid CP932 bytes", invalidBytes},
        {"not XML", "just text"},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        XmlDocument doc;
        EXPECT_FALSE(doc.loadBytes(c.bytes, QStringLiteral("vadok.xml"))) << c.name;
        EXPECT_TRUE(doc.documentElement().isNull()) << c.name;
        EXPECT_TRUE(doc.select(QStringLiteral("//App")).isEmpty()) << c.name;
        EXPECT_FALSE(doc.errorString().isEmpty()) << c.name;
    }
}

} // namespace
} // namespace vadok::test
