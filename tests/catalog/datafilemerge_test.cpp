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
         "ROOT<ROOT:B", "B@ROOT=b#01", "", ""},
        {"an application ours deleted stays deleted", start, file("ROOT<ROOT:A", "A@ROOT=a#01"),
         start, "ROOT<ROOT:A", "A@ROOT=a#01", "", ""},
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

        // Merging the same copy again finds nothing new.
        EXPECT_FALSE(mergeDataFiles(*ours, *parsed(c.theirs), *parsed(c.base)).changed);
    }
}

TEST(DataFileMerge, takesSettingsOnlyTheirsChanged) {
    const auto config = [](const char* packDate, const char* left) {
        return QStringLiteral("<Config PackDate=\"%1\"><Pos Left=\"%2\"/></Config>")
            .arg(QLatin1String(packDate), QLatin1String(left));
    };
    const QByteArray base = file(QStringLiteral("ROOT<ROOT:"), QString(), config("5", "100"));
    const auto ours = parsed(file(QStringLiteral("ROOT<ROOT:"), QString(), config("5", "300")));
    const MergeReport report = mergeDataFiles(
        *ours, *parsed(file(QStringLiteral("ROOT<ROOT:"), QString(), config("9", "200"))),
        *parsed(base));
    EXPECT_EQ(ours->selectFirst(QStringLiteral("//Config")).attribute(QStringLiteral("PackDate")),
              u"9");
    EXPECT_EQ(ours->selectFirst(QStringLiteral("//Pos")).attribute(QStringLiteral("Left")), u"300");
    EXPECT_TRUE(report.clashes.isEmpty()); // each machine keeps its own window position
}

TEST(DataFileMerge, aVersionDescendsOnlyFromOneUsedNoLaterThanIt) {
    const auto older = parsed(file(QStringLiteral("ROOT<ROOT:A"), QStringLiteral("A@ROOT=a#01")));
    const auto newer =
        parsed(file(QStringLiteral("ROOT<ROOT:A"), QStringLiteral("A@ROOT=a#05 B@ROOT=b#09")));
    EXPECT_TRUE(descendsFrom(*newer, *older));
    EXPECT_FALSE(descendsFrom(*older, *newer));
}

} // namespace
} // namespace vadok
