#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vadok {

// The texts that came with an application, for the editor's reference panel.

// Which files are the texts that came with an application, for the editor's reference panel
// and the full-text index alike. path is a name or a "/"-separated path inside the
// application; only its last part counts.
// A text, shown as text: an ending ".txt" or ".md" (any case), or one of the names that by
// custom carry no ending (README, LIESMICH, COPYING, LICENSE, ...).
bool IsReferenceText(const QString& path);
// A page, shown as a page: an ending that begins with ".htm".
bool IsReferencePage(const QString& path);

// The reference files below folder, at any depth, as paths relative to it: first the texts,
// then the pages, each group shallow before deep and then by path in any letter case. Hidden
// files and folders are left out, and so are links (they may lead anywhere) and whatever is
// no regular file. The walk ends after kMostReferenceEntries entries, so that a shortcut
// entry's folder of thousands of files cannot keep the editor from opening.
inline constexpr int kMostReferenceEntries = 20000;
QStringList ReferenceFiles(const QString& folder);

// The most lines a reference text shows, and what stands after them when the file has more.
inline constexpr int kReferenceLineLimit = 1001;
inline const QString kReadInterrupted = QStringLiteral("【読み込みを中断しました】");

// Bytes of a text written on either system: UTF-16 in the byte order its leading byte order
// mark (FF FE or FE FF) names, else UTF-8 when they are valid UTF-8 (a leading byte order mark
// is dropped), else Windows code page 932.
QString DecodeReferenceBytes(const QByteArray& bytes);

// The text to show for a reference text file's bytes: its lines (ended by CR LF, CR or LF),
// each followed by CR LF, at most kReferenceLineLimit of them; when more follow,
// kReadInterrupted comes after the last one shown.
QString ReferenceText(const QByteArray& bytes);

// The text of a page's bytes: UTF-16 behind a byte order mark; else as its own charset
// declaration says when the bytes are not valid UTF-8 and the declared charset is known, else as DecodeReferenceBytes.
QString ReferencePage(const QByteArray& bytes);

} // namespace vadok
