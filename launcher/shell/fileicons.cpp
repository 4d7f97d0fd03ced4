#include "shell/fileicons.h"

#include "shell/iconpicture.h"

#include "iconextract/filesource.h"
#include "iconextract/icodirectory.h"
#include "iconextract/icofilewriter.h"
#include "iconextract/icongroups.h"
#include "platform/shellopen.h"

#include <QFile>

namespace vadok {

namespace {

bool holdsIcoHeader(const glimtake::ByteSource& source) {
    return source.u16(0) == 0 && source.u16(2) == 1;
}

} // namespace

FileIcons::FileIcons(const QString& path) {
    const QString resolved = ResolvePathIgnoringCase(path);
    if (resolved.isEmpty())
        return;
    m_source = glimtake::FileSource::open(QFile::encodeName(resolved).toStdString());
    if (!m_source)
        return;
    m_groups = glimtake::IconGroups::read(*m_source);
    if (m_groups || !holdsIcoHeader(*m_source) || m_source->size() > glimtake::kMaxIconFileBytes)
        return;
    const auto bytes = m_source->bytes(0, m_source->size());
    const auto images = bytes ? glimtake::readIcoDirectory(*bytes) : std::nullopt;
    m_iconFile = images.has_value();
    if (images && !images->empty())
        m_icoFile = QByteArray(reinterpret_cast<const char*>(bytes->data()),
                               static_cast<qsizetype>(bytes->size()));
}

FileIcons::~FileIcons() = default;

int FileIcons::count() const {
    if (m_groups)
        return static_cast<int>(m_groups->count());
    return m_icoFile.isEmpty() ? 0 : 1;
}

QByteArray FileIcons::icoFile(int index) const {
    if (index < 0 || index >= count())
        return QByteArray();
    if (!m_groups)
        return m_icoFile;
    const auto file = m_groups->icoFile(static_cast<std::size_t>(index));
    if (!file)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(file->data()),
                      static_cast<qsizetype>(file->size()));
}

QImage FileIcons::picture(int index, int side) const {
    const QByteArray file = icoFile(index);
    return file.isEmpty() ? QImage() : iconPicture(file, side);
}

bool FileIcons::writeIcoFile(int index, const QString& path) const {
    const QByteArray file = icoFile(index);
    return !file.isEmpty() && writeIconFile(path, file);
}

} // namespace vadok
