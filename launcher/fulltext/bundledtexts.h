#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace vadok {

// The texts that came with an application, as the full-text index reads them: the files the
// editor's reference panel shows (IsReferenceText, IsReferencePage), at any depth, of at most
// kBundledTextLimit bytes, decoded as the reference panel decodes them, pages without their
// markup.

inline constexpr qint64 kBundledTextLimit = 1024 * 1024;

bool isBundledTextName(const QString& name);

// The searchable text of a bundled file's bytes; name tells a page from a text.
QString bundledText(const QString& name, const QByteArray& bytes);

// One text: its name inside the application ("doc/usage.html") and its searchable text.
// Returning false stops the reading.
using BundledTextSink = std::function<bool(const QString& name, const QString& text)>;

// The texts inside an archive, read without expanding it. False when the archive could not
// be read to its end (what was handed over before stays handed over).
bool readArchiveTexts(const QString& archivePath, const BundledTextSink& sink);

// The texts below an expanded application's folder; symbolic links are not followed.
bool readFolderTexts(const QString& folder, const BundledTextSink& sink);

// What changes when a text below folder is added, removed or rewritten: a digest of the
// names, sizes and modification times of its bundled texts. Empty when folder is missing.
QString folderTextsStamp(const QString& folder);

// How many archives readArchiveTexts has opened in this process: tests see through it
// whether an unchanged archive was read again.
quint64 archiveTextReads();

} // namespace vadok
