#include "catalog/datafilemerge.h"

#include "catalog/configattributes.h"
#include "catalog/mergeparts.h"
#include "catalog/threeway.h"
#include "catalog/xmldocument.h"

#include <QMap>

namespace vadok {

namespace {

Version valueIn(const QMap<QString, QString>& values, const QString& key) {
    const auto it = values.constFind(key);
    return it == values.cend() ? Version() : Version(*it);
}

XmlElement elementAt(XmlElement root, const QString& path) {
    XmlElement e = root;
    for (const QString& name : path.split(u'/')) {
        XmlElement child = e.firstChild(name);
        e = child.isNull() ? e.appendChild(name) : child;
    }
    return e;
}

} // namespace

void reportClash(MergeReport& report, const QString& name, const QString& field) {
    for (const MergeReport::Clash& clash : std::as_const(report.clashes)) {
        if (clash.name == name && clash.field == field)
            return;
    }
    report.clashes.append({name, field});
}

void reportTaken(MergeReport& report, const QString& name) {
    if (!report.taken.contains(name))
        report.taken << name;
}

void mergeSettings(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base,
                   MergeReport& report) {
    const QMap<QString, QString> mine = configAttributes(ours);
    const QMap<QString, QString> other = configAttributes(theirs);
    const QMap<QString, QString> common = configAttributes(base);
    bool taken = false;
    for (auto it = other.cbegin(); it != other.cend(); ++it) {
        const ThreeWay merged =
            mergeThreeWay(valueIn(common, it.key()), valueIn(mine, it.key()), *it);
        if (!merged.fromTheirs)
            continue;
        const QString path = it.key().section(u'@', 0, 0);
        elementAt(ours.documentElement(), path).setAttribute(it.key().section(u'@', 1), *it);
        taken = true;
    }
    if (taken) {
        reportTaken(report, QStringLiteral("設定"));
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
