#include "fulltext/indexpass.h"

#include "catalog/fileidentity.h"
#include "fulltext/bundledtexts.h"
#include "fulltext/searchdb.h"
#include "fulltext/searchfold.h"
#include "fulltext/textreader.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>

#include <sqlite3.h>

namespace vadok {

namespace {

const QString kTitlePlace = QStringLiteral("名称");
const QString kNotesPlace = QStringLiteral("説明");
const QString kNoSource = QStringLiteral("-");

enum Tier : qint64 { TitleTier = 0, NotesTier = 1, TextTier = 2 };

// A transaction holds about this much (original and folded text) at most: queries see the
// work in steps of a second or so, and the terms of one batch fit the index's memory for
// pending terms (searchdb.cpp), so that each batch is written out once.
constexpr qint64 kBatchText = 24 * 1024 * 1024;

struct Indexed {
    qint64 id = 0;
    QString notes;
    QString source;
    qint64 textBytes = 0;
};

class Writer {
public:
    explicit Writer(SearchDb& db)
        : m_db(db), m_addApp(db.handle(), "INSERT INTO apps(title, notes, source) VALUES(?, ?, ?)"),
          m_setNotes(db.handle(), "UPDATE apps SET notes = ? WHERE id = ?"),
          m_setSource(db.handle(),
                      "UPDATE apps SET source = ?, textbytes = ?, cut = ? WHERE id = ?"),
          m_setTitle(db.handle(), "UPDATE apps SET title = ? WHERE id = ?"),
          m_addMeta(db.handle(),
                    "INSERT INTO docmeta(app, tier, place, original) VALUES(?, ?, ?, ?)"),
          m_addDoc(db.handle(), "INSERT INTO docs(rowid, body) VALUES(?, ?)"),
          m_docsOf(db.handle(), "SELECT id FROM docmeta WHERE app = ? AND tier >= ? AND tier <= ?"),
          m_dropDoc(db.handle(), "DELETE FROM docs WHERE rowid = ?"),
          m_dropMeta(db.handle(), "DELETE FROM docmeta WHERE id = ?"),
          m_dropApp(db.handle(), "DELETE FROM apps WHERE id = ?") {}

    qint64 addApp(const AppSource& app) {
        m_addApp.bind(1, app.title).bind(2, app.notes).bind(3, kNoSource).run();
        return lastId();
    }
    void addDoc(qint64 app, Tier tier, const QString& place, const QString& text) {
        addDoc(app, tier, {place, text.toUtf8(), foldForSearch(text).toUtf8()});
    }
    void addDoc(qint64 app, Tier tier, const PreparedText& text) {
        m_addMeta.bind(1, app).bind(2, static_cast<qint64>(tier)).bind(3, text.place);
        m_addMeta.bindUtf8(4, text.original).run();
        m_addDoc.bind(1, lastId()).bindUtf8(2, text.folded).run();
        m_pending += text.original.size() + text.folded.size();
    }
    void dropDocs(qint64 app, Tier from, Tier to) {
        std::vector<qint64> ids;
        m_docsOf.bind(1, app).bind(2, static_cast<qint64>(from)).bind(3, static_cast<qint64>(to));
        while (m_docsOf.step())
            ids.push_back(m_docsOf.integer(0));
        m_docsOf.reset();
        for (const qint64 id : ids) {
            m_dropDoc.bind(1, id).run();
            m_dropMeta.bind(1, id).run();
        }
    }
    void dropApp(qint64 app) {
        dropDocs(app, TitleTier, TextTier);
        m_dropApp.bind(1, app).run();
    }
    void setNotes(qint64 app, const QString& notes) {
        dropDocs(app, NotesTier, NotesTier);
        if (!notes.isEmpty())
            addDoc(app, NotesTier, kNotesPlace, notes);
        m_setNotes.bind(1, notes).bind(2, app).run();
    }
    void setTitle(qint64 app, const QString& title) {
        dropDocs(app, TitleTier, TitleTier);
        addDoc(app, TitleTier, kTitlePlace, title);
        m_setTitle.bind(1, title).bind(2, app).run();
    }
    void setSource(qint64 app, const QString& source, qint64 textBytes, bool cut) {
        m_setSource.bind(1, source).bind(2, textBytes).bind(3, qint64(cut)).bind(4, app).run();
    }

    void commitWhenFull() {
        if (m_pending < kBatchText)
            return;
        m_db.exec("COMMIT; BEGIN");
        m_pending = 0;
    }

private:
    qint64 lastId() const { return sqlite3_last_insert_rowid(m_db.handle()); }

