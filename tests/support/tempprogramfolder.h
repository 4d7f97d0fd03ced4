#pragma once

#include "support/qtprinters.h"

#include <QString>
#include <QTemporaryDir>

namespace vadok::test {

// A fresh temporary folder that serves as the program folder for one test.
class TempProgramFolder {
public:
    TempProgramFolder();
    ~TempProgramFolder();

    // Ends in "/".
    QString path() const;
    QString file(const QString& relative) const { return path() + relative; }
    void writeFile(const QString& relative, const QByteArray& bytes) const;
    QByteArray readFile(const QString& relative) const;

private:
    QTemporaryDir m_dir;
    // The user's cache and config folders, where files of this machine's own about the
    // folder go.
    QTemporaryDir m_cache;
    QTemporaryDir m_config;
    QString m_previous;
    QByteArray m_previousCache;
    QByteArray m_previousConfig;
};

} // namespace vadok::test
