#include "mainwindowfixture.h"

#include "dialogs/catalogtreecopy.h"
#include "dialogs/frmtreepop.h"

#include <QTreeWidget>

namespace vadok::test {
namespace {

using TreeCopy = MainWindowFixture;

QStringList lines(const CatalogTreeCopy& copy) {
    QStringList result;
    for (const CatalogNode& n : copy.nodes)
        result << QStringLiteral("%1>%2|%3|%4|%5/%6")
                      .arg(n.parentKey, n.key, n.text, n.tag, n.image, n.selectedImage);
    return result;
}

// The copy the application picker shows: parents first in the order the tree shows, with the
// pictures of the image keys, and the picker finds an application in a numeric folder.
TEST_F(TreeCopy, listsTheWindowsNodesParentsFirstWithTheirImages) {
    writeFolders({
        {u"ROOT"_qs, QString(), {u"RootApp"_qs}},
        {u"メイン"_qs, u"ROOT"_qs, {u"Alpha"_qs}},
        {u"2008"_qs, u"ROOT"_qs, {u"Gamma"_qs}},
        {u"Sub"_qs, u"2008"_qs, {u"Delta"_qs}},
    });
    for (const QString& name : {u"RootApp"_qs, u"Alpha"_qs, u"Gamma"_qs, u"Delta"_qs})
        appendRecord(record(name));
    writeIcon(u"RootApp"_qs);
    auto window = openWindow();
    // Opened and closed again: the copy has the tree's image keys, whatever they are now.
    node(*window, u"2008numonly"_qs)->setExpanded(true);
    node(*window, u"2008numonly"_qs)->setExpanded(false);

    const CatalogTreeCopy copy = window->copyOfCatalogTree();
    EXPECT_EQ(lines(copy), (QStringList{
                               ">ROOT|Vadok|ROOT|exeicon/exeicon",
                               "ROOT>メイン|メイン||folclose/folopen",
                               "メイン>Alpha|Alpha|2|/",
                               "ROOT>2008numonly|2008||folclose/folopen",
                               "2008numonly>Sub|Sub||folclose/folopen",
                               "Sub>Delta|Delta|4|/",
                               "2008numonly>Gamma|Gamma|3|/",
                               "ROOT>RootApp|RootApp|1|RootApp/RootApp",
                           }));
    QStringList images = copy.images.keys();
    images.sort();
    EXPECT_EQ(images, (QStringList{"RootApp", "exeicon", "folclose", "folopen"}));

    frmTreePop picker;
    picker.show();
    const auto found = picker.findChild<QTreeWidget*>(u"TreeView"_qs)->findItems(
        u"Delta"_qs, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0]->parent()->parent()->text(0), u"2008"_qs);
}

} // namespace
} // namespace vadok::test
