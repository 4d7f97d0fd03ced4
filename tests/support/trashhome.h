#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <QtGlobal>

namespace vadok::test {

// Points the desktop trash into a temporary folder for the test's lifetime.
class TrashHome {
public:
    TrashHome() : m_old(qgetenv("XDG_DATA_HOME")) { qputenv("XDG_DATA_HOME", m_dir.path().toUtf8()); }
    ~TrashHome() { qputenv("XDG_DATA_HOME", m_old); }
    QString filesFolder() const { return m_dir.path() + QStringLiteral("/Trash/files"); }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
};

} // namespace vadok::test
