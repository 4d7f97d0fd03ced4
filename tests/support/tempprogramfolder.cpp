#include "support/tempprogramfolder.h"

#include "platform/programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

namespace vadok::test {

TempProgramFolder::TempProgramFolder()
    : m_previous(programFolder()), m_previousCache(qgetenv("XDG_CACHE_HOME")),
      m_previousConfig(qgetenv("XDG_CONFIG_HOME")) {
    EXPECT_TRUE(m_dir.isValid());
    setProgramFolder(m_dir.path());
    qputenv("XDG_CACHE_HOME", m_cache.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
}

TempProgramFolder::~TempProgramFolder() {
    setProgramFolder(m_previous);
    for (const auto& [name, previous] : {std::pair{"XDG_CACHE_HOME", &m_previousCache},
                                         std::pair{"XDG_CONFIG_HOME", &m_previousConfig}}) {
        if (previous->isEmpty())
            qunsetenv(name);
        else
            qputenv(name, *previous);
    }
    // Some tests leave a file whose name is no valid UTF-8 (writeUnstorableFile), which
    // QTemporaryDir cannot spell to remove, and the whole folder would stay behind in /tmp.
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(m_dir.path()).toStdString(), ignored);
}

QString TempProgramFolder::path() const { return withTrailingSlash(m_dir.path()); }

void TempProgramFolder::writeFile(const QString& relative, const QByteArray& bytes) const {
    const QString full = file(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile f(full);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << full.toStdString();
    f.write(bytes);
}

QByteArray TempProgramFolder::readFile(const QString& relative) const {
    QFile f(file(relative));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace vadok::test
