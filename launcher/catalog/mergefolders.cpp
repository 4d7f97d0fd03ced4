// Folders and the places of the applications in them: which folders there are, under which
// parent, and in what order the tree shows folders and applications.
#include "catalog/mergeparts.h"

#include "catalog/threeway.h"
#include "catalog/xmldocument.h"

namespace vadok {

namespace {

const QString kRoot = QStringLiteral("ROOT");
const QString kName = QStringLiteral("Name");
const QString kParent = QStringLiteral("Parent");
const QString kOrder = QStringLiteral("Order");

struct FolderVersion {
    QString parent;
    QString order;
    QStringList items;
};

struct Layout {
    QStringList order; // folders in document order
    QHash<QString, FolderVersion> byName;
    QHash<QString, QString> placeOf; // application → the folder listing it
};

XmlElement foldersElement(const XmlDocument& doc) {
    return doc.documentElement().firstChild(QStringLiteral("Folders"));
}

// As the tree reads it: the first folder of a name, and an application's first place.
Layout layoutOf(const XmlDocument& doc) {
    Layout layout;
    for (const XmlElement& folder : foldersElement(doc).children(QStringLiteral("Folder"))) {
        const QString name = folder.attribute(kName);
        if (layout.byName.contains(name))
            continue;
        FolderVersion v{folder.attribute(kParent), folder.attribute(kOrder), {}};
        for (const XmlElement& item : folder.children(QStringLiteral("AppItem"))) {
            const QString app = item.text();
            if (layout.placeOf.contains(app))
                continue;
            layout.placeOf.insert(app, name);
            v.items << app;
        }
        layout.order << name;
        layout.byName.insert(name, v);
    }
    return layout;
}

Version parentIn(const Layout& layout, const QString& folder) {
    const auto it = layout.byName.constFind(folder);
    return it == layout.byName.cend() ? Version() : Version(it->parent);
}

Version placeIn(const Layout& layout, const QString& app) {
    const auto it = layout.placeOf.constFind(app);
    return it == layout.placeOf.cend() ? Version() : Version(*it);
}

// Ours' order, with what only theirs has in this place put after the entry it followed in
// theirs (first when it followed none that is here).
void placeAfterNeighbours(QStringList& list, const QStringList& theirs,
                          const std::function<bool(const QString&)>& belongs) {
    QSet<QString> here(list.cbegin(), list.cend());
    for (qsizetype i = 0; i < theirs.size(); ++i) {
        const QString& name = theirs[i];
        if (here.contains(name) || !belongs(name))
            continue;
        qsizetype at = 0;
        for (qsizetype j = i - 1; j >= 0; --j) {
            if (here.contains(theirs[j])) {
                at = list.indexOf(theirs[j]) + 1;
                break;
            }
        }
        list.insert(at, name);
        here.insert(name);
    }
}

struct MergedFolder {
    QString name;
    QString parent;
    QString order;
    QStringList items;
    bool operator==(const MergedFolder&) const = default;
};

// Parents before their children, siblings in the given order: what the tree build needs.
// A folder no chain of parents leads to from the root (its parent gone, or two folders each
// moved under the other on different machines) is put under the root rather than lost.
QList<MergedFolder> inTreeOrder(const QStringList& order, QHash<QString, MergedFolder>& folders) {
    QHash<QString, QStringList> children;
    for (const QString& name : order) {
        if (name != kRoot)
            children[folders[name].parent].append(name);
    }
    QList<MergedFolder> result;
    QSet<QString> written;
    std::function<void(const QString&)> write = [&](const QString& name) {
        if (written.contains(name))
            return;
        written.insert(name);
        result.append(folders[name]);
        for (const QString& child : children.value(name))
            write(child);
    };
    if (folders.contains(kRoot))
        write(kRoot);
    else
        for (const QString& child : children.value(kRoot))
            write(child);
    for (const QString& name : order) {
        if (!written.contains(name)) {
            folders[name].parent = kRoot;
            write(name);
        }
    }
    return result;
}

QList<MergedFolder> asWritten(const Layout& layout) {
    QList<MergedFolder> result;
    for (const QString& name : layout.order) {
        const FolderVersion& v = layout.byName[name];
        result.append({name, v.parent, v.order, v.items});
    }
    return result;
}

// The three versions a merge reads.
struct Layouts {
    Layout mine, other, common;
};

// Which folders there are, and under which parent; names receives every folder name any
// version knows, ours first.
QHash<QString, MergedFolder> mergeParents(const Layouts& l, QStringList& names,
                                          MergeReport& report) {
    QHash<QString, MergedFolder> folders;
    names = l.mine.order;
    for (const QString& name : l.other.order + l.common.order) {
        if (!names.contains(name))
            names << name;
    }
    for (const QString& name : std::as_const(names)) {
        const ThreeWay parent = mergeThreeWay(parentIn(l.common, name), parentIn(l.mine, name),
                                              parentIn(l.other, name));
        if (parent.clash && parent.value && parentIn(l.other, name))
            reportClash(report, name, QStringLiteral("親フォルダ"));
        if (parent.fromTheirs && parent.value)
            reportTaken(report, name);
        if (parent.value)
            folders.insert(name, {name, *parent.value, {}, {}});
    }
    return folders;
}

// Where each application is shown.
QHash<QString, QString> mergePlaces(const Layouts& l, const MergedApps& apps, MergeReport& report) {
    QHash<QString, QString> place;
    QStringList placed = l.mine.placeOf.keys() + l.other.placeOf.keys();
    for (const QString& app : std::as_const(placed)) {
        if (apps.deleted.contains(app) || place.contains(app))
            continue;
        const ThreeWay where =
            mergeThreeWay(placeIn(l.common, app), placeIn(l.mine, app), placeIn(l.other, app));
        if (where.clash && where.value && placeIn(l.other, app))
            reportClash(report, app, QStringLiteral("フォルダ"));
        if (where.value)
            place.insert(app, *where.value);
    }
    return place;
}

// A folder deleted on one side stays while an application is shown in it or a folder that
// stays lies under it.
void keepNeededFolders(const Layouts& l, const QHash<QString, QString>& place,
                       QHash<QString, MergedFolder>& folders, QStringList& names) {
    QStringList needed = place.values();
    for (const MergedFolder& folder : std::as_const(folders))
        needed << folder.parent;
    while (!needed.isEmpty()) {
        const QString name = needed.takeLast();
        if (name.isEmpty() || folders.contains(name))
            continue;
        Version parent = parentIn(l.mine, name);
        if (!parent)
            parent = parentIn(l.other, name);
        if (!parent)
            parent = parentIn(l.common, name);
        folders.insert(name, {name, parent.value_or(kRoot), {}, {}});
        if (!names.contains(name))
            names << name;
        needed << folders[name].parent;
    }
}

// Order: folders among their siblings, applications within their folder.
QStringList orderFolders(const Layouts& l, const QHash<QString, QString>& place,
                         const QStringList& names, QHash<QString, MergedFolder>& folders) {
    QStringList order;
    for (const QString& name : l.mine.order) {
        if (folders.contains(name))
            order << name;
    }
    placeAfterNeighbours(order, l.other.order,
                         [&](const QString& n) { return folders.contains(n); });
    for (const QString& name : names) {
        if (folders.contains(name) && !order.contains(name))
            order << name;
    }
    for (const QString& name : std::as_const(order)) {
        MergedFolder& folder = folders[name];
        const auto is = [&](const QString& app) { return place.value(app) == name; };
        for (const QString& app : l.mine.byName.value(name).items) {
            if (is(app))
                folder.items << app;
        }
        placeAfterNeighbours(folder.items, l.other.byName.value(name).items, is);
        const QString kept = l.mine.byName.contains(name) ? l.mine.byName[name].order
                                                          : l.other.byName.value(name).order;
        folder.order = kept.isEmpty() ? QStringLiteral("99") : kept;
    }
    return order;
}

void writeFolders(XmlDocument& doc, const QList<MergedFolder>& merged) {
    XmlElement element = foldersElement(doc);
    if (element.isNull())
        element = doc.documentElement().appendChild(QStringLiteral("Folders"));
    element.removeChildren();
    for (const MergedFolder& folder : merged) {
        XmlElement written = element.appendChild(QStringLiteral("Folder"));
        written.setAttribute(kName, folder.name);
        written.setAttribute(kParent, folder.parent);
        written.setAttribute(kOrder, folder.order);
        for (const QString& app : folder.items)
            written.appendChild(QStringLiteral("AppItem")).setText(app);
    }
}

} // namespace

void mergeFolders(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base,
                  const MergedApps& apps, MergeReport& report) {
    const Layouts layouts{layoutOf(ours), layoutOf(theirs), layoutOf(base)};
    QStringList names;
    QHash<QString, MergedFolder> folders = mergeParents(layouts, names, report);
    const QHash<QString, QString> place = mergePlaces(layouts, apps, report);
    keepNeededFolders(layouts, place, folders, names);
    const QStringList order = orderFolders(layouts, place, names, folders);
    const QList<MergedFolder> merged = inTreeOrder(order, folders);
    if (merged == asWritten(layouts.mine))
        return;
    report.changed = true;
    writeFolders(ours, merged);
}

} // namespace vadok
