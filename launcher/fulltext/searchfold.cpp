#include "fulltext/searchfold.h"

#include <QChar>

#include <algorithm>
#include <memory>
#include <mutex>

namespace vadok {

namespace {

// The folded form of every character of the basic plane, worked out once: normalising
// character by character through Qt is far too slow for megabytes of text.
struct FoldTable {
    // The single character a character folds to; 0 when it folds to several (see multi).
    std::unique_ptr<char16_t[]> single{new char16_t[0x10000]};
    std::vector<std::pair<char16_t, QString>> multi; // sorted by the character

    FoldTable() {
        for (char32_t c = 0; c < 0x10000; ++c) {
            const auto u = static_cast<char16_t>(c);
            if (QChar::isSurrogate(c)) {
                single[c] = u;
                continue;
            }
            if (c < 0x80) {
                single[c] = (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : u;
                continue;
            }
            const QString folded =
                QString(QChar(u)).normalized(QString::NormalizationForm_KC).toCaseFolded();
            if (folded.size() == 1) {
                single[c] = folded.at(0).unicode();
            } else {
                single[c] = 0;
                multi.emplace_back(u, folded);
            }
        }
    }
};

const FoldTable& table() {
    static const FoldTable t;
    return t;
}

const QString& multiOf(const FoldTable& t, char16_t c) {
    const auto it = std::lower_bound(t.multi.begin(), t.multi.end(), c,
                                     [](const auto& e, char16_t k) { return e.first < k; });
    return it->second;
}

// A kana followed by a combining (semi-)voiced mark, as one character when one exists.
QChar composed(QChar base, QChar mark) {
    const QString both = QString(base) + mark;
    const QString one = both.normalized(QString::NormalizationForm_C);
    return one.size() == 1 ? one.at(0) : QChar();
}

bool isVoicedMark(char16_t c) { return c == 0x3099 || c == 0x309A; }

template <typename Emit>
void fold(QStringView text, Emit&& take) {
    const FoldTable& t = table();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const char16_t s = t.single[c];
        if (s)
            take(QStringView(&s, 1), i);
        else
            take(QStringView(multiOf(t, c)), i);
    }
}

} // namespace

FoldedText foldTracing(QStringView text) {
    FoldedText out;
    out.text.reserve(text.size());
    out.origin.reserve(static_cast<std::size_t>(text.size()) + 1);
    fold(text, [&](QStringView piece, qsizetype from) {
        for (const QChar c : piece) {
            if (isVoicedMark(c.unicode()) && !out.text.isEmpty()) {
                if (const QChar one = composed(out.text.back(), c); !one.isNull()) {
                    out.text.back() = one;
                    continue;
                }
            }
            out.text.append(c);
            out.origin.push_back(static_cast<int>(from));
        }
    });
    out.origin.push_back(static_cast<int>(text.size()));
    return out;
}

QString foldForSearch(QStringView text) {
    QString out;
    out.reserve(text.size());
    fold(text, [&](QStringView piece, qsizetype) {
        for (const QChar c : piece) {
            if (isVoicedMark(c.unicode()) && !out.isEmpty()) {
                if (const QChar one = composed(out.back(), c); !one.isNull()) {
                    out.back() = one;
                    continue;
                }
            }
            out.append(c);
        }
    });
    return out;
}

} // namespace vadok
