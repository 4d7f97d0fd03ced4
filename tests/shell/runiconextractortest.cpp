#include "shell/runiconextractor.h"

#include "platform/programfolder.h"
#include "support/scriptedprompter.h"
#include "support/tempprogramfolder.h"

#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

namespace vadok {
namespace {

class RunIconExtractorTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = iconExtractorWait();
        IconExtractorWait wait;
        wait.pause = [this](int ms) { m_pauses.push_back(ms); };
        setIconExtractorWait(wait);
    }
    void TearDown() override { setIconExtractorWait(m_saved); }

    void installGlimtake() {
        ASSERT_TRUE(QFile::copy(QStringLiteral(GLIMTAKE_PROGRAM), m_folder.file(u"glimtake"_qs)));
    }
    // Lets the started program really run while waiting, with short pauses and many tests.
    void waitForReal() {
        IconExtractorWait wait{20, 500, 5, [this](int ms) {
                                   m_pauses.push_back(ms);
                                   QThread::msleep(static_cast<unsigned long>(ms));
                               }};
        setIconExtractorWait(wait);
    }
    QString copyFixture(const QString& name, const QString& as) {
        const QString target = m_folder.file(as);
        m_folder.writeFile(as, {});
        QFile::remove(target);
        EXPECT_TRUE(QFile::copy(QStringLiteral(GLIMTAKE_FIXTURES) + name, target));
        return target;
    }

    test::TempProgramFolder m_folder;
    test::ScriptedPrompter m_prompter;
    IconExtractorWait m_saved;
    std::vector<int> m_pauses;
};

TEST_F(RunIconExtractorTest, missingGlimtakeNamesTheProgramFolderAfterDeletingTheOldIcon) {
    m_folder.writeFile(u"_temp.ico"_qs, "old");
    QString folder = programFolder();
    folder.chop(1);
    m_prompter.expect(u"glimtake.exeが見つかりません\r\n"_qs + folder);

    RunIconExtractor(m_folder.file(u"anything.exe"_qs));

    EXPECT_EQ(m_prompter.messages().at(0).icon, MsgIcon::Critical);
    EXPECT_EQ(m_prompter.messages().at(0).title, QString::fromUtf16(kDefaultTitle));
    EXPECT_FALSE(QFile::exists(temporaryIconPath()));
    EXPECT_TRUE(m_pauses.empty());
}

TEST_F(RunIconExtractorTest, absentTargetIsNamedWithAnExclamation) {
    installGlimtake();
    m_folder.writeFile(u".hidden.exe"_qs, "x");
    for (const QString& target : {u"/no/such/file.exe"_qs, m_folder.file(u".hidden.exe"_qs),
                                  m_folder.path()}) {
        m_prompter.expect(target + u"が見つかりません"_qs);
        RunIconExtractor(target);
        EXPECT_EQ(m_prompter.messages().last().icon, MsgIcon::Exclamation);
    }
    EXPECT_TRUE(m_pauses.empty());
}

TEST_F(RunIconExtractorTest, waitsForTheIconOfATargetWithSpacesInOtherLetterCase) {
    installGlimtake();
    waitForReal();
    const QString target = copyFixture(u"groups64.exe"_qs, u"My Apps/Groups 64.EXE"_qs);

    RunIconExtractor(target.toLower());

    ASSERT_TRUE(QFile::exists(temporaryIconPath()));
    EXPECT_TRUE(m_folder.readFile(u"_temp.ico"_qs).startsWith(QByteArray("\0\0\1\0\3\0", 6)));
    EXPECT_EQ(m_pauses.back(), 5) << "a last pause once the file is there";
}

// Nothing appears for a text file: 30 tests, given up after the 31st pause, no message.
TEST_F(RunIconExtractorTest, givesUpSilentlyAfterTheThirtyFirstPause) {
    installGlimtake();
    const QString target = copyFixture(u"notpe.txt"_qs, u"readme.exe"_qs);

    RunIconExtractor(target);

    EXPECT_EQ(m_pauses, std::vector<int>(31, 150));
    EXPECT_FALSE(QFile::exists(temporaryIconPath()));
}

} // namespace
} // namespace vadok
