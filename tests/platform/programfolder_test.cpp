#include "platform/programfolder.h"

#include <gtest/gtest.h>

namespace vadok {
namespace {

TEST(DataFolderRule, portableKeepsDataBesideTheBinaryInstalledInTheUsersDataFolder) {
    const QString home = QStringLiteral("/home/u");
    const struct {
        const char* binary;
        const char* xdgDataHome;
        const char* expected;
    } cases[] = {
        {"/media/stick/vadok", "/home/u/xdg", "/media/stick/vadok/"},
        {"/home/u/src/vadok/build/bin/", "", "/home/u/src/vadok/build/bin/"},
        {"/usrdata/vadok", "", "/usrdata/vadok/"},
        {"/home/u/usr/bin", "", "/home/u/usr/bin/"},
        {"/usr/bin", "/home/u/xdg", "/home/u/xdg/vadok/"},
        {"/usr/bin/", "/home/u/xdg/", "/home/u/xdg/vadok/"},
        {"/usr/local/bin", "", "/home/u/.local/share/vadok/"},
        // A relative XDG_DATA_HOME is to be ignored, not taken from the working folder.
        {"/usr/bin", "xdg", "/home/u/.local/share/vadok/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dataFolderFor(QString::fromUtf8(c.binary), QString::fromUtf8(c.xdgDataHome), home),
                  QString::fromUtf8(c.expected))
            << c.binary << " with XDG_DATA_HOME=" << c.xdgDataHome;
    }
}

TEST(DataFolderRule, programFilesAreFoundWhereEachWayPutsThem) {
    setBinaryFolder(QString());
    setProgramFolder(QStringLiteral("/media/stick/vadok"));
    EXPECT_EQ(binaryFolder(), QStringLiteral("/media/stick/vadok/"));
    EXPECT_EQ(helpFolder(), QStringLiteral("/media/stick/vadok/help/"));

    setBinaryFolder(QStringLiteral("/usr/bin"));
    setProgramFolder(QStringLiteral("/home/u/.local/share/vadok/"));
    EXPECT_EQ(binaryFolder(), QStringLiteral("/usr/bin/"));
    EXPECT_EQ(helpFolder(), QStringLiteral("/usr/share/vadok/help/"));
    setBinaryFolder(QString());
}

} // namespace
} // namespace vadok
