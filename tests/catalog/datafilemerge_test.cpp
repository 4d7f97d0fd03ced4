#include "catalog/datafilemerge.h"
#include "catalog/xmldocument.h"

#include <gtest/gtest.h>

namespace vadok {
namespace {

// A data file in a line: "Tools<ROOT:B" is the folder Tools under ROOT showing B; apps are
// "Name@Folder=command#date" with the date's day of December and optional "|notes".
QByteArray file(const QString& folders, const QString& apps, const QString& config = QString()) {
    QString xml = QStringLiteral("<?xml version=\"1.0\"?><Vadok dataversion=\"4\">") + config +
                  QStringLiteral("<Folders>");
    for (const QString& folder : folders.split(u';', Qt::SkipEmptyParts)) {
        const QString head = folder.section(u':', 0, 0);
        const QString name = head.section(u'<', 0, 0);
        xml += QStringLiteral("<Folder Name=\"%1\" Parent=\"%2\" Order=\"1\">")
                   .arg(name, head.contains(u'<') ? head.section(u'<', 1) : QStringLiteral("ROOT"));
        for (const QString& item : folder.section(u':', 1).split(u',', Qt::SkipEmptyParts))
            xml += QStringLiteral("<AppItem>%1</AppItem>").arg(item);
        xml += QStringLiteral("</Folder>");
    }
    xml += QStringLiteral("</Folders><Apps>");
    for (const QString& app : apps.split(u' ', Qt::SkipEmptyParts)) {
        const QString notes = app.section(u'|', 1);
        const QString record = app.section(u'|', 0, 0);
        xml +=
            QStringLiteral(
                "<App><Name>%1</Name><Fol>%2</Fol><Date>2026/12/%3 10:00:00</Date>"
                "<Exec>%4</Exec><NonPack>False</NonPack><Text><Line>%5</Line></Text></App>")
                .arg(record.section(u'@', 0, 0), record.section(u'@', 1).section(u'=', 0, 0),
                     record.section(u'#', 1), record.section(u'=', 1).section(u'#', 0, 0), notes);
    }
    return (xml + QStringLiteral("</Apps></Vadok>")).toUtf8();
}

std::unique_ptr<XmlDocument> parsed(const QByteArray& bytes) {
    auto doc = std::make_unique<XmlDocument>();
    if (!bytes.isEmpty()) {
        EXPECT_TRUE(doc->loadBytes(bytes));
    }
    return doc;
}

// The merged file back in the same shorthand.
QString foldersOf(const XmlDocument& doc) {
    QStringList folders;
    for (const XmlElement& f : doc.select(QStringLiteral("//Folder"))) {
        QStringList items;
        for (const XmlElement& item : f.children())
            items << item.text();
        folders << f.attribute(QStringLiteral("Name")) + u'<' +
                       f.attribute(QStringLiteral("Parent")) + u':' + items.join(u',');
    }
    return folders.join(u';');
}

QString appsOf(const XmlDocument& doc) {
    QStringList apps;
    for (const XmlElement& a : doc.select(QStringLiteral("//App"))) {
        const auto field = [&](const char* name) {
            return a.firstChild(QLatin1String(name)).text();
        };
        QString text = field("Name") + u'@' + field("Fol") + u'=' + field("Exec") + u'#' +
                       field("Date").mid(8, 2);
        if (!field("Text").isEmpty())
            text += u'|' + field("Text");
        apps << text;
    }
    return apps.join(u' ');
}

struct Case {
    const char* behaviour;
    QByteArray base, ours, theirs;
    const char* folders;
    const char* apps;
    const char* clashes;
    const char* taken;
    // Kept against a deletion: "-Name" deleted by ours, "+Name" deleted by theirs.
    const char* kept = "";
    const char* deleted = "";
};

TEST(DataFileMerge, followsTheThreeWayRulesRecordByRecord) {
    const QByteArray start =
        file(QStringLiteral("ROOT<ROOT:A,B"), QStringLiteral("A@ROOT=a#01 B@ROOT=b#01"));
    const Case cases[] = {
        {"a field only theirs changed takes theirs", start, start,
         file("ROOT<ROOT:A,B", "A@ROOT=a2#01 B@ROOT=b#01"), "ROOT<ROOT:A,B",
         "A@ROOT=a2#01 B@ROOT=b#01", "", "A"},
        {"a field only ours changed keeps ours", start,
         file("ROOT<ROOT:A,B", "A@ROOT=a1#01 B@ROOT=b#01|memo"), start, "ROOT<ROOT:A,B",
         "A@ROOT=a1#01 B@ROOT=b#01|memo", "", ""},
        {"a field both changed differently keeps ours and says so", start,
         file("ROOT<ROOT:A,B", "A@ROOT=a1#01 B@ROOT=b#01|mine"),
         file("ROOT<ROOT:A,B", "A@ROOT=a2#01 B@ROOT=b#01|theirs"), "ROOT<ROOT:A,B",
         "A@ROOT=a1#01 B@ROOT=b#01|mine", "A:実行コマンド B:説明", ""},
        {"a field both changed alike is no clash", start,
         file("ROOT<ROOT:A,B", "A@ROOT=a2#01 B@ROOT=b#01"),
         file("ROOT<ROOT:A,B", "A@ROOT=a2#01 B@ROOT=b#01"), "ROOT<ROOT:A,B",
         "A@ROOT=a2#01 B@ROOT=b#01", "", ""},
        {"last-use times take the later one on each record", start,
         file("ROOT<ROOT:A,B", "A@ROOT=a#05 B@ROOT=b#02"),
         file("ROOT<ROOT:A,B", "A@ROOT=a#03 B@ROOT=b#04"), "ROOT<ROOT:A,B",
         "A@ROOT=a#05 B@ROOT=b#04", "", "B"},
        {"an application only theirs added follows its former neighbour", start,
         file("ROOT<ROOT:B,A", "A@ROOT=a#01 B@ROOT=b#01"),
         file("ROOT<ROOT:A,N,B", "A@ROOT=a#01 B@ROOT=b#01 N@ROOT=n#02"), "ROOT<ROOT:B,A,N",
         "A@ROOT=a#01 B@ROOT=b#01 N@ROOT=n#02", "", "N"},
        {"an application first in theirs' folder goes first", start, start,
         file("ROOT<ROOT:N,A,B", "A@ROOT=a#01 B@ROOT=b#01 N@ROOT=n#02"), "ROOT<ROOT:N,A,B",
         "A@ROOT=a#01 B@ROOT=b#01 N@ROOT=n#02", "", "N"},
        {"an application only ours added stays", start,
         file("ROOT<ROOT:A,B,M", "A@ROOT=a#01 B@ROOT=b#01 M@ROOT=m#02"), start, "ROOT<ROOT:A,B,M",
         "A@ROOT=a#01 B@ROOT=b#01 M@ROOT=m#02", "", ""},
        {"an application theirs deleted goes", start, start, file("ROOT<ROOT:B", "B@ROOT=b#01"),
         "ROOT<ROOT:B", "B@ROOT=b#01", "", "", "", "A"},
        {"an application ours deleted stays deleted", start, file("ROOT<ROOT:A", "A@ROOT=a#01"),
         start, "ROOT<ROOT:A", "A@ROOT=a#01", "", ""},
        {"an application theirs deleted stays with what ours changed", start,
         file("ROOT<ROOT:A,B", "A@ROOT=a1#01 B@ROOT=b#01"), file("ROOT<ROOT:B", "B@ROOT=b#01"),
         "ROOT<ROOT:A,B", "A@ROOT=a1#01 B@ROOT=b#01", "", "", "+A"},
        {"an application theirs deleted stays when ours ran it since", start,
         file("ROOT<ROOT:A,B", "A@ROOT=a#03 B@ROOT=b#01"), file("ROOT<ROOT:B", "B@ROOT=b#01"),
         "ROOT<ROOT:A,B", "A@ROOT=a#03 B@ROOT=b#01", "", "", "+A"},
        {"an application ours deleted comes back with what theirs changed, in its place", start,
         file("ROOT<ROOT:B", "B@ROOT=b#01"), file("ROOT<ROOT:A,B", "A@ROOT=a#01|theirs B@ROOT=b#01"),
         "ROOT<ROOT:A,B", "B@ROOT=b#01 A@ROOT=a#01|theirs", "", "", "-A"},
        {"an application both deleted stays deleted", start, file("ROOT<ROOT:B", "B@ROOT=b#01"),
         file("ROOT<ROOT:B", "B@ROOT=b#01"), "ROOT<ROOT:B", "B@ROOT=b#01", "", ""},
        {"a last use whose digits run past any year reads as no time and loses", start, start,
         file("ROOT<ROOT:A,B", "A@ROOT=a#4294967304 B@ROOT=b#01"), "ROOT<ROOT:A,B",
         "A@ROOT=a#01 B@ROOT=b#01", "", ""},
        {"without a base both sides' applications stay and differences keep ours", QByteArray(),
         file("ROOT<ROOT:A", "A@ROOT=a1#01"), file("ROOT<ROOT:A,B", "A@ROOT=a2#01 B@ROOT=b#01"),
         "ROOT<ROOT:A,B", "A@ROOT=a1#01 B@ROOT=b#01", "A:実行コマンド", "B"},
        {"a folder theirs added comes with its applications after its former neighbour",
         file("ROOT<ROOT:A;X<ROOT:B", "A@ROOT=a#01 B@X=b#01"),
         file("ROOT<ROOT:A;X<ROOT:B", "A@ROOT=a#01 B@X=b#01"),
         file("ROOT<ROOT:A;T<ROOT:C;X<ROOT:B", "A@ROOT=a#01 B@X=b#01 C@T=c#02"),
         "ROOT<ROOT:A;T<ROOT:C;X<ROOT:B", "A@ROOT=a#01 B@X=b#01 C@T=c#02", "", "C T"},
        {"a folder theirs deleted stays while ours put an application in it",
         file("ROOT<ROOT:A;X<ROOT:", "A@ROOT=a#01"),
         file("ROOT<ROOT:A;X<ROOT:M", "A@ROOT=a#01 M@X=m#02"), file("ROOT<ROOT:A", "A@ROOT=a#01"),
         "ROOT<ROOT:A;X<ROOT:M", "A@ROOT=a#01 M@X=m#02", "", ""},
        {"an empty folder theirs deleted goes", file("ROOT<ROOT:A;X<ROOT:", "A@ROOT=a#01"),
         file("ROOT<ROOT:A;X<ROOT:", "A@ROOT=a#01"), file("ROOT<ROOT:A", "A@ROOT=a#01"),
         "ROOT<ROOT:A", "A@ROOT=a#01", "", ""},
        {"an empty folder theirs deleted stays where ours moved it",
         file("ROOT<ROOT:A;X<ROOT:;Y<ROOT:", "A@ROOT=a#01"),
         file("ROOT<ROOT:A;Y<ROOT:;X<Y:", "A@ROOT=a#01"), file("ROOT<ROOT:A;Y<ROOT:", "A@ROOT=a#01"),
         "ROOT<ROOT:A;Y<ROOT:;X<Y:", "A@ROOT=a#01", "", "", "+X"},
        {"an application theirs moved follows, in ours' order otherwise",
         file("ROOT<ROOT:A,B,C;X<ROOT:", "A@ROOT=a#01 B@ROOT=b#01 C@ROOT=c#01"),
         file("ROOT<ROOT:C,A,B;X<ROOT:", "A@ROOT=a#01 B@ROOT=b#01 C@ROOT=c#01"),
         file("ROOT<ROOT:A,C;X<ROOT:B", "A@ROOT=a#01 B@X=b#01 C@ROOT=c#01"),
         "ROOT<ROOT:C,A;X<ROOT:B", "A@ROOT=a#01 B@X=b#01 C@ROOT=c#01", "", "B"},
        {"an application moved to two folders stays where ours put it",
         file("ROOT<ROOT:A;X<ROOT:;Y<ROOT:", "A@ROOT=a#01"),
         file("ROOT<ROOT:;X<ROOT:A;Y<ROOT:", "A@X=a#01"),
         file("ROOT<ROOT:;X<ROOT:;Y<ROOT:A", "A@Y=a#01"), "ROOT<ROOT:;X<ROOT:A;Y<ROOT:", "A@X=a#01",
         "A:フォルダ", ""},
        {"folders each moved under the other on one side are not lost",
         file("ROOT<ROOT:;X<ROOT:;Y<ROOT:", ""), file("ROOT<ROOT:;X<ROOT:;Y<X:", ""),
         file("ROOT<ROOT:;Y<ROOT:;X<Y:", ""), "ROOT<ROOT:;X<ROOT:;Y<X:", "", "", "X"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        const auto ours = parsed(c.ours);
        const MergeReport report = mergeDataFiles(*ours, *parsed(c.theirs), *parsed(c.base));
        EXPECT_EQ(foldersOf(*ours), QString::fromUtf8(c.folders));
        EXPECT_EQ(appsOf(*ours), QString::fromUtf8(c.apps));
        QStringList clashes;
        for (const MergeReport::Clash& clash : report.clashes)
            clashes << clash.name + u':' + clash.field;
        EXPECT_EQ(clashes.join(u' '), QString::fromUtf8(c.clashes));
        EXPECT_EQ(report.taken.join(u' '), QString::fromUtf8(c.taken));
        QStringList kept;
        for (const MergeReport::Kept& k : report.kept)
            kept << (k.deletedByOurs ? u'-' : u'+') + k.name;
        EXPECT_EQ(kept.join(u' '), QString::fromUtf8(c.kept));
        EXPECT_EQ(report.deleted.join(u' '), QString::fromUtf8(c.deleted));

        // Merging the same copy again finds nothing new.
        EXPECT_FALSE(mergeDataFiles(*ours, *parsed(c.theirs), *parsed(c.base)).changed);
    }
}

TEST(DataFileMerge, settingsFollowTheSameRulesButEachMachineKeepsItsPlaceAndFolders) {
    const auto config = [](const char* attributes) {
        return file(QStringLiteral("ROOT<ROOT:"), QString(),
                    QStringLiteral("<Config %1><Pos Left=\"100\"/><Folders exec=\"..Exec/\"/></Config>")
                        .arg(QLatin1String(attributes)));
    };
    struct Row {
        const char* behaviour;
        QByteArray base, ours, theirs;
        const char* packDate;   // as ours holds it after the merge; "-" for none
        const char* lhaDialog;
        const char* clashes;
    };
    const QByteArray start = config("PackDate=\"5\" LhaDialog=\"0\"");
    const Row rows[] = {
        {"a setting only theirs changed is taken", start, start,
         config("PackDate=\"9\" LhaDialog=\"0\""), "9", "0", ""},
        {"a setting theirs removed goes", start, start, config("PackDate=\"5\""), "5", "-", ""},
        {"a setting theirs removed stays where ours changed it", start,
         config("PackDate=\"5\" LhaDialog=\"1\""), config("PackDate=\"5\""), "5", "1",
         "設定:LhaDialog"},
        {"without a base a setting that differs keeps ours and says so", QByteArray(), start,
         config("PackDate=\"9\" LhaDialog=\"0\""), "5", "0", "設定:PackDate"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        // Where each machine put its window, both changed, keeps ours without a word; the
        // other machine's folders never count.
        QByteArray mine = row.ours, theirs = row.theirs;
        mine.replace("Left=\"100\"", "Left=\"300\"");
        theirs.replace("Left=\"100\"", "Left=\"200\"").replace("..Exec/", "/home/u/Documents/");
        const auto ours = parsed(mine);
        const MergeReport report = mergeDataFiles(*ours, *parsed(theirs), *parsed(row.base));
        const XmlElement config = ours->selectFirst(QStringLiteral("//Config"));
        const auto value = [&](const char* name) {
            const QString key = QLatin1String(name);
            return config.hasAttribute(key) ? config.attribute(key) : QStringLiteral("-");
        };
        EXPECT_EQ(value("PackDate"), QLatin1String(row.packDate));
        EXPECT_EQ(value("LhaDialog"), QLatin1String(row.lhaDialog));
        EXPECT_EQ(ours->selectFirst(QStringLiteral("//Pos")).attribute(QStringLiteral("Left")), u"300");
        EXPECT_EQ(ours->selectFirst(QStringLiteral("//Config/Folders")).attribute(QStringLiteral("exec")),
                  u"..Exec/");
        QStringList clashes;
        for (const MergeReport::Clash& clash : report.clashes)
            clashes << clash.name + u':' + clash.field;
        EXPECT_EQ(clashes.join(u' '), QString::fromUtf8(row.clashes));
    }
}

TEST(DataFileMerge, aRecordTakenFromACopyComesAsTextAndTheMergedFileReadsBack) {
    const QByteArray start = file(QStringLiteral("ROOT<ROOT:A"), QStringLiteral("A@ROOT=a#01"));
    QByteArray theirs = file(QStringLiteral("ROOT<ROOT:A,N"),
                             QStringLiteral("A@ROOT=a#01 N@ROOT=n#02|by_&who;&amp;me"));
    theirs.replace("<?xml version=\"1.0\"?>",
                   "<?xml version=\"1.0\"?><!DOCTYPE Vadok [<!ENTITY who \"Ann\">]>");
    const auto ours = parsed(start);
    mergeDataFiles(*ours, *parsed(theirs), *parsed(start));
    bool ok = false;
    const QByteArray saved = ours->toBytes(&ok);
    ASSERT_TRUE(ok);
    XmlDocument again;
    ASSERT_TRUE(again.loadBytes(saved)) << again.errorString().toStdString();
    EXPECT_EQ(appsOf(again), u"A@ROOT=a#01 N@ROOT=n#02|by_Ann&me");
}

} // namespace
} // namespace vadok
