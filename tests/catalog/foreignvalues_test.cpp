#include "catalog/apprecords.h"
#include "catalog/settings.h"
#include "catalog/workingfolders.h"
#include "catalogfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <functional>

namespace vadok::test {
namespace {

// A data file another machine (or another program) wrote: the working folders it names and
// an application's title are used only when they can be this machine's, and a start says
// what it did not use.
class ForeignValues : public CatalogTest {
protected:
    void writeFile(const QString& folders, const QString& title) const {
        writeDataFile(appsFile(QStringLiteral("<App><Name>%1</Name><Fol>ROOT</Fol><Exec>run.sh</Exec></App>")
                                   .arg(title.toHtmlEscaped()),
                               QStringLiteral("<Folder Name=\"ROOT\" Parent=\"ROOT\"/>"))
                          .replace(QStringLiteral("<Folders>"),
                                   QStringLiteral("<Config><Folders %1/></Config><Folders>").arg(folders)));
    }
};

TEST_F(ForeignValues, areUsedOnlyWhereTheyCanBeThisMachines) {
    QTemporaryDir elsewhere; // a folder of this machine outside the program folder
    const QString outside = elsewhere.path() + u'/';
    const QString told = QStringLiteral("データファイルに書かれた作業フォルダのうち、次のものはこのマシンでは"
                                        "使えないため、既定のフォルダを使います。設定で選び直すことが"
                                        "できます。\r\n\r\n");
    struct Row {
        const char* behaviour;
        QString folders;                      // Config/Folders attributes
        QString title;
        QString exec;                         // "" = the default, below the program folder
        bool titleRead;
        QString message;                      // what the start says, "" for nothing
        std::function<void()> prepare = {};
    };
    const QString program = folder.path();
    const Row rows[] = {
        {"another machine's folder that is missing here", QStringLiteral("exec=\"/home/u/Documents/\""),
         QStringLiteral("Tool"), {}, true,
         told + QStringLiteral("・実行フォルダ: /home/u/Documents/（見つかりません）")},
        {"this user's home", QStringLiteral("exec=\"%1\"").arg(QDir::homePath()), QStringLiteral("Tool"),
         {}, true,
         told + QStringLiteral("・実行フォルダ: %1/（ホームフォルダかその上のフォルダです）").arg(QDir::homePath())},
        {"the program folder itself", QStringLiteral("exec=\"..\""), QStringLiteral("Tool"), {}, true,
         told + QStringLiteral("・実行フォルダ: %1（プログラムフォルダかその上のフォルダです）").arg(program)},
        {"a link in the program folder that leads to the home",
         QStringLiteral("exec=\"..Link/\""), QStringLiteral("Tool"), {}, true,
         told + QStringLiteral("・実行フォルダ: %1Link/（ホームフォルダかその上のフォルダです）").arg(program),
         [&] { ASSERT_TRUE(QFile::link(QDir::homePath(), program + QStringLiteral("Link"))); }},
        {"the pack folder again", QStringLiteral("exec=\"..Pack/\""), QStringLiteral("Tool"), {}, true,
         told + QStringLiteral("・実行フォルダ: %1Pack/（ほかの作業フォルダと同じです）").arg(program)},
        {"a folder below the program folder is vadok's own", QStringLiteral("exec=\"..Run\\\""),
         QStringLiteral("Tool"), program + QStringLiteral("Run/"), true, {}},
        {"a writable folder of this machine elsewhere", QStringLiteral("exec=\"%1\"").arg(outside),
         QStringLiteral("Tool"), outside, true, {}},
        {"a title that climbs out of the working folders", {}, QStringLiteral("../../victim/private"),
         {}, false, {}},
        {"a title with a line break", {}, QStringLiteral("a\nb"), {}, false, {}},
        {"a title of the launcher's own scratch folder", {}, QStringLiteral("_work"), {}, false, {}},
        {"a title with a separator", {}, QStringLiteral("x/y"), {}, false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        QFile::remove(program + QStringLiteral("Link"));
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).removeRecursively();
        if (row.prepare)
            row.prepare();
        writeFile(row.folders, row.title);
        if (!row.message.isEmpty())
            prompter.expect(row.message);
        settings() = Settings();
        LoadSettings();
        EXPECT_TRUE(prompter.allAnswered());
        EXPECT_EQ(settings().ExecDir, row.exec.isEmpty() ? program + QStringLiteral("Exec/") : row.exec);
        EXPECT_EQ(settings().PackDir, program + QStringLiteral("Pack/"));

        AppRecord app;
        EXPECT_EQ(FindAppByName(row.title, app), row.titleRead);
        EXPECT_EQ(app.AppName, row.titleRead ? row.title : QString());

        // This machine keeps what it took: the file's folders are not asked again.
        writeFile(QStringLiteral("exec=\"..Other/\""), row.title);
        settings() = Settings();
        LoadSettings();
        EXPECT_EQ(settings().ExecDir, row.exec.isEmpty() ? program + QStringLiteral("Exec/") : row.exec);
    }
}

} // namespace
} // namespace vadok::test
