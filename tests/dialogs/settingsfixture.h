#pragma once

#include "catalog/settings.h"
#include "dialogs/frmsysconfig.h"

#include "support/files.h"
#include "support/scriptedchooser.h"
#include "support/scriptedprompter.h"
#include "support/tempprogramfolder.h"
#include "support/trashhome.h"

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vadok::test {

// A program folder with Pack/, Exec/ and Icon/ in use, the trash and the autostart folder in
// temporary folders, and scripted messages and choosers.
class SettingsDialogTest : public ::testing::Test {
protected:
    SettingsDialogTest() : m_oldConfigHome(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", m_configHome.path().toUtf8());
        settings() = Settings();
        settings().PackDir = folder.file(QStringLiteral("Pack/"));
        settings().ExecDir = folder.file(QStringLiteral("Exec/"));
        settings().IconDir = folder.file(QStringLiteral("Icon/"));
        for (const QString& path : {settings().PackDir, settings().ExecDir, settings().IconDir})
            QDir().mkpath(path);
    }
    ~SettingsDialogTest() override { qputenv("XDG_CONFIG_HOME", m_oldConfigHome); }

    template <typename W> W* widget(const QString& name) const {
        W* found = dialog->findChild<W*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    void click(const QString& button) const { widget<QPushButton>(button)->click(); }
    // Saves; true when the dialog closed.
    bool save() const {
        click(QStringLiteral("cmdSave"));
        return dialog->result() == QDialog::Accepted;
    }
    QString autostartFolder() const { return m_configHome.path() + QStringLiteral("/autostart/"); }

    TempProgramFolder folder;
    TrashHome trash;
    ScriptedPrompter prompter;
    ScriptedChooser choices;
    QTemporaryDir scratch;
    std::unique_ptr<frmSysConfig> dialog;

private:
    QTemporaryDir m_configHome;
    QByteArray m_oldConfigHome;
};

} // namespace vadok::test
