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

// What was taken of one application's texts. They are taken in order up to a budget of
// bytes (of their files as stored): at the first text that does not fit, the rest is left
// out and the read says it was cut.
struct TextsRead {
    qint64 bytes = 0;
    bool cut = false;
};

// The texts inside an archive, read without expanding it; a damaged archive gives what could
// be read before the damage. The archive's lock is held only while its members are read:
// turning them into text, and whatever the sink does, comes after.
TextsRead readArchiveTexts(const QString& archivePath, qint64 budget, const BundledTextSink& sink);

// The texts below an expanded application's folder; symbolic links are not followed.
TextsRead readFolderTexts(const QString& folder, qint64 budget, const BundledTextSink& sink);

// What changes when a text below folder is added, removed or rewritten: a digest of the
// names, sizes and modification times of its bundled texts. Empty when folder is missing.
QString folderTextsStamp(const QString& folder);

} // namespace vadok
