#pragma once

#include "fulltext/fulltextsearch.h"

#include "support/scriptedprompter.h"
#include "support/tempprogramfolder.h"

#include <QList>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

namespace vadok::test {

using TextFiles = QList<std::pair<QString, QByteArray>>;

// A program folder with a fresh data file and its working folders, and the index of it.
class FullTextFixture : public ::testing::Test {
protected:
    FullTextFixture();
    ~FullTextFixture() override;

    // Records the application and stores files as its archive (nothing expanded).
    void addApp(const QString& title, const QString& notes, const TextFiles& files = {});
    // Replaces the application's archive with one of these files.
    void storeArchive(const QString& title, const TextFiles& files);
    // Writes files into the application's expanded folder.
    void expand(const QString& title, const TextFiles& files);
    QString archiveOf(const QString& title) const;
    // This machine's index of the program folder, in the cache folder.
    QString dbPath() const;
    // The index made again with these options.
    void reopen(FullTextOptions options = {});

    // refresh(), waits for the pass and delivers its queued signals.
    void update();
    // Titles found, best first; a failed query fails the test.
    QStringList titles(const QString& query);
    // Delivers what the index's threads posted until ready() holds, without a timer: each
    // posted signal wakes the loop.
    void deliverUntil(const std::function<bool()>& ready);

    TempProgramFolder folder;
    ScriptedPrompter prompter;
    QTemporaryDir scratch;
    std::unique_ptr<FullTextSearch> index;
    // Archives the index has opened for their texts.
    std::atomic<int> archiveReads{0};
};

} // namespace vadok::test
