#include "fulltext/excerpt.h"

#include "fulltext/searchfold.h"

#include <algorithm>

namespace vadok {

namespace {

// Folded a piece at a time, so that a hit near the start of a long text costs little.
constexpr qsizetype kChunk = 4096;
// Characters kept before the first word when the line is cut.
constexpr qsizetype kLead = 20;

bool isBreak(QChar c) { return c == u'\n' || c == u'\r'; }

// Where in text the first of the words occurs, or -1.
qsizetype firstHit(const QString& text, const QStringList& words) {
    qsizetype longest = 0;
    for (const QString& w : words)
        longest = std::max(longest, w.size());
    // Folding can shrink a text (a voiced mark joins its kana) but never by more than half.
    const qsizetype overlap = 2 * longest;
    for (qsizetype at = 0; at < text.size(); at += kChunk) {
        const qsizetype from = std::max<qsizetype>(0, at - overlap);
        const FoldedText folded = foldTracing(QStringView(text).mid(from, at + kChunk - from));
        qsizetype best = -1;
        for (const QString& w : words) {
            const qsizetype p = folded.text.indexOf(w);
            if (p >= 0 && (best < 0 || p < best))
                best = p;
        }
        if (best >= 0)
            return from + folded.origin[static_cast<std::size_t>(best)];
    }
    return -1;
}

} // namespace

Excerpt excerptOf(const QString& text, const QStringList& foldedWords) {
    qsizetype hit = firstHit(text, foldedWords);
    if (hit < 0)
        hit = 0;
    qsizetype lineStart = hit;
    while (lineStart > 0 && !isBreak(text.at(lineStart - 1)))
        --lineStart;
    qsizetype lineEnd = hit;
    while (lineEnd < text.size() && !isBreak(text.at(lineEnd)))
        ++lineEnd;
    while (lineStart < hit && text.at(lineStart).isSpace())
        ++lineStart;
    qsizetype start = std::max(lineStart, hit - kLead);
    qsizetype end = std::min(lineEnd, start + kExcerptLength);
    if (end - start < kExcerptLength)
        start = std::max(lineStart, end - kExcerptLength);
    // Never a half of a surrogate pair at either end.
    if (start > lineStart && text.at(start).isLowSurrogate())
        ++start;
    if (end < lineEnd && text.at(end).isLowSurrogate())
        --end;

    Excerpt out;
    const QString lead = start > lineStart ? QStringLiteral("…") : QString();
    out.text = lead + text.mid(start, end - start);
    out.text.replace(u'\t', u' ');
    if (end < lineEnd)
        out.text += QStringLiteral("…");

    const FoldedText folded = foldTracing(QStringView(text).mid(start, end - start));
    QList<QPair<int, int>> marks;
    for (const QString& w : foldedWords) {
        if (w.isEmpty())
            continue;
        for (qsizetype p = folded.text.indexOf(w); p >= 0; p = folded.text.indexOf(w, p + 1)) {
            const int from = folded.origin[static_cast<std::size_t>(p)];
            const int to = folded.origin[static_cast<std::size_t>(p + w.size())];
            marks.append({static_cast<int>(lead.size()) + from, to - from});
        }
    }
    std::sort(marks.begin(), marks.end());
    // Overlapping words mark one stretch.
    for (const auto& m : marks) {
        if (!out.marks.isEmpty() && m.first <= out.marks.back().first + out.marks.back().second) {
            auto& last = out.marks.back();
            last.second = std::max(last.first + last.second, m.first + m.second) - last.first;
        } else {
            out.marks.append(m);
        }
    }
    return out;
}

} // namespace vadok
