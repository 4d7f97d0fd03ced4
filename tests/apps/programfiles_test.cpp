#include "apps/programfiles.h"

#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vadok::test {
namespace {

const QByteArray kElf("\x7f" "ELF\x02\x01\x01", 7);

mode_t modeOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 07777;
}

void writeWithMode(const QString& path, const QByteArray& bytes, mode_t mode) {
    writeFile(path, bytes);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

struct Candidate {
    const char* name;
    QByteArray bytes;
    mode_t mode;
    bool program;
};

// What the editor offers as programs at the top of an application's folder, as archives
// without Unix modes leave the files: no execute bit anywhere.
TEST(ProgramFiles, programsAreKnownByEndingExecuteBitOrInterpreterLine) {
    const Candidate candidates[] = {
        {"TOOL.EXE", "MZ", 0644, true},
        {"run.sh", "#!/bin/sh\n", 0644, true},
        {"native", kElf, 0644, true},
        {"built", "no header at all", 0755, true},
        {"group-only", "plain", 0654, true},
        {"readme.txt", "#just text\n", 0644, false},
        {"empty", "", 0644, false},
        {"data.bin", "\x7f" "EL", 0644, false},
        {".hidden.sh", "#!/bin/sh\n", 0755, false},
    };
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    QStringList expected;
    for (const Candidate& c : candidates) {
        const QString name = QString::fromUtf8(c.name);
        writeWithMode(folder + name, c.bytes, c.mode);
        EXPECT_EQ(isProgramFile(folder + name), c.program) << c.name;
        if (c.program)
            expected.append(name);
    }
    // A folder is no program, whatever it is called or whatever its bits say.
    QDir().mkpath(folder + QStringLiteral("x.exe"));
    QDir().mkpath(folder + QStringLiteral("bin"));
    EXPECT_FALSE(isProgramFile(folder + QStringLiteral("x.exe")));
    // Only the top level counts.
    writeFile(folder + QStringLiteral("bin/deep.exe"), "MZ");

    expected.sort();
    EXPECT_EQ(programsIn(folder), expected);
}

struct Grant {
    const char* what;
    const char* file; // below the scratch folder; the application's folder is "App"
    QByteArray bytes;
    mode_t before;
    mode_t after;
};

class OwnerExecute : public ::testing::TestWithParam<Grant> {};

TEST_P(OwnerExecute, onlyProgramsInsideTheApplicationsFolderGainTheOwnersBit) {
    const Grant& c = GetParam();
    QTemporaryDir dir;
    const QString app = dir.path() + QStringLiteral("/App/");
    const QString path = dir.path() + u'/' + QString::fromUtf8(c.file);
    writeWithMode(path, c.bytes, c.before);
    QDir().mkpath(app);

    EXPECT_EQ(grantOwnerExecute(path, app), c.before != c.after);
    EXPECT_EQ(modeOf(path), c.after) << std::oct << modeOf(path);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OwnerExecute,
    ::testing::Values(
        Grant{"script", "App/run.sh", "#!/bin/sh\n", 0644, 0744},
        Grant{"program", "App/native", kElf, 0600, 0700},
        Grant{"other bits kept", "App/odd", "#!/bin/sh\n", 02606, 02706},
        Grant{"already runs", "App/run.sh", "#!/bin/sh\n", 0755, 0755},
        Grant{"document", "App/readme.txt", "read me", 0644, 0644},
        Grant{"windows program", "App/TOOL.EXE", "#!/bin/sh\n", 0644, 0644},
        Grant{"outside", "Else/run.sh", "#!/bin/sh\n", 0644, 0644},
        Grant{"folder of a longer name", "App2/run.sh", "#!/bin/sh\n", 0644, 0644}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (ch == ' ')
                ch = '_';
        return name;
    });

TEST(OwnerExecuteLinks, aLinkInsideLeadingOutLeavesItsTargetAlone) {
    QTemporaryDir dir;
    const QString app = dir.path() + QStringLiteral("/App/");
    const QString outside = dir.path() + QStringLiteral("/Else/run.sh");
    writeWithMode(outside, "#!/bin/sh\n", 0644);
    QDir().mkpath(app);
    ASSERT_TRUE(QFile::link(outside, app + QStringLiteral("run.sh")));

    EXPECT_FALSE(grantOwnerExecute(app + QStringLiteral("run.sh"), app));
    EXPECT_EQ(modeOf(outside), mode_t(0644));
}

} // namespace
} // namespace vadok::test
