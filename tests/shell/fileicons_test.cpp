#include "shell/fileicons.h"
#include "shell/iconpicture.h"

#include "iconfixtures.h"
#include "support/files.h"
#include "support/qtprinters.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vadok::test {
namespace {

// What each icon of a file looks like: the fixture PNG it was made from, compared at that
// picture's own size; "" for an icon that holds no image.
struct FileCase {
    const char* file;
    bool container;
    std::vector<const char*> pictures;
};

TEST(FileIcons, numbersAndDrawsTheIconsOfProgramsAndIconFiles) {
    const std::vector<FileCase> cases = {
        // APPICON (16 px), groups 1 (32), 2 (16 and 32) and 5 (1, 32 and a 256 PNG).
        {"groups64.exe", true, {"r16.png", "q32.png", "q32.png", "p32.png"}},
        {"groups32.exe", true, {"r16.png", "q32.png", "q32.png", "p32.png"}},
        {"twelve64.exe",
         true,
         {"c1.png", "c2.png", "c3.png", "c4.png", "c5.png", "c6.png", "c7.png", "c8.png", "c9.png",
          "c10.png", "c11.png", "c12.png"}},
        {"emptylast64.exe", true, {"q32.png", ""}},
        {"missingimage64.exe", true, {"q32.png", ""}},
        {"three.ico", true, {"p32.png"}},
        {"nores64.exe", true, {}},
        {"version64.exe", true, {}},
        {"notpe.txt", false, {}},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.file);
        const FileIcons icons(iconFixture(QString::fromUtf8(c.file)));
        EXPECT_EQ(icons.isIconContainer(), c.container);
        ASSERT_EQ(icons.count(), int(c.pictures.size()));
        for (int i = 0; i < icons.count(); ++i) {
            const QString png = QString::fromUtf8(c.pictures[size_t(i)]);
            if (png.isEmpty()) {
                EXPECT_TRUE(icons.picture(i).isNull()) << i;
                continue;
            }
            const QImage want = fixturePicture(png);
            EXPECT_EQ(argb(icons.picture(i, want.width())), want) << i;
        }
        EXPECT_TRUE(icons.icoFile(icons.count()).isEmpty());
        EXPECT_TRUE(icons.icoFile(-1).isEmpty());
    }
}

TEST(FileIcons, picksTheImageThatSuitsTheSizeAndStretchesSmallerOnes) {
    const FileIcons icons(iconFixture(u"groups64.exe"_qs));
    EXPECT_EQ(argb(icons.picture(3, 256)), fixturePicture(u"p256.png"_qs)) << "PNG image";
    EXPECT_EQ(argb(icons.picture(2, 16)), fixturePicture(u"r16.png"_qs));
    const QImage stretched = icons.picture(0, 32);
    EXPECT_EQ(stretched.size(), QSize(32, 32));
    EXPECT_EQ(stretched.pixel(31, 31), fixturePicture(u"r16.png"_qs).pixel(15, 15));
}

// An icon file is recognised by its bytes, and the letter case of a path does not matter.
TEST(FileIcons, findsIconFilesByContentAndPathsInOtherLetterCase) {
    QTemporaryDir dir;
    const QString plain = dir.filePath(u"picture"_qs);
    ASSERT_TRUE(QFile::copy(iconFixture(u"three.ico"_qs), plain));
    const FileIcons icoFile(plain);
    EXPECT_EQ(icoFile.count(), 1);
    EXPECT_EQ(icoFile.icoFile(0), readFile(plain));

    ASSERT_TRUE(QFile::copy(iconFixture(u"groups64.exe"_qs), dir.filePath(u"Tool.EXE"_qs)));
    EXPECT_EQ(FileIcons(dir.filePath(u"tool.exe"_qs)).count(), 4);

    EXPECT_FALSE(FileIcons(dir.filePath(u"missing.exe"_qs)).isIconContainer());
    EXPECT_FALSE(FileIcons(dir.path()).isIconContainer()) << "a folder";
    writeFile(dir.filePath(u"empty.ico"_qs), QByteArray("\0\0\1\0\0\0", 6));
    const FileIcons empty(dir.filePath(u"empty.ico"_qs));
    EXPECT_TRUE(empty.isIconContainer());
    EXPECT_EQ(empty.count(), 0);
}

TEST(FileIcons, writesTheChosenIconWholeAndReplacesAnOldFile) {
    QTemporaryDir dir;
    const QString target = dir.filePath(u"_temp.ico"_qs);
    writeFile(target, "old");
    const FileIcons icons(iconFixture(u"groups64.exe"_qs));

    ASSERT_TRUE(icons.writeIcoFile(3, target));
    EXPECT_EQ(readFile(target), icons.icoFile(3));
    const FileIcons written(target);
    ASSERT_EQ(written.count(), 1);
    EXPECT_EQ(argb(written.picture(0, 256)), fixturePicture(u"p256.png"_qs));

    EXPECT_FALSE(icons.writeIcoFile(4, target)) << "no such icon";
    EXPECT_FALSE(icons.writeIcoFile(0, dir.filePath(u"no/such/folder/x.ico"_qs)));
    EXPECT_EQ(readFile(target), icons.icoFile(3)) << "a failed write leaves the file";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{u"_temp.ico"_qs});
}

TEST(FileIcons, aPictureWrittenAsAnIconReadsBackTheSame) {
    QTemporaryDir dir;
    const QString target = dir.filePath(u"_temp.ico"_qs);
    const QImage picture = fixturePicture(u"c7.png"_qs);

    ASSERT_TRUE(writePictureAsIconFile(target, picture));
    EXPECT_EQ(argb(FileIcons(target).picture(0, 32)), picture);
    EXPECT_FALSE(writePictureAsIconFile(target + u"2"_qs, QImage()));
    EXPECT_FALSE(QFile::exists(target + u"2"_qs));
}

} // namespace
} // namespace vadok::test
