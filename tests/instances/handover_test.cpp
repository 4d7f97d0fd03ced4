// The hand-over between a later start and the running instance: what one message may carry,
// who may send it, and what the running instance does with it.
#include "instances/commandline.h"
#include "instances/handover.h"
#include "instances/handoverframe.h"
#include "instances/handoverserver.h"
#include "instances/instancegate.h"
#include "platform/localpeer.h"
#include "platform/programfolder.h"

#include "support/scriptedprompter.h"
#include "support/tempprogramfolder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QSet>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>
#include <gtest/gtest.h>

using namespace vadok;
using namespace Qt::StringLiterals;

namespace {

class RecordingTarget : public HandOverTarget {
public:
    void restoreRequested() override { calls.append(u"restore"_s); }
    void runRequested(const QString& title, const QStringList& arguments) override {
        calls.append((QStringList{u"exec:"_s + title} + arguments).join(u'|'));
    }
    void showDropDialog(const QString& path) override { calls.append(u"drop:"_s + path); }
    void refuseRequest(const QString& text) override { calls.append(u"refuse:"_s + text); }
    QStringList calls;
};

// Lets events through until condition holds; false when it did not within a bound that only a
// failing test reaches.
bool waitUntil(const std::function<bool()>& condition) {
    QDeadlineTimer deadline(60000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

TEST(HandOverFrame, carriesExactlyOneRequestAndSaysWhyOtherBytesAreNone) {
    const QByteArray good = EncodeHandOverFrame(u"エディタ \"a b\""_s);
    QByteArray tooLong("VHO1\x00\x00\x80\x01", 8);
    tooLong.append(QByteArray(0x8001, 'x'));
    const struct {
        const char* name;
        QByteArray bytes;
        const char* error; // nullptr: the request is read
    } cases[] = {
        {"one request", good, nullptr},
        {"header only", good.left(6), "shorter than its header"},
        {"another protocol", "GET / HTTP/1.0\r\n\r\n", "not a hand-over request"},
        {"empty text", QByteArray("VHO1\0\0\0\0", 8), "text length out of range"},
        {"text over the limit", tooLong, "text length out of range"},
        {"cut short", good.chopped(1), "text cut short"},
        {"two requests", good + good, "more than one request"},
        {"a line added", good + "\r\nDemo", "more than one request"},
        {"not UTF-8", QByteArray("VHO1\0\0\0\2\xff\xfe", 10), "text is not UTF-8"},
        {"a NUL inside", QByteArray("VHO1\0\0\0\3a\0b", 11), "text holds a NUL"},
    };
    for (const auto& c : cases) {
        const DecodedHandOver decoded = DecodeHandOverFrame(c.bytes);
        EXPECT_EQ(decoded.ok, c.error == nullptr) << c.name;
        if (c.error)
            EXPECT_EQ(decoded.error, QString::fromLatin1(c.error)) << c.name;
        else
            EXPECT_EQ(decoded.request, u"エディタ \"a b\""_s) << c.name;
    }
}

// How one message of a row reaches the running instance.
enum class Writer {
    Start,      // a later start of vadok, as it hands its command line over
    Stranger,   // the same, seen by an instance that trusts another user only
    RawBytes,   // a process of this user writing the bytes as they stand
    LegacyFile, // the hand-over file the program folder held in earlier versions
};

struct Message {
    Writer writer;
    QByteArray bytes; // "@" stands for the program folder
};

struct HandOverCase {
    const char* name;
    QList<Message> messages;
    QStringList calls; // "@" stands for the program folder
};

void PrintTo(const HandOverCase& c, std::ostream* out) {
    *out << c.name;
}

QString withFolder(const QString& text, const QString& folder) {
    return QString(text).replace(u'@', folder);
}

void writeRaw(const QString& folder, const QByteArray& bytes) {
    QLocalSocket socket;
    socket.connectToServer(HandOverSocketPath(folder));
    ASSERT_TRUE(socket.waitForConnected(10000)) << socket.errorString().toStdString();
    socket.write(bytes);
    while (socket.bytesToWrite() > 0)
        ASSERT_TRUE(socket.waitForBytesWritten(10000));
    socket.disconnectFromServer();
}

class HandOverTable : public ::testing::TestWithParam<HandOverCase> {};

TEST_P(HandOverTable, theRunningInstanceActsOnEachRequestOfThisUserAndNothingElse) {
    const HandOverCase& c = GetParam();
    test::TempProgramFolder folder;
    const QString root = folder.path();
    folder.writeFile(u"a,b.lzh"_s, "x");
    QDir().mkpath(folder.file(u"new app"_s));
    HandOverServer server(root);
    ASSERT_TRUE(server.listen()) << server.error().toStdString();

    int sent = 0;
    for (const Message& m : c.messages) {
        const QString text = withFolder(QString::fromUtf8(m.bytes), root);
        switch (m.writer) {
        case Writer::Stranger:
            server.setTrustedUser(currentUserId() + 1);
            [[fallthrough]];
        case Writer::Start:
            ASSERT_EQ(SendHandOverRequest(root, text).delivery, HandOverDelivery::Delivered) << c.name;
            ++sent;
            break;
        case Writer::RawBytes:
            writeRaw(root, m.bytes);
            ++sent;
            break;
        case Writer::LegacyFile:
            folder.writeFile(u"messagepass.txt"_s, m.bytes);
            break;
        }
    }
    ASSERT_TRUE(waitUntil([&] { return server.connectionsEnded() == sent; })) << c.name;
    RecordingTarget target;
    server.processRequests(target);
    QStringList expected;
    for (const QString& call : c.calls)
        expected.append(withFolder(call, root));
    EXPECT_EQ(target.calls, expected) << c.name;
    EXPECT_TRUE(server.waitingRequests().isEmpty());
    // Another machine's file, or another program's: neither read nor removed.
    for (const Message& m : c.messages) {
        if (m.writer == Writer::LegacyFile) {
            EXPECT_EQ(folder.readFile(u"messagepass.txt"_s), m.bytes) << c.name;
        }
    }
}

const QByteArray kRestore = kRestoreRequest.toUtf8();

INSTANTIATE_TEST_SUITE_P(
    Rows, HandOverTable,
    ::testing::Values(
        HandOverCase{"restore", {{Writer::Start, kRestore}}, {u"restore"_s}},
        // a comma is part of the path, as is a space inside quotes
        HandOverCase{"path", {{Writer::Start, "@a,b.lzh"}}, {u"drop:@a,b.lzh"_s}},
        HandOverCase{"folder", {{Writer::Start, "\"@new app\""}}, {u"drop:@new app"_s}},
        HandOverCase{"title with arguments",
                     {{Writer::Start, JoinCommandLine({u"Tool"_s, u"two words"_s, u"say \"hi\""_s,
                                                       u"plain"_s})
                                          .toUtf8()}},
                     {u"exec:Tool|two words|say \"hi\"|plain"_s}},
        HandOverCase{"title with plain arguments", {{Writer::Start, "Tool hello world"}},
                     {u"exec:Tool|hello|world"_s}},
        // the window says that no application carries it
        HandOverCase{"unknown title", {{Writer::Start, "nosuchapp"}}, {u"exec:nosuchapp"_s}},
        HandOverCase{"title that fails the rules", {{Writer::Start, "../victim/private"}},
                     {u"refuse:渡されたパラメータを解釈できませんでした。"_s}},
        // a relative path is never looked up in the instance's own working folder
        HandOverCase{"relative path", {{Writer::Start, "a,b.lzh"}}, {u"exec:a,b.lzh"_s}},
        // commas and spaces never make one message several runs
        HandOverCase{"commas", {{Writer::Start, "Demo,Demo Demo"}}, {u"exec:Demo,Demo|Demo"_s}},
        HandOverCase{"foreign writer", {{Writer::Stranger, "Tool"}}, {}},
        HandOverCase{"two requests in one message",
                     {{Writer::RawBytes, EncodeHandOverFrame(u"Tool"_s) + EncodeHandOverFrame(u"Tool"_s)}},
                     {}},
        HandOverCase{"no request at all", {{Writer::RawBytes, "Tool\r\n"}}, {}},
        HandOverCase{"hand-over file in the program folder",
                     {{Writer::LegacyFile, "Demo\r\nDemo,Demo\r\n" + kRestore + "\r\n"}}, {}},
        HandOverCase{"several requests",
                     {{Writer::Start, "@a,b.lzh"},
                      {Writer::RawBytes, "junk"},
                      {Writer::Start, kRestore},
                      {Writer::Start, "Tool a"}},
                     {u"drop:@a,b.lzh"_s, u"restore"_s, u"exec:Tool|a"_s}}),
    [](const ::testing::TestParamInfo<HandOverCase>& info) {
        QString name = QString::fromLatin1(info.param.name);
        name.replace(u' ', u'_').remove(u'-');
        return name.toStdString();
    });

TEST(HandOver, requestsThatArriveWhileOneIsActedOnFollowInOrder) {
    test::TempProgramFolder folder;
    HandOverServer server(folder.path());
    ASSERT_TRUE(server.listen());
    ASSERT_EQ(SendHandOverRequest(folder.path(), u"First"_s).delivery, HandOverDelivery::Delivered);
    ASSERT_TRUE(waitUntil([&] { return server.connectionsEnded() == 1; }));

    // The dropped-item dialog of the first request lets events through while it is open.
    class Target : public RecordingTarget {
    public:
        void runRequested(const QString& title, const QStringList& arguments) override {
            RecordingTarget::runRequested(title, arguments);
            if (title == u"First") {
                EXPECT_EQ(SendHandOverRequest(programFolder(), u"Second"_s).delivery,
                          HandOverDelivery::Delivered);
                EXPECT_TRUE(waitUntil([&] { return server->connectionsEnded() == 2; }));
            }
        }
        HandOverServer* server = nullptr;
    } target;
    target.server = &server;
    server.processRequests(target);
    EXPECT_EQ(target.calls, (QStringList{u"exec:First"_s, u"exec:Second"_s}));
}

TEST(HandOver, nobodyListeningAndAClosedInstanceAreToldApart) {
    test::TempProgramFolder folder;
    EXPECT_EQ(SendHandOverRequest(folder.path(), u"Tool"_s).delivery, HandOverDelivery::NoListener);
    HandOverServer server(folder.path());
    ASSERT_TRUE(server.listen());
    EXPECT_EQ(SendHandOverRequest(folder.path(), u"Tool"_s).delivery, HandOverDelivery::Delivered);
    // Once the exit has begun, a later start must not hand over what nobody will act on.
    server.close();
    EXPECT_EQ(SendHandOverRequest(folder.path(), u"Tool"_s).delivery, HandOverDelivery::NoListener);
}

TEST(HandOver, aSocketLeftByACrashedInstanceIsReplaced) {
    test::TempProgramFolder folder;
    {
        HandOverServer crashed(folder.path());
        ASSERT_TRUE(crashed.listen());
    }
    // What a killed process leaves at the path: a socket nobody listens on.
    QFile(HandOverSocketPath(folder.path())).open(QIODevice::WriteOnly);
    HandOverServer server(folder.path());
    ASSERT_TRUE(server.listen()) << server.error().toStdString();
    EXPECT_EQ(SendHandOverRequest(folder.path(), u"Tool"_s).delivery, HandOverDelivery::Delivered);
}

// Threads stand in for later starts: each connection is a message of its own.
TEST(HandOver, concurrentStartsLoseNoRequest) {
    test::TempProgramFolder folder;
    HandOverServer server(folder.path());
    ASSERT_TRUE(server.listen());
    const QString root = folder.path();
    constexpr int kStarts = 4, kEach = 25;
    std::atomic<int> failures = 0;
    std::vector<std::thread> starts;
    for (int w = 0; w < kStarts; ++w) {
        starts.emplace_back([w, root, &failures] {
            for (int i = 0; i < kEach; ++i) {
                if (SendHandOverRequest(root, QStringLiteral("w%1-%2").arg(w).arg(i)).delivery !=
                    HandOverDelivery::Delivered)
                    ++failures;
            }
        });
    }
    EXPECT_TRUE(waitUntil([&] { return server.connectionsEnded() == kStarts * kEach; }));
    for (auto& t : starts)
        t.join();
    RecordingTarget target;
    server.processRequests(target);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(QSet<QString>(target.calls.begin(), target.calls.end()).size(), kStarts * kEach);
}

// A start finds the lock held by an instance that does not listen: one still starting, one
// running an application by its title without a window, or one whose exit has begun.
TEST(InstanceGate, waitsUntilTheHolderListensOrEndsAndLosesNoRequest) {
    enum class Then { Listens, Ends, NeverListens };
    const struct {
        const char* name;
        Then then;
        InstanceControl::HandOver outcome;
        const char* message; // nullptr: none
    } cases[] = {
        {"the holder starts listening", Then::Listens, InstanceControl::HandOver::Delivered, nullptr},
        {"the holder ends", Then::Ends, InstanceControl::HandOver::BecameFirst, nullptr},
        {"the holder never listens", Then::NeverListens, InstanceControl::HandOver::Failed,
         "MessagePass(W)エラー\r\n起動中のVadokが要求を受け付けません。"
         "終了処理が終わってから、もう一度起動してください。"},
    };
    for (const auto& c : cases) {
        test::TempProgramFolder folder;
        test::ScriptedPrompter prompter;
        auto holder = std::make_unique<InstanceLock>(folder.path());
        ASSERT_TRUE(holder->acquire());
        HandOverServer server(folder.path());
        InstanceGate gate(folder.path());
        ASSERT_FALSE(gate.becomeFirst()) << c.name;
        int pauses = 0;
        gate.setPause([&] {
            ++pauses;
            if (c.then == Then::Listens)
                ASSERT_TRUE(server.listen());
            else if (c.then == Then::Ends)
                holder.reset();
        });
        if (c.then == Then::NeverListens)
            gate.setPatience(0);
        if (c.message)
            prompter.expect(QString::fromUtf8(c.message));
        EXPECT_EQ(gate.handOver(u"Tool a"_s), c.outcome) << c.name;
        EXPECT_EQ(pauses, c.then == Then::NeverListens ? 0 : 1) << c.name;
        if (c.then == Then::Listens) {
            ASSERT_TRUE(waitUntil([&] { return server.connectionsEnded() == 1; })) << c.name;
            EXPECT_EQ(server.waitingRequests(), QStringList{u"Tool a"_s}) << c.name;
        }
        EXPECT_EQ(gate.becomeFirst(), c.then == Then::Ends) << c.name;
    }
}

} // namespace
