// No failure of the index is taken for success: a pass that ends early says why and does not
// claim the index is up to date, a query that fails says so rather than finding nothing, an
// exception on one of the index's threads ends neither the process nor the next pass, and the
// exit does not wait for a thread that is busy.

#include "fulltextfixture.h"

#include "fulltext/indexfiles.h"

#include <QCoreApplication>

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <future>
#include <stdexcept>
#include <system_error>

using namespace vadok;
using namespace vadok::test;

class FullTextFailures : public FullTextFixture {};

namespace {

bool is(const char* point, const char* name) { return name && std::strcmp(point, name) == 0; }

} // namespace

TEST_F(FullTextFailures, aPassThatFailsSaysWhyAndTheNextOneRuns) {
    const struct {
        const char* name;
        const char* throwAt;  // the checkpoint that throws, if any
        bool holdWriteLock;   // another connection holds the index's write lock
        const char* message;
    } cases[] = {
        {"an SQL error other than damage", nullptr, true,
         "全文検索の索引を更新できませんでした（索引のファイルをほかのプログラムが使っています：database is locked）。"},
        {"an exception on the indexing thread", "pass", false,
         "全文検索の索引を更新できませんでした（planted）。"},
        {"an exception on the reading thread", "text", false,
         "全文検索の索引を更新できませんでした（planted）。"},
    };
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "first words"}});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> armed{false};
        FullTextOptions options;
        options.busyTimeoutMs = 0;
        options.checkpoint = [&armed, throwAt = c.throwAt](const char* point) {
            if (armed && is(point, throwAt))
                throw std::runtime_error("planted");
        };
        reopen(options);
        removeIndexEntries(dbPath());
        update();
        // A new text, so that the next pass has something to read and write.
        storeArchive(QStringLiteral("Tool"), {{"readme.txt", QByteArray("second words ") + c.name}});
        sqlite3* other = nullptr;
        if (c.holdWriteLock) {
            ASSERT_EQ(sqlite3_open(QFile::encodeName(dbPath()).constData(), &other), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        armed = true;
        QSignalSpy indexed(index.get(), &FullTextSearch::indexed);
        QSignalSpy failed(index.get(), &FullTextSearch::failed);
        update();
        EXPECT_TRUE(indexed.isEmpty());
        ASSERT_EQ(failed.size(), 1);
        EXPECT_EQ(failed.first().first().toString(), QString::fromUtf8(c.message));

        armed = false;
        if (other) {
            sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(other);
        }
        update();
        EXPECT_EQ(indexed.size(), 1);
        EXPECT_EQ(failed.size(), 1);
        EXPECT_EQ(titles(QStringLiteral("second")), QStringList{"Tool"});
    }
}

TEST_F(FullTextFailures, aQueryThatFailsSaysSoRatherThanFindingNothing) {
    std::atomic<bool> armed{false};
    FullTextOptions options;
    options.checkpoint = [&](const char* point) {
        if (armed && is(point, "query"))
            throw std::runtime_error("planted");
    };
    reopen(options);
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "bundled words"}});
    update();
    armed = true;
    const QString failure = QStringLiteral("検索できませんでした（planted）。");
    const FullTextAnswer asked = index->query(QStringLiteral("bundled"));
    EXPECT_TRUE(asked.hits.empty());
    EXPECT_EQ(asked.error, failure);

    // Asked from the window, on the query thread.
    QSignalSpy answered(index.get(), &FullTextSearch::answered);
    index->ask(QStringLiteral("bundled"));
    deliverUntil([&] { return !answered.isEmpty(); });
    EXPECT_EQ(answered.first().at(1).value<FullTextAnswer>().error, failure);
    armed = false;
    EXPECT_EQ(titles(QStringLiteral("bundled")), QStringList{"Tool"});
}

// A process at its limit of threads: the window still opens its index, and what the missing
// thread would do says why it is not done; what the other thread does still works.
TEST_F(FullTextFailures, anIndexThreadThatCannotStartIsSaidAtEachRefreshOrAsk) {
    const struct {
        const char* refused;
        bool indexes;
        bool answers;
    } cases[] = {{"worker start", false, true}, {"asker start", true, false}};
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "bundled words"}});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        FullTextOptions options;
        options.checkpoint = [refused = c.refused](const char* point) {
            if (is(point, refused))
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        };
        removeIndexEntries(dbPath());
        reopen(options);
        QSignalSpy indexed(index.get(), &FullTextSearch::indexed);
        QSignalSpy failed(index.get(), &FullTextSearch::failed);
        update();
        EXPECT_EQ(indexed.size(), c.indexes ? 1 : 0);
        ASSERT_EQ(failed.size(), c.indexes ? 0 : 1);
        if (!c.indexes) {
            EXPECT_TRUE(failed.first().first().toString().startsWith(
                QStringLiteral("全文検索の索引を更新できませんでした（")));
        }

        QSignalSpy answered(index.get(), &FullTextSearch::answered);
        index->ask(QStringLiteral("bundled"));
        deliverUntil([&] { return !answered.isEmpty(); });
        const FullTextAnswer answer = answered.first().at(1).value<FullTextAnswer>();
        EXPECT_EQ(answer.error.startsWith(QStringLiteral("検索できませんでした（")), !c.answers);
        EXPECT_EQ(answer.hits.size(), c.answers && c.indexes ? 1u : 0u);
        index.reset(); // joins only the thread that started
    }
}

// The user types on: the answer to what the box held before is not waited for, and not shown.
TEST_F(FullTextFailures, onlyTheLatestAskIsAnswered) {
    std::promise<void> entered, release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<int> queries{0};
    FullTextOptions options;
    options.checkpoint = [&](const char* point) {
        if (is(point, "query") && queries++ == 0) {
            entered.set_value();
            released.wait();
        }
    };
    reopen(options);
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "bundled words"}});
    update();
    QSignalSpy answered(index.get(), &FullTextSearch::answered);
    index->ask(QStringLiteral("bundled"));
    entered.get_future().wait();
    index->ask(QStringLiteral("words"));
    release.set_value();
    deliverUntil([&] { return !answered.isEmpty(); });
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(answered.size(), 1);
    EXPECT_EQ(answered.first().at(0).toString(), QStringLiteral("words"));
    const FullTextAnswer answer = answered.first().at(1).value<FullTextAnswer>();
    EXPECT_EQ(answer.error, QString());
    ASSERT_EQ(answer.hits.size(), 1u);
    EXPECT_EQ(answer.hits[0].title, QStringLiteral("Tool"));
}

TEST_F(FullTextFailures, theExitDoesNotWaitForAnIndexThreadThatIsHeldUp) {
    std::promise<void> entered, release, workerEnded, askerEnded;
    const std::shared_future<void> released = release.get_future().share();
    FullTextOptions options;
    options.exitWait = std::chrono::milliseconds(0);
    options.checkpoint = [&](const char* point) {
        if (is(point, "pass")) {
            entered.set_value();
            released.wait();
        } else if (is(point, "worker ended")) {
            workerEnded.set_value();
        } else if (is(point, "asker ended")) {
            askerEnded.set_value();
        }
    };
    reopen(options);
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "bundled words"}});
    index->refresh();
    entered.get_future().wait();
    // Returns with the pass still held: a join here would wait for ever.
    index.reset();
    release.set_value();
    // Left behind, both threads stop at their next step.
    workerEnded.get_future().wait();
    askerEnded.get_future().wait();
}
