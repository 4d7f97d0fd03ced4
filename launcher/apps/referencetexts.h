#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vadok {

// The texts that came with an application, for the editor's reference panel.

// The reference files at the top of folder, by name: first the text files (ending in ".txt",
// any case), then the pages (an ending that starts with ".htm"), each group in the order of
// their names. Hidden files are left out.
QStringList ReferenceFiles(const QString& folder);

// Whether name is shown as text rather than as a page.
bool IsReferenceText(const QString& name);

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
