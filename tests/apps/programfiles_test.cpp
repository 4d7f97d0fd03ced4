#include "apps/programfiles.h"

#include "apps/archivercalls.h"
#include "apps/referencetexts.h"
#include "support/files.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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

// What the editor offers as programs of an application's folder, as archives without Unix
// modes leave the files: no execute bit anywhere.
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
    for (const Candidate& c : candidates) {
        const QString name = QString::fromUtf8(c.name);
        writeWithMode(folder + name, c.bytes, c.mode);
        EXPECT_EQ(isProgramFile(folder + name), c.program) << c.name;
    }
    // A folder is no program, whatever it is called or whatever its bits say.
    QDir().mkpath(folder + QStringLiteral("x.exe"));
    QDir().mkpath(folder + QStringLiteral("bin"));
    EXPECT_FALSE(isProgramFile(folder + QStringLiteral("x.exe")));
    writeFile(folder + QStringLiteral("bin/deep.exe"), "MZ");

    // Programs before scripts, each shallow before deep.
    EXPECT_EQ(ProgramCandidates(folder, QString()),
              (QStringList{"built", "group-only", "native", "TOOL.EXE", "bin/deep.exe", "run.sh"}));
}

const QByteArray kScript = "#!/bin/sh\necho run\n";

// A file of a layout: executable ones carry the bit where the maker keeps it. A path ending
// in "->target" is a symbolic link, "|fifo" and "|socket" special files (a folder's only).
struct Entry {
    const char* path;
    QByteArray bytes = "x";
    bool executable = false;
};

struct Layout {
    const char* what;
    const char* name; // the application's
    std::vector<Entry> files;
    QStringList programs;
    QStringList texts;
    bool folderOnly = false;
};

void PrintTo(const Layout& c, std::ostream* out) {
    *out << c.what;
}

