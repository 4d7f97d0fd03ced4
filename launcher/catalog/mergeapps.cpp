// Application records, merged field by field.
#include "catalog/mergeparts.h"

#include "catalog/threeway.h"
#include "catalog/valueconv.h"
#include "catalog/xmldocument.h"

#include <array>

namespace vadok {

namespace {

// The fields compared one by one. The last-use time is not among them: it always takes the
// later of the two.
enum Field { Fol, Exec, NonPack, ShortCut, Notes, SubExec, FieldCount };

// As the editor labels them, so that a reported clash reads like the screen the user knows.
const std::array<const char16_t*, FieldCount> kLabels{
    u"フォルダ", u"実行コマンド", u"圧縮保存しない", u"ショートカット", u"説明", u"通常以外の実行"};

const QString kName = QStringLiteral("Name");
const QString kDate = QStringLiteral("Date");
const QChar kSeparator = u'\n';

struct AppVersion {
    XmlElement element;
    QString date;
    std::array<QString, FieldCount> fields;
};

struct AppTable {
    QStringList order;
    QHash<QString, AppVersion> byName;
};

QString joinedChildren(const XmlElement& parent, const QString& name) {
    QStringList parts;
    for (const XmlElement& child : parent.children(name))
        parts << child.text();
    return parts.join(kSeparator);
}

// Each field in one comparable text: a missing element reads as what it means (NonPack
// False, no notes), so that writing it out explicitly is not taken for a change.
AppVersion versionOf(const XmlElement& app) {
    AppVersion v;
    v.element = app;
    v.date = app.firstChild(kDate).text();
    v.fields[Fol] = app.firstChild(QStringLiteral("Fol")).text();
    v.fields[Exec] = app.firstChild(QStringLiteral("Exec")).text();
    v.fields[NonPack] =
        boolElementText(textToBool(app.firstChild(QStringLiteral("NonPack")).text()).value_or(false));
    const XmlElement shortCut = app.firstChild(QStringLiteral("ShortCut"));
    if (textToBool(shortCut.text()).value_or(false))
        v.fields[ShortCut] = boolElementText(true) + kSeparator + shortCut.attribute(QStringLiteral("basePath"));
    v.fields[Notes] = joinedChildren(app.firstChild(QStringLiteral("Text")), QStringLiteral("Line"));
    v.fields[SubExec] = joinedChildren(app.firstChild(QStringLiteral("SubExec")), QStringLiteral("Cmd"));
    return v;
}

AppTable appsOf(const XmlDocument& doc) {
    AppTable table;
    const XmlElement apps = doc.documentElement().firstChild(QStringLiteral("Apps"));
    for (const XmlElement& app : apps.children(QStringLiteral("App"))) {
        const QString name = app.firstChild(kName).text();
        // The first record of a name is the one every lookup finds.
        if (table.byName.contains(name))
            continue;
        table.order << name;
        table.byName.insert(name, versionOf(app));
    }
    return table;
}

XmlElement childOrNew(XmlElement& parent, const QString& name) {
    XmlElement found = parent.firstChild(name);
    return found.isNull() ? parent.appendChild(name) : found;
}

void writeChildren(XmlElement parent, const QString& name, const QString& joined) {
    parent.removeChildren();
    for (const QString& part : joined.split(kSeparator))
        parent.appendChild(name).setText(part);
}

void writeField(XmlElement app, Field field, const QString& value) {
    switch (field) {
    case Fol:
        childOrNew(app, QStringLiteral("Fol")).setText(value);
        break;
    case Exec:
        childOrNew(app, QStringLiteral("Exec")).setText(value);
        break;
    case NonPack:
        childOrNew(app, QStringLiteral("NonPack")).setText(value);
        break;
    case ShortCut:
        if (value.isEmpty()) {
            app.firstChild(QStringLiteral("ShortCut")).remove();
        } else {
            XmlElement shortCut = childOrNew(app, QStringLiteral("ShortCut"));
            shortCut.setText(value.section(kSeparator, 0, 0));
            shortCut.setAttribute(QStringLiteral("basePath"), value.section(kSeparator, 1));
        }
        break;
    case Notes:
        writeChildren(childOrNew(app, QStringLiteral("Text")), QStringLiteral("Line"), value);
        break;
    case SubExec:
        if (value.isEmpty())
            app.firstChild(QStringLiteral("SubExec")).remove();
        else
            writeChildren(childOrNew(app, QStringLiteral("SubExec")), QStringLiteral("Cmd"), value);
        break;
    case FieldCount:
        break;
    }
}

// Whether theirs was used later than ours. A time that does not read loses to one that does.
bool usedLater(const QString& theirs, const QString& ours) {
    const std::optional<QDateTime> t = textToDateTime(theirs);
    const std::optional<QDateTime> o = textToDateTime(ours);
    return t && (!o || *t > *o);
}

Version fieldOf(const AppVersion* app, Field field) {
    return app ? Version(app->fields[field]) : std::nullopt;
}

// Merges theirs into the record ours holds; true when ours changed.
bool mergeRecord(const QString& name, AppVersion& ours, const AppVersion& theirs,
                 const AppVersion* base, MergeReport& report) {
    bool changed = false;
    for (int f = 0; f < FieldCount; ++f) {
        const Field field = Field(f);
        const ThreeWay merged = mergeThreeWay(fieldOf(base, field), ours.fields[f], theirs.fields[f]);
        if (merged.clash)
            reportClash(report, name, QString::fromUtf16(kLabels[f]));
        if (merged.fromTheirs) {
            writeField(ours.element, field, *merged.value);
            ours.fields[f] = *merged.value;
            changed = true;
        }
    }
    if (usedLater(theirs.date, ours.date)) {
        childOrNew(ours.element, kDate).setText(theirs.date);
        ours.date = theirs.date;
        changed = true;
    }
    return changed;
}

} // namespace

MergedApps mergeApps(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base,
                     MergeReport& report) {
    AppTable mine = appsOf(ours);
    const AppTable other = appsOf(theirs);
    const AppTable common = appsOf(base);
    MergedApps result;

    for (const QString& name : std::as_const(mine.order)) {
        AppVersion& own = mine.byName[name];
        const auto theirsIt = other.byName.constFind(name);
        const auto baseIt = common.byName.constFind(name);
        const AppVersion* was = baseIt == common.byName.cend() ? nullptr : &*baseIt;
        if (theirsIt != other.byName.cend()) {
            if (mergeRecord(name, own, *theirsIt, was, report)) {
                reportTaken(report, name);
                report.changed = true;
            }
        } else if (was) {
            // Theirs deleted it after both had it.
            own.element.remove();
            result.deleted.insert(name);
            report.changed = true;
            continue;
        }
    }

    XmlElement apps = ours.documentElement().firstChild(QStringLiteral("Apps"));
    for (const QString& name : other.order) {
        // Present in ours already, or deleted by ours after both had it.
        if (mine.byName.contains(name) || common.byName.contains(name))
            continue;
        if (apps.isNull())
            apps = ours.documentElement().appendChild(QStringLiteral("Apps"));
        const AppVersion& added = other.byName[name];
        apps.appendCopy(added.element);
        reportTaken(report, name);
        report.changed = true;
    }
    return result;
}

bool descendsFrom(const XmlDocument& version, const XmlDocument& base) {
    const AppTable later = appsOf(version);
    const AppTable earlier = appsOf(base);
    for (auto it = earlier.byName.cbegin(); it != earlier.byName.cend(); ++it) {
        const auto found = later.byName.constFind(it.key());
        if (found != later.byName.cend() && usedLater(it->date, found->date))
            return false;
    }
    return true;
}

} // namespace vadok
