#include "fulltextfixture.h"

#include "archivertestsupport.h"

#include "archiver/archiver.h"
#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace vadok::test {

namespace {

void writeFiles(const QString& root, const TextFiles& files) {
    for (const auto& [name, bytes] : files) {
        const QString path = root + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        file.write(bytes);
    }
}

} // namespace

FullTextFixture::FullTextFixture() {
    PrepareDataFile();
    settings() = Settings();
    LoadSettings();
    reopen();
}

FullTextFixture::~FullTextFixture() { index.reset(); }

QString FullTextFixture::archiveOf(const QString& title) const {
    return settings().PackDir + title + QStringLiteral(".lzh");
}

QString FullTextFixture::dbPath() const { return machineCacheFile(QStringLiteral("vadok.search.db")); }

void FullTextFixture::reopen(FullTextOptions options) {
    index.reset();
    options.checkpoint = [this, planted = std::move(options.checkpoint)](const char* point) {
        if (std::strcmp(point, "archive") == 0)
            ++archiveReads;
        if (planted)
            planted(point);
    };
    index = std::make_unique<FullTextSearch>(nullptr, std::move(options));
}

void FullTextFixture::deliverUntil(const std::function<bool()>& ready) {
    while (!ready())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void FullTextFixture::storeArchive(const QString& title, const TextFiles& files) {
    static int made = 0;
    const QString source = scratch.path() + QStringLiteral("/src%1/").arg(++made);
    QDir().mkpath(source);
    writeFiles(source, files);
    QFile::remove(archiveOf(title));
    ASSERT_EQ(Unlha(nullptr,
                    storeCommand(QFile::encodeName(archiveOf(title)).toStdString(),
                                 QFile::encodeName(source.chopped(1)).toStdString()),
                    nullptr, 0),
              ArchiverOk);
}

void FullTextFixture::addApp(const QString& title, const QString& notes, const TextFiles& files) {
    AppRecord record;
    record.AppName = title;
    record.Info = notes;
    record.AppDir = QStringLiteral("ROOT");
    ASSERT_TRUE(SaveAppRecord(record));
    storeArchive(title, files);
}

void FullTextFixture::expand(const QString& title, const TextFiles& files) {
    const QString root = settings().ExecDir + title + u'/';
    QDir().mkpath(root);
    writeFiles(root, files);
}

void FullTextFixture::update() {
    index->refresh();
    index->waitUntilIdle();
    QCoreApplication::sendPostedEvents();
}

QStringList FullTextFixture::titles(const QString& query) {
    QStringList found;
    const FullTextAnswer answer = index->query(query);
    EXPECT_EQ(answer.error, QString()) << query.toStdString();
    for (const FullTextHit& hit : answer.hits)
        found.append(hit.title);
    return found;
}

} // namespace vadok::test