void makeSpecial(const QString& path, const QString& kind) {
    const QByteArray native = QFile::encodeName(path);
    if (kind == u"fifo") {
        ASSERT_EQ(::mkfifo(native.constData(), 0644), 0);
        return;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(size_t(native.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

void writeLayout(const QString& folder, const std::vector<Entry>& files) {
    for (const Entry& e : files) {
        const QString path = QString::fromUtf8(e.path);
        if (path.contains(QStringLiteral("->"))) {
            const QStringList parts = path.split(QStringLiteral("->"));
            QDir().mkpath(QFileInfo(folder + parts[0]).path());
            ASSERT_TRUE(QFile::link(parts[1], folder + parts[0]));
        } else if (path.contains(u'|')) {
            const QStringList parts = path.split(u'|');
            QDir().mkpath(QFileInfo(folder + parts[0]).path());
            makeSpecial(folder + parts[0], parts[1]);
        } else {
            writeFile(folder + path, e.bytes, e.executable);
        }
    }
}

bool run(const QString& folder, const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// The layout as the execution folder holds it once expanded from an archive the maker wrote
// (zip and jlha keep no or other modes), or as the folder itself.
QString expandedBy(const QString& maker, const QString& source, const QString& scratch) {
    const QString expanded = scratch + u'/' + maker + QStringLiteral("-expanded/");
    if (maker == u"folder")
        return source;
    if (maker == u"zip") {
        const QString zip = scratch + QStringLiteral("/layout.zip");
        EXPECT_TRUE(
            run(source, QStringLiteral("zip"), {QStringLiteral("-qry"), zip, QStringLiteral(".")}))
            << "zip missing: scripts/setup installs it";
        EXPECT_EQ(RunUnzip(UnzipCommand(zip, expanded)), 0);
        return expanded;
    }
    const QString lzh = scratch + u'/' + maker + QStringLiteral(".lzh");
    if (maker == u"jlha") {
        QStringList files;
        QDirIterator it(source, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(QDir(source).relativeFilePath(it.next()));
        EXPECT_TRUE(
            run(source, QStringLiteral("jlha"), QStringList{QStringLiteral("a"), lzh} + files))
            << "jlha missing: scripts/setup installs jlha-utils";
    } else {
        EXPECT_EQ(RunUnlha(StoreCommand(lzh, source, true)), 0);
    }
    EXPECT_EQ(RunUnlha(ExpandCommand(lzh, expanded, true)), 0);
    return expanded;
}

class Layouts : public ::testing::TestWithParam<Layout> {};

// What the editor offers as programs and reference texts of an application, as downloaded
// archives lay them out, made by other archivers and by ours.
TEST_P(Layouts, offerTheLikelyProgramsFirstAndTheTextsAtAnyDepth) {
    const Layout& c = GetParam();
    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/source/");
    writeLayout(source, c.files);
    const QStringList makers = c.folderOnly
                                   ? QStringList{QStringLiteral("folder")}
                                   : QStringList{QStringLiteral("folder"), QStringLiteral("zip"),
                                                 QStringLiteral("jlha"), QStringLiteral("vadok")};
    for (const QString& maker : makers) {
        SCOPED_TRACE(maker.toStdString());
        const QString folder = expandedBy(maker, source, dir.path());
        EXPECT_EQ(ProgramCandidates(folder, QString::fromUtf8(c.name)), c.programs);
        EXPECT_EQ(ReferenceFiles(folder), c.texts);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Downloads, Layouts,
    ::testing::Values(
        Layout{"one top folder with the program below it",
               "ziptool",
               {{"ziptool/bin/hello.sh", kScript, true},
                {"ziptool/README"},
                {"ziptool/doc/usage.html"}},
               {"ziptool/bin/hello.sh"},
               {"ziptool/README", "ziptool/doc/usage.html"}},
        Layout{
            "readme files without an ending, a script not named like the application",
            "jtool",
            {{"jtool/jt.sh", kScript}, {"jtool/LIESMICH"}, {"jtool/COPYING"}, {"jtool/Makefile"}},
            {"jtool/jt.sh"},
            {"jtool/COPYING", "jtool/LIESMICH"}},
        Layout{"named like the application first, programs before scripts, libraries never",
               "Game",
               {{"setup.sh", kScript, true},
                {"native", kElf, true},
                {"editor.exe", "MZ"},
                {"GAME.EXE", "MZ"},
                {"tools/game-server", kElf, true},
                {"lib/libgame.so.1", kElf, true},
                {"readme.txt"},
                {"docs/manual/en/index.htm"},
                {"docs/manual/en/Notes.md"}},
               {"GAME.EXE", "tools/game-server", "editor.exe", "native", "setup.sh"},
               {"readme.txt", "docs/manual/en/Notes.md", "docs/manual/en/index.htm"}},
        Layout{"two levels below the top and no further",
               "Deep",
               {{"Deep-1.0/Deep-1.0/bin/tool", kElf, true},
                {"Deep-1.0/Deep-1.0/share/deep/run.sh", kScript, true},
                {"Deep-1.0/Deep-1.0/share/deep/x/too-deep.sh", kScript, true},
                {"Deep-1.0/Deep-1.0/share/deep/x/y/z/CHANGES"}},
               {"Deep-1.0/Deep-1.0/bin/tool", "Deep-1.0/Deep-1.0/share/deep/run.sh"},
               {"Deep-1.0/Deep-1.0/share/deep/x/y/z/CHANGES"}},
        Layout{"what a store leaves out is never offered",
               "Links",
               {{"run.sh", kScript, true},
                {"bin/tool", kElf, true},
                {"inner->bin/tool"},
                {"absenv->/usr/bin/env"},
                {"up->../../outside.sh"},
                {"pipe|fifo"},
                {"sock|socket"},
                {"readme.txt->/etc/hostname"},
                {".hidden/run.sh", kScript, true}},
               {"inner", "bin/tool", "run.sh"},
               {},
               true}),
    [](const auto& info) { return "layout" + std::to_string(info.index); });

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
