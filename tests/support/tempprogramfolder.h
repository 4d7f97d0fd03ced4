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
    QString m_previous;
};

} // namespace vadok::test
