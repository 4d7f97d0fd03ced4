// Application records, merged field by field.
#include "catalog/mergeparts.h"

#include "catalog/threeway.h"
#include "catalog/valueconv.h"
#include "catalog/xmldocument.h"

#include <array>
#include <utility>

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

QString joinedChildren(const XmlElement& parent, const char* name) {
    QString joined;
    bool any = false;
    for (XmlElement child = parent.firstElement(); child; child = child.nextElement()) {
        if (!child.isNamed(name))
            continue;
        if (std::exchange(any, true))
            joined += kSeparator;
        joined += child.text();
    }
    return joined;
}

// Each field in one comparable text: a missing element reads as what it means (NonPack
// False, no notes), so that writing it out explicitly is not taken for a change. One pass
// over the record's children: the first element of each name is the one that counts.
AppVersion versionOf(const XmlElement& app) {
    AppVersion v;
    v.element = app;
    v.fields[NonPack] = boolElementText(false);
    std::array<bool, FieldCount> seen{};
    bool dateSeen = false;
    const auto first = [&](Field f) { return !std::exchange(seen[f], true); };
    for (XmlElement child = app.firstElement(); child; child = child.nextElement()) {
        if (child.isNamed("Date") && !std::exchange(dateSeen, true))
            v.date = child.text();
        else if (child.isNamed("Fol") && first(Fol))
            v.fields[Fol] = child.text();
        else if (child.isNamed("Exec") && first(Exec))
            v.fields[Exec] = child.text();
        else if (child.isNamed("NonPack") && first(NonPack))
            v.fields[NonPack] = boolElementText(textToBool(child.text()).value_or(false));
        else if (child.isNamed("ShortCut") && first(ShortCut) &&
                 textToBool(child.text()).value_or(false))
            v.fields[ShortCut] =
                boolElementText(true) + kSeparator + child.attribute(QStringLiteral("basePath"));
        else if (child.isNamed("Text") && first(Notes))
            v.fields[Notes] = joinedChildren(child, "Line");
        else if (child.isNamed("SubExec") && first(SubExec))
            v.fields[SubExec] = joinedChildren(child, "Cmd");
    }
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

// The numbers of a time in the form the file is written in ("2026/12/08 9:05:00"), in the
// order they compare in; nullopt for any other form, a field of more digits than the form
// has among them (a year of four, the others of two), so that no run of digits from a
// synced file can overflow a number.
std::optional<std::array<int, 6>> writtenTimeKey(const QString& text) {
    std::array<int, 6> key{};
    const char16_t separators[] = {u'/', u'/', u' ', u':', u':'};
    int field = 0;
    int digits = 0;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 128) {
            if (++digits > (field == 0 ? 4 : 2))
                return std::nullopt;
            key[size_t(field)] = key[size_t(field)] * 10 + (c.unicode() - u'0');
        } else if (field < 5 && digits > 0 && c.unicode() == separators[field]) {
            ++field;
            digits = 0;
        } else {
            return std::nullopt;
        }
    }
    if (field != 5 || digits == 0)
        return std::nullopt;
    return key;
}

// Whether theirs was used later than ours. A time that does not read loses to one that does.
// Times in the written form compare by their numbers: reading a local time costs a look at
// the time zone, which thousands of records would feel.
bool usedLater(const QString& theirs, const QString& ours) {
    if (theirs == ours)
        return false;
    const auto t = writtenTimeKey(theirs), o = writtenTimeKey(ours);
    if (t && o)
        return *t > *o;
    const std::optional<QDateTime> later = textToDateTime(theirs);
    const std::optional<QDateTime> earlier = textToDateTime(ours);
    return later && (!earlier || *later > *earlier);
}

SideValue fieldOf(const AppVersion* app, Field field) {
    return app ? SideValue(app->fields[field]) : std::nullopt;
}

// Whether a side left the record as base has it: no field and no last use changed.
bool untouched(const AppVersion& side, const AppVersion& base) {
    return side.fields == base.fields && side.date == base.date;
}

// Merges theirs into the record ours holds; true when ours changed.
bool mergeRecord(const QString& name, AppVersion& ours, const AppVersion& theirs,
                 const AppVersion* base, MergeReport& report) {
    bool changed = false;
    for (int f = 0; f < FieldCount; ++f) {
        const Field field = Field(f);
        const ThreeWay merged =
            mergeThreeWay(fieldOf(base, field), ours.fields[f], theirs.fields[f]);
        if (merged.clash)
            report.addClash(name, QString::fromUtf16(kLabels[f]));
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
    result.inOurs = QSet<QString>(mine.order.cbegin(), mine.order.cend());
    result.inTheirs = QSet<QString>(other.order.cbegin(), other.order.cend());
    result.inBase = QSet<QString>(common.order.cbegin(), common.order.cend());

    for (const QString& name : std::as_const(mine.order)) {
        AppVersion& own = mine.byName[name];
        const auto theirsIt = other.byName.constFind(name);
        const auto baseIt = common.byName.constFind(name);
        const AppVersion* was = baseIt == common.byName.cend() ? nullptr : &*baseIt;
        if (theirsIt != other.byName.cend()) {
            if (mergeRecord(name, own, *theirsIt, was, report)) {
                report.addTaken(name);
                report.changed = true;
            }
        } else if (was && untouched(own, *was)) {
            // Theirs deleted it after both had it, and ours did nothing with it since.
            own.element.remove();
            report.deleted << name;
            report.changed = true;
            continue;
        } else if (was) {
            // Deleted there, changed here: what the user did here is not thrown away.
            report.kept.append({name, false});
        }
        result.merged.insert(name);
    }

    XmlElement apps = ours.documentElement().firstChild(QStringLiteral("Apps"));
    for (const QString& name : other.order) {
        if (result.inOurs.contains(name))
            continue;
        const AppVersion& added = other.byName[name];
        const auto baseIt = common.byName.constFind(name);
        // Ours deleted it after both had it, and theirs did nothing with it since.
        if (baseIt != common.byName.cend() && untouched(added, *baseIt))
            continue;
        if (apps.isNull())
            apps = ours.documentElement().appendChild(QStringLiteral("Apps"));
        apps.appendCopy(added.element);
        if (baseIt != common.byName.cend())
            report.kept.append({name, true}); // deleted here, changed there
        else
            report.addTaken(name);
        result.merged.insert(name);
        report.changed = true;
    }
    return result;
}

} // namespace vadok
