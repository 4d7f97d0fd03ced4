#include "util/conflictcopies.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vadok {
namespace {

TEST(ConflictCopies, namesEachEngineGivesLeadBackToTheOriginal) {
    const std::pair<const char*, const char*> cases[] = {
        {"vadok.sync-conflict-20261208-101500-ABCDEFG.xml", "vadok.xml"},
        {"vadok (conflicted copy 2026-12-08 101500).xml", "vadok.xml"},
        {"vadok (laptop's conflicted copy 2026-12-08).xml", "vadok.xml"},
        {"Demo Tool.sync-conflict-20261208-101500-ABCDEFG.lzh", "Demo Tool.lzh"},
        {"Demo (conflicted copy 2026-12-08 101500).lzh", "Demo.lzh"},
        {"Readme.sync-conflict-20261208-101500-ABCDEFG", "Readme"},
        // not conflict copies
        {"vadok.xml", ""},
        {"vadok.xml.old", ""},
        {"sync-conflict.xml", ""},
        {"Demo (copy).lzh", ""},
    };
    for (const auto& [name, original] : cases)
        EXPECT_EQ(conflictCopyOriginal(QString::fromUtf8(name)), QString::fromUtf8(original))
            << name;
}

TEST(ConflictCopies, areFoundBesideTheirOriginalOnly) {
    QTemporaryDir dir;
    for (const char* name :
         {"vadok.xml", "vadok.sync-conflict-20261208-101500-ABCDEFG.xml",
          "vadok (conflicted copy 2026-12-08 101500).xml", "other.sync-conflict-1-2-3.xml",
          "Demo.sync-conflict-20261208-101500-ABCDEFG.lzh", "Demo.lzh"}) {
        QFile file(dir.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QStringList copies = conflictCopiesOf(dir.filePath(QStringLiteral("vadok.xml")));
    copies.sort();
    EXPECT_EQ(
        copies,
        QStringList(
            {dir.filePath(QStringLiteral("vadok (conflicted copy 2026-12-08 101500).xml")),
             dir.filePath(QStringLiteral("vadok.sync-conflict-20261208-101500-ABCDEFG.xml"))}));

    const QList<ConflictCopy> archives = conflictCopiesIn(dir.path(), QStringLiteral(".lzh"));
    ASSERT_EQ(archives.size(), 1);
    EXPECT_EQ(archives[0].originalPath, dir.filePath(QStringLiteral("Demo.lzh")));
}

} // namespace
} // namespace vadok
