// Folders and the places of the applications in them: which folders there are, under which
// parent, and in what order the tree shows folders and applications.
#include "catalog/mergeparts.h"

#include "catalog/threeway.h"
#include "catalog/xmldocument.h"

#include <functional>
#include <optional>
#include <vector>

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

SideValue parentIn(const Layout& layout, const QString& folder) {
    const auto it = layout.byName.constFind(folder);
    return it == layout.byName.cend() ? SideValue() : SideValue(it->parent);
}

SideValue placeIn(const Layout& layout, const QString& app) {
    const auto it = layout.placeOf.constFind(app);
    return it == layout.placeOf.cend() ? SideValue() : SideValue(*it);
}

// Ours' order, with what only theirs has in this place put after the entry it followed in
// theirs (first when it followed none that is here). One pass over each list: every entry
// theirs adds hangs on the entry before it there, and the chains are laid out after.
void placeAfterNeighbours(QStringList& list, const QStringList& theirs,
                          const std::function<bool(const QString&)>& belongs) {
    QSet<QString> here(list.cbegin(), list.cend());
    QHash<QString, QString> follower; // entry → the added entry that goes right after it
    std::optional<QString> first;     // the added entry that goes before everything
    std::optional<QString> anchor;    // the last entry of theirs met that is here
    for (const QString& name : theirs) {
        if (!here.contains(name)) {
            if (!belongs(name))
                continue;
            // Right after its anchor, before an entry added there earlier.
            std::optional<QString> after = first;
            if (anchor) {
                const auto it = follower.constFind(*anchor);
                after = it == follower.cend() ? std::nullopt : std::optional<QString>(*it);
                follower.insert(*anchor, name);
            } else {
                first = name;
            }
            if (after)
                follower.insert(name, *after);
            here.insert(name);
        }
        anchor = name;
    }
    QStringList result;
    result.reserve(here.size());
    const auto addFollowers = [&](const QString& name) {
        for (auto it = follower.constFind(name); it != follower.cend(); it = follower.constFind(*it))
            result << *it;
    };
    if (first) {
        result << *first;
        addFollowers(*first);
    }
    for (const QString& name : std::as_const(list)) {
        result << name;
        addFollowers(name);
    }
    list = result;
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
// moved under the other on different machines) is put under the root rather than lost. The
// walk keeps its own stack: a chain of parents from a file can be as long as the file.
QList<MergedFolder> inTreeOrder(const QStringList& order, QHash<QString, MergedFolder>& folders) {
    QHash<QString, QStringList> children;
    for (const QString& name : order) {
        if (name != kRoot)
            children[folders[name].parent].append(name);
    }
    QList<MergedFolder> result;
    QSet<QString> written;
    // Each entry: a list of siblings and the next of them to write.
    std::vector<std::pair<QStringList, qsizetype>> pending;
    const auto write = [&](const QStringList& tops) {
        pending.emplace_back(tops, 0);
        while (!pending.empty()) {
            auto& [siblings, next] = pending.back();
            if (next == siblings.size()) {
                pending.pop_back();
                continue;
            }
            const QString name = siblings[next++];
            if (written.contains(name))
                continue;
            written.insert(name);
            result.append(folders[name]);
            const auto below = children.constFind(name);
            if (below != children.cend())
                pending.emplace_back(*below, 0);
        }
    };
    if (folders.contains(kRoot))
        write({kRoot});
    else
        write(children.value(kRoot));
    for (const QString& name : order) {
        if (!written.contains(name)) {
            folders[name].parent = kRoot;
            write({name});
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
    QSet<QString> known(names.cbegin(), names.cend());
    for (const QStringList* more : {&l.other.order, &l.common.order}) {
        for (const QString& name : *more) {
            if (!known.contains(name)) {
                known.insert(name);
                names << name;
            }
        }
    }
    for (const QString& name : std::as_const(names)) {
        const SideValue was = parentIn(l.common, name);
        const SideValue mine = parentIn(l.mine, name);
        const SideValue other = parentIn(l.other, name);
        ThreeWay parent = mergeThreeWay(was, mine, other);
        // Deleted on one side, moved on the other: it stays where it was moved to.
        if (was && !mine && other && *other != *was) {
            parent = {other, true, false};
            report.kept.append({name, true});
        } else if (was && mine && !other && *mine != *was) {
            parent = {mine, false, false};
            report.kept.append({name, false});
        }
        if (parent.clash && parent.value && other)
            report.addClash(name, QStringLiteral("親フォルダ"));
        if (parent.fromTheirs && parent.value)
            report.addTaken(name);
        if (parent.value)
            folders.insert(name, {name, *parent.value, {}, {}});
    }
    return folders;
}

// Where each application is shown. A side that has no record of an application (it deleted
// it, or never had it) has no say in where the other side put it.
QHash<QString, QString> mergePlaces(const Layouts& l, const MergedApps& apps, MergeReport& report) {
    QHash<QString, QString> place;
    const QList<QString> placed = l.mine.placeOf.keys() + l.other.placeOf.keys();
    for (const QString& app : placed) {
        if (place.contains(app))
            continue;
        const bool recorded = apps.hasRecord(app);
        if (recorded && !apps.merged.contains(app))
            continue;
        const SideValue was = placeIn(l.common, app);
        const SideValue mine =
            recorded && !apps.inOurs.contains(app) ? was : placeIn(l.mine, app);
        const SideValue other =
            recorded && !apps.inTheirs.contains(app) ? was : placeIn(l.other, app);
        const ThreeWay where = mergeThreeWay(was, mine, other);
        if (where.clash && where.value && other)
            report.addClash(app, QStringLiteral("フォルダ"));
        if (where.value)
            place.insert(app, *where.value);
    }
    return place;
}

// A folder deleted on one side stays while an application is shown in it or a folder that
// stays lies under it.
void keepNeededFolders(const Layouts& l, const QHash<QString, QString>& place,
                       QHash<QString, MergedFolder>& folders, QStringList& names) {
    QSet<QString> known(names.cbegin(), names.cend());
    QStringList needed = place.values();
    for (const MergedFolder& folder : std::as_const(folders))
        needed << folder.parent;
    while (!needed.isEmpty()) {
        const QString name = needed.takeLast();
        if (name.isEmpty() || folders.contains(name))
            continue;
        SideValue parent = parentIn(l.mine, name);
        if (!parent)
            parent = parentIn(l.other, name);
        if (!parent)
            parent = parentIn(l.common, name);
        folders.insert(name, {name, parent.value_or(kRoot), {}, {}});
        if (!known.contains(name)) {
            known.insert(name);
            names << name;
        }
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
    QSet<QString> ordered(order.cbegin(), order.cend());
    for (const QString& name : names) {
        if (folders.contains(name) && !ordered.contains(name))
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