    SearchDb& m_db;
    SqlStatement m_addApp, m_setNotes, m_setSource, m_setTitle, m_addMeta, m_addDoc, m_docsOf,
        m_dropDoc, m_dropMeta, m_dropApp;
    qint64 m_pending = 0;
};

QHash<QString, Indexed> indexedApps(SearchDb& db) {
    QHash<QString, Indexed> found;
    SqlStatement all(db.handle(), "SELECT id, title, notes, source, textbytes FROM apps");
    while (all.step())
        found.insert(all.text(1), {all.integer(0), all.text(2), all.text(3), all.integer(4)});
    return found;
}

// Which applications' texts are to be read again, and from where.
struct TextWork {
    qint64 id = 0;
    QString source;
};

TextJob jobOf(const AppSource& app, const QString& source) {
    if (source.startsWith(u'f'))
        return {app.folder, {}};
    if (source.startsWith(u'a'))
        return {{}, app.archive};
    return {};
}

} // namespace

QString sourceKeyOf(const AppSource& app) {
    if (app.shortcut)
        return kNoSource;
    const QFileInfo folder(app.folder);
    if (folder.isDir() && !folder.isSymLink())
        return QStringLiteral("f:") + folderTextsStamp(app.folder);
    if (const std::optional<FileIdentity> id = fileIdentity(app.archive))
        return QStringLiteral("a:%1:%2:%3:%4")
            .arg(id->device)
            .arg(id->inode)
            .arg(id->size)
            .arg(id->modifiedNs);
    return kNoSource;
}

void runIndexPass(SearchDb& db, const std::vector<AppSource>& apps, const PassHooks& hooks) {
    QHash<QString, Indexed> indexed = indexedApps(db);
    std::vector<QString> sources;
    sources.reserve(apps.size());
    QHash<QString, bool> wanted;
    for (const AppSource& app : apps) {
        sources.push_back(sourceKeyOf(app));
        wanted.insert(app.title, true);
    }
    // Applications gone from the data file, by their source: a renamed one keeps its
    // archive's identity (or its folder's stamp) and so its texts.
    QHash<QString, QString> goneBySource;
    for (auto it = indexed.cbegin(); it != indexed.cend(); ++it)
        if (!wanted.contains(it.key()) && it->source != kNoSource)
            goneBySource.insert(it->source, it.key());

    const int total = static_cast<int>(apps.size());
    int done = 0;
    db.exec("BEGIN");
    Writer writer(db);
    try {
        // First what costs little: titles, notes, renames; the texts to read are noted.
        std::vector<TextWork> work;
        std::vector<TextJob> jobs;
        qint64 kept = 0; // bytes of the texts that stay as they are
        for (int i = 0; i < total; ++i) {
            const AppSource& app = apps[static_cast<std::size_t>(i)];
            const QString& source = sources[static_cast<std::size_t>(i)];
            auto known = indexed.find(app.title);
            if (known == indexed.end()) {
                if (const QString old = goneBySource.take(source); !old.isEmpty()) {
                    Indexed moved = indexed.take(old);
                    writer.setTitle(moved.id, app.title);
                    known = indexed.insert(app.title, moved);
                }
            }
            if (known == indexed.end()) {
                const qint64 id = writer.addApp(app);
                writer.addDoc(id, TitleTier, kTitlePlace, app.title);
                if (!app.notes.isEmpty())
                    writer.addDoc(id, NotesTier, kNotesPlace, app.notes);
                known = indexed.insert(app.title, {id, app.notes, kNoSource});
            } else if (known->notes != app.notes) {
                writer.setNotes(known->id, app.notes);
            }
            if (known->source != source) {
                work.push_back({known->id, source});
                jobs.push_back(jobOf(app, source));
            } else {
                kept += known->textBytes;
                if (hooks.progress)
                    hooks.progress(++done, total);
            }
        }
        for (auto it = indexed.cbegin(); it != indexed.cend(); ++it)
            if (!wanted.contains(it.key()))
                writer.dropApp(it->id);
        db.exec("COMMIT; BEGIN");

        // Then the texts, read on a thread of their own while this one writes.
        TextReader reader(std::move(jobs),
                          {hooks.appTextLimit, std::max<qint64>(0, hooks.indexTextLimit - kept)},
                          hooks.reading);
        ReadItem item;
        std::size_t begun = work.size();
        while (reader.next(item)) {
            if (hooks.stopping && hooks.stopping())
                break;
            const TextWork& w = work[item.job];
            if (begun != item.job) {
                writer.dropDocs(w.id, TextTier, TextTier);
                begun = item.job;
            }
            if (!item.end) {
                writer.addDoc(w.id, TextTier, item.text);
                writer.commitWhenFull();
                continue;
            }
            // A damaged archive keeps what could be read: its identity is recorded all the
            // same, so it is not read again until it changes.
            writer.setSource(w.id, w.source, item.bytes, item.cut);
            begun = work.size();
            if (hooks.progress)
                hooks.progress(++done, total);
        }
        db.exec("COMMIT");
    } catch (...) {
        try {
            db.exec("ROLLBACK");
        } catch (const SqlError&) {
        }
        throw;
    }
}

QStringList appsWithCutTexts(SearchDb& db) {
    QStringList titles;
    SqlStatement cut(db.handle(), "SELECT title FROM apps WHERE cut != 0 ORDER BY title");
    while (cut.step())
        titles.append(cut.text(0));
    return titles;
}

} // namespace vadok
