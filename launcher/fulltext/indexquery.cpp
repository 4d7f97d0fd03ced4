#include "fulltext/indexquery.h"

#include "fulltext/excerpt.h"
#include "fulltext/searchdb.h"
#include "fulltext/searchfold.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <limits>

namespace vadok {

namespace {

// Shorter words have no trigram to look up.
constexpr int kTrigram = 3;
// What a word found by the substring scan scores: about what a common word scores in BM25.
constexpr double kScanScore = -1e-6;
// The words looked for in the excerpt of each hit: the first ones are enough to show where
// the hit is, and each costs a scan of the text.
constexpr int kExcerptWords = 16;

struct DocHit {
    qint64 app = 0;
    int tier = 0;
    int words = 0; // how many of the words it holds: each word finds a text at most once
    double score = 0;
};

struct AppHit {
    int lastWord = -1; // the last word found in it; words are looked for one after another
    int tier = std::numeric_limits<int>::max();
    std::vector<double> best; // per word, its best score in any of the app's texts
    qint64 shownDoc = 0;
};

int characters(const QString& word) { return static_cast<int>(word.toUcs4().size()); }

QString phrase(QString word) { return u'"' + word.replace(u'"', QStringLiteral("\"\"")) + u'"'; }

class Search {
public:
    Search(SearchDb& db, QStringList words) : m_db(db), m_words(std::move(words)) {}

    void find() {
        for (int k = 0; k < m_words.size(); ++k) {
            if (characters(m_words[k]) >= kTrigram)
                lookUp(k);
            else
                scan(k);
            // Later words only narrow what the earlier ones found.
            m_candidates.clear();
            for (auto it = m_apps.begin(); it != m_apps.end();) {
                if (it->lastWord == k) {
                    m_candidates.insert(it.key());
                    ++it;
                } else {
                    it = m_apps.erase(it);
                }
            }
            if (m_candidates.isEmpty())
                return;
        }
    }

    std::vector<FullTextHit> hits(int limit) {
        struct Ranked {
            qint64 app;
            int tier;
            double score;
            QString title;
        };
        std::vector<Ranked> ranked;
        {
            SqlStatement title(m_db.handle(), "SELECT title FROM apps WHERE id = ?");
            for (auto it = m_apps.cbegin(); it != m_apps.cend(); ++it) {
                double score = 0;
                for (double s : it->best)
                    score += s;
                title.bind(1, it.key());
                const QString name = title.step() ? title.text(0) : QString();
                title.reset();
                ranked.push_back({it.key(), it->tier, score, name});
            }
        }
        std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
            if (a.tier != b.tier)
                return a.tier < b.tier;
            if (a.score != b.score)
                return a.score < b.score; // BM25: lower is better
            return a.title < b.title;
        });
        if (ranked.size() > static_cast<std::size_t>(limit))
            ranked.resize(static_cast<std::size_t>(std::max(0, limit)));

        const QStringList shownWords = m_words.mid(0, kExcerptWords);
        std::vector<FullTextHit> out;
        SqlStatement doc(m_db.handle(), "SELECT place, original FROM docmeta WHERE id = ?");
        for (const Ranked& r : ranked) {
            FullTextHit hit;
            hit.title = r.title;
            doc.bind(1, shownDocOf(r.app));
            if (doc.step()) {
                hit.place = doc.text(0);
                const Excerpt e = excerptOf(doc.text(1), shownWords);
                hit.excerpt = e.text;
                hit.marks = e.marks;
            }
            doc.reset();
            out.push_back(std::move(hit));
        }
        return out;
    }

private:
    void found(qint64 doc, qint64 app, int tier, int word, double score) {
        if (!m_candidates.isEmpty() && !m_candidates.contains(app))
            return;
        DocHit& d = m_docs[doc];
        d.app = app;
        d.tier = tier;
        ++d.words;
        d.score += score;
        AppHit& a = m_apps[app];
        if (a.best.empty())
            a.best.assign(static_cast<std::size_t>(m_words.size()), 0.0);
        a.lastWord = word;
        a.tier = std::min(a.tier, tier);
        a.best[static_cast<std::size_t>(word)] = std::min(a.best[static_cast<std::size_t>(word)], score);
    }

    void lookUp(int word) {
        SqlStatement q(m_db.handle(),
                       "SELECT docs.rowid, m.app, m.tier, bm25(docs) FROM docs "
                       "JOIN docmeta m ON m.id = docs.rowid WHERE docs MATCH ?");
        q.bind(1, phrase(m_words[word]));
        while (q.step())
            found(q.integer(0), q.integer(1), static_cast<int>(q.integer(2)), word, q.real(3));
    }

    void scan(int word) {
        if (m_candidates.isEmpty()) {
            SqlStatement q(m_db.handle(),
                           "SELECT docs.rowid, m.app, m.tier FROM docs "
                           "JOIN docmeta m ON m.id = docs.rowid WHERE instr(docs.body, ?) > 0");
            q.bind(1, m_words[word]);
            while (q.step())
                found(q.integer(0), q.integer(1), static_cast<int>(q.integer(2)), word, kScanScore);
            return;
        }
        SqlStatement q(m_db.handle(),
                       "SELECT m.id, m.tier FROM docmeta m JOIN docs ON docs.rowid = m.id "
                       "WHERE m.app = ? AND instr(docs.body, ?) > 0");
        for (const qint64 app : std::as_const(m_candidates)) {
            q.bind(1, app).bind(2, m_words[word]);
            while (q.step())
                found(q.integer(0), app, static_cast<int>(q.integer(1)), word, kScanScore);
            q.reset();
        }
    }

    // The text shown for an application: of its best tier, the one holding the most words,
    // then the best scored.
    qint64 shownDocOf(qint64 app) const {
        qint64 best = 0;
        const DocHit* b = nullptr;
        for (auto it = m_docs.cbegin(); it != m_docs.cend(); ++it) {
            const DocHit& d = *it;
            if (d.app != app)
                continue;
            const auto better = [&] {
                if (!b || d.tier != b->tier)
                    return !b || d.tier < b->tier;
                if (d.words != b->words)
                    return d.words > b->words;
                if (d.score != b->score)
                    return d.score < b->score;
                return it.key() < best;
            };
            if (better()) {
                b = &d;
                best = it.key();
            }
        }
        return best;
    }

    SearchDb& m_db;
    QStringList m_words;
    QHash<qint64, DocHit> m_docs;
    QHash<qint64, AppHit> m_apps;
    QSet<qint64> m_candidates;
};

} // namespace

std::vector<FullTextHit> runQuery(SearchDb& db, const QString& text, int limit) {
    QStringList words;
    QSet<QString> seen;
    for (const QString& w : foldForSearch(text).split(QRegularExpression(QStringLiteral("\\s+")),
                                                      Qt::SkipEmptyParts))
        if (!seen.contains(w)) {
            seen.insert(w);
            words.append(w);
        }
    if (words.isEmpty())
        return {};
    // Trigram look-ups first: they are quick, and the scans then only read their results.
    std::stable_sort(words.begin(), words.end(), [](const QString& a, const QString& b) {
        return (characters(a) >= kTrigram) > (characters(b) >= kTrigram);
    });
    Search search(db, words);
    search.find();
    return search.hits(limit);
}

} // namespace vadok
