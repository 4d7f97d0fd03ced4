#pragma once

#include "../apps/appsfixture.h"

#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/xmldocument.h"
#include "dialogs/frmedit.h"

#include "support/modaldriver.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace vadok::test {

const QStringList kFolders = {QStringLiteral("ROOT"), QStringLiteral("　メイン"),
                              QStringLiteral("　　Sub"), QStringLiteral("　a&b")};

inline QLineEdit* name(QDialog& d) { return control<QLineEdit>(d, "txtName"); }
inline QPlainTextEdit* notes(QDialog& d) { return control<QPlainTextEdit>(d, "txtInfo"); }
inline QComboBox* folderList(QDialog& d) { return control<QComboBox>(d, "cboAppDir"); }

// The application Tool, stored, with an icon, in the folder メイン of a tree that also holds
// the application Other.
class Editor : public AppsFixture {
protected:
    Editor() {
        qputenv("XDG_DATA_HOME", scratch.path().toUtf8());
        window.treeKeys = {QStringLiteral("ROOT"), QStringLiteral("メイン"), QStringLiteral("Sub"),
                           QStringLiteral("Tool"), QStringLiteral("Other")};
        app = registerApp(QStringLiteral("Tool"), QStringLiteral("run.sh"),
                          {{QStringLiteral("run.sh"), "#!/bin/sh\n"},
                           {QStringLiteral("TOOL.EXE"), "MZ"},
                           {QStringLiteral("readme.txt"), "read me"}});
        writeFile(app.iconPath(), "icon");
    }
    ~Editor() override { qunsetenv("XDG_DATA_HOME"); }

    EditOutcome edit() {
        frmEdit editor(kFolders);
        return app.ShowConfig(editor);
    }
    static AppRecord stored(const QString& title) {
        AppRecord r;
        EXPECT_TRUE(FindAppByName(title, r)) << title.toStdString();
        return r;
    }
    static int recordsNamed(const QString& title) {
        XmlDocument doc;
        EXPECT_TRUE(doc.load(dataFilePath()));
        return int(doc.select(QStringLiteral("//App[Name='%1']").arg(title)).size());
    }

    PackApp app;
    ModalDriver driver;
};

} // namespace vadok::test
