#include "catalog/datafilemerge.h"

#include "catalog/configattributes.h"
#include "catalog/mergeparts.h"
#include "catalog/threeway.h"
#include "catalog/xmldocument.h"

#include <QMap>

namespace vadok {

namespace {

SideValue valueIn(const QMap<QString, QString>& values, const QString& key) {
    const auto it = values.constFind(key);
    return it == values.cend() ? SideValue() : SideValue(*it);
}

// The element a setting's key names ("Config/Color/infoFont@Size"), made where missing when
// make is set; null otherwise.
XmlElement elementAt(XmlElement root, const QString& key, bool make) {
    XmlElement e = root;
    for (const QString& name : key.section(u'@', 0, 0).split(u'/')) {
        XmlElement child = e.firstChild(name);
        e = child.isNull() && make ? e.appendChild(name) : child;
    }
    return e;
}

// Each machine has its own screen and its own folders: where its window stands is kept
// without a word, and its folders are never another machine's.
bool isOwnWindowPlace(const QString& key) { return key.startsWith(QStringLiteral("Config/Pos@")); }
bool isOwnFolder(const QString& key) { return key.startsWith(QStringLiteral("Config/Folders@")); }

} // namespace

void MergeReport::addTaken(const QString& name) {
    if (!m_taken.contains(name)) {
        m_taken.insert(name);
        taken << name;
    }
}

void MergeReport::addClash(const QString& name, const QString& field) {
    const QString key = name + u'\n' + field;
    if (!m_clashes.contains(key)) {
        m_clashes.insert(key);
        clashes.append({name, field});
    }
}

void mergeSettings(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base,
                   MergeReport& report) {
    const QMap<QString, QString> mine = configAttributes(ours);
    const QMap<QString, QString> other = configAttributes(theirs);
    const QMap<QString, QString> common = configAttributes(base);
    QStringList keys = mine.keys() + other.keys() + common.keys();
    keys.removeDuplicates();
    const QString label = QStringLiteral("設定");
    bool taken = false;
    for (const QString& key : std::as_const(keys)) {
        if (isOwnFolder(key))
            continue;
        const ThreeWay merged =
            mergeThreeWay(valueIn(common, key), valueIn(mine, key), valueIn(other, key));
        if (merged.clash && !isOwnWindowPlace(key))
            report.addClash(label, key.section(u'@', 1));
        if (!merged.fromTheirs)
            continue;
        const QString attribute = key.section(u'@', 1);
        if (merged.value)
            elementAt(ours.documentElement(), key, true).setAttribute(attribute, *merged.value);
        else
            elementAt(ours.documentElement(), key, false).removeAttribute(attribute);
        taken = true;
    }
    if (taken) {
        report.addTaken(label);
        report.changed = true;
    }
}

MergeReport mergeDataFiles(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base) {
    MergeReport report;
    const MergedApps apps = mergeApps(ours, theirs, base, report);
    mergeFolders(ours, theirs, base, apps, report);
    mergeSettings(ours, theirs, base, report);
    return report;
}

} // namespace vadok
