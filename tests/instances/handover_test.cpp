#include "instances/handover.h"

#include "support/scriptedprompter.h"
#include "support/tempprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <thread>
#include <vector>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

using namespace vadok;
using namespace Qt::StringLiterals;

namespace {

class RecordingTarget : public HandOverTarget {
public:
    void restoreFromTray() override { calls.append(QStringLiteral("restore")); }
    void execAppByName(const QString& name) override { calls.append(u"exec:"_s + name); }
    void showDropDialog(const QString& path) override { calls.append(u"drop:"_s + path); }
    QStringList calls;
};

TEST(SplitHandOverItems, followsTheSequentialReadRules) {
    const QString text = QStringLiteral(
        "%%%タスクトレイから復元%%%\r\n"
        "  /data/a,b.lzh\r\n"
        "\"/data/with, comma\"  ignored,next\r\n"
        "My App \"x\"\r\n");
    EXPECT_EQ(SplitHandOverItems(text),
              (QStringList{kRestoreRequest, QStringLiteral("/data/a"), QStringLiteral("b.lzh"),
                           QStringLiteral("/data/with, comma"), QStringLiteral("next"),
                           QStringLiteral("My App \"x\"")}));
}

TEST(HandOver, postedRequestsAreActedOnInOrderAndTheFileIsDeleted) {
    test::TempProgramFolder folder;
    folder.writeFile(QStringLiteral("first.lzh"), "x");
    QDir().mkpath(folder.file(QStringLiteral("second dir")));

    ASSERT_TRUE(PostHandOverRequest(folder.file(QStringLiteral("first.lzh"))));
    ASSERT_TRUE(PostHandOverRequest(kRestoreRequest));
    ASSERT_TRUE(PostHandOverRequest(QStringLiteral("\"") + folder.file(QStringLiteral("second dir")) + u'"'));
    ASSERT_TRUE(PostHandOverRequest(QStringLiteral("エディタ")));
    EXPECT_EQ(folder.readFile(QStringLiteral("messagepass.txt")).count("\r\n"), 4);

    RecordingTarget target;
    ProcessHandOverRequests(target);
    EXPECT_EQ(target.calls,
              (QStringList{u"drop:"_s + folder.file(QStringLiteral("first.lzh")), QStringLiteral("restore"),
                           u"drop:"_s + folder.file(QStringLiteral("second dir")),
                           QStringLiteral("exec:エディタ")}));
    EXPECT_FALSE(QFileInfo::exists(folder.file(QStringLiteral("messagepass.txt"))));

    target.calls.clear();
    ProcessHandOverRequests(target); // nothing waiting: nothing happens
    EXPECT_TRUE(target.calls.isEmpty());
}

TEST(HandOver, aFileHeldByTheOtherInstanceIsLeftAndReported) {
    test::TempProgramFolder folder;
    test::ScriptedPrompter prompter;
    ASSERT_TRUE(PostHandOverRequest(QStringLiteral("app")));
    const QByteArray path = QFile::encodeName(folder.file(QStringLiteral("messagepass.txt")));
    const int holder = ::open(path.constData(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    RecordingTarget target;
    prompter.expect(QStringLiteral("MessagePass(R)エラー\r\n他のプロセスがファイルを使用中です"));
    ProcessHandOverRequests(target);
    EXPECT_TRUE(target.calls.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(QString::fromUtf8(path)));

    ::close(holder);
    ProcessHandOverRequests(target);
    EXPECT_EQ(target.calls, QStringList{QStringLiteral("exec:app")});
}

TEST(HandOver, postingIntoAnUnwritableFolderShowsTheWriteError) {
    test::TempProgramFolder folder;
    test::ScriptedPrompter prompter;
    QDir().mkpath(folder.file(QStringLiteral("messagepass.txt"))); // a folder in the way
    prompter.expectPrefix(QStringLiteral("MessagePass(W)エラー\r\n"));
    ASSERT_FALSE(PostHandOverRequest(QStringLiteral("x")));
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_GT(prompter.messages()[0].text.size(), QStringLiteral("MessagePass(W)エラー\r\n").size());
}

// Writers appending while the reader deletes the file between their appends: every request
// must be seen exactly once. Threads stand in for the second instances: advisory locks work
// between separate opens of the file, as between processes.
TEST(HandOver, concurrentWritersAndAReaderLoseNoRequest) {
    test::TempProgramFolder folder;
    constexpr int kWriters = 4, kEach = 100;
    std::atomic<int> failures = 0;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([w, &failures] {
            for (int i = 0; i < kEach; ++i)
                if (!PostHandOverRequest(QStringLiteral("w%1-%2").arg(w).arg(i)))
                    ++failures;
        });
    }
    RecordingTarget target;
    std::atomic<bool> done = false;
    std::thread joiner([&] {
        for (auto& t : writers)
            t.join();
        done = true;
    });
    while (!done)
        ProcessHandOverRequests(target);
    joiner.join();
    ProcessHandOverRequests(target);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(target.calls.size(), kWriters * kEach);
    EXPECT_EQ(QSet<QString>(target.calls.begin(), target.calls.end()).size(), kWriters * kEach);
}

} // namespace
