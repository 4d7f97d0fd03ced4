#include "platform/filekind.h"
#include "platform/shellopen.h"
#include "support/tempprogramfolder.h"

#include <gtest/gtest.h>

namespace vadok {
namespace {

TEST(FileCase, pathsInOtherLetterCaseResolveToTheFileOnDisk) {
    test::TempProgramFolder folder;
    folder.writeFile(QStringLiteral("Sub Dir/Tool.EXE"), "x");
    folder.writeFile(QStringLiteral(".hidden.exe"), "x");
    const QString exact = folder.file(QStringLiteral("Sub Dir/Tool.EXE"));
    const QList<std::pair<QString, QString>> cases = {
        {exact, exact},
        {folder.file(QStringLiteral("sub dir/tool.exe")), exact},
        {folder.path().toLower() + QStringLiteral("sub dir/tool.exe"), exact},
        {folder.file(QStringLiteral("sub dir/other.exe")), QString()},
    };
    for (const auto& [asked, resolved] : cases)
        EXPECT_EQ(ResolvePathIgnoringCase(asked), resolved) << asked.toStdString();

    EXPECT_TRUE(isNormalFile(exact));
    EXPECT_FALSE(isNormalFile(folder.file(QStringLiteral(".hidden.exe"))));
    EXPECT_FALSE(isNormalFile(folder.file(QStringLiteral("Sub Dir"))));
}

} // namespace
} // namespace vadok
