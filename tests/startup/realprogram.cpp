#include "realprogram.h"

#include "apps/packapp.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "catalog/xmldocument.h"
#include "catalog/xmlelement.h"
#include "platform/programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace vadok::test {

void prepareProgram(QProcess& process, const QString& folder, const QString& platform) {
    const QString program = withTrailingSlash(folder) + QStringLiteral("vadok");
    if (!QFileInfo::exists(program))
        QFile::copy(QStringLiteral(VADOK_PROGRAM), program);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    // Only the X server the test runs on is the program's to use.
    if (platform != u"xcb")
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    if (!platform.isEmpty())
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    process.setProcessEnvironment(environment);
    process.setProgram(program);
}

ProgramRun runProgram(const QString& folder, const QStringList& arguments, const QString& platform) {
    QProcess process;
    prepareProgram(process, folder, platform);
    process.setArguments(arguments);
    process.start();
    ProgramRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void registerTracingApp(const QString& title, const QString& trace) {
    const QString tools = programFolder() + QStringLiteral("tools/");
    const QString script = tools + title + QStringLiteral(".sh");
    QDir().mkpath(tools);
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n{ for a in \"$@\"; do echo \"[$a]\"; done; echo end; } > \"" +
               QFile::encodeName(trace) + "\"\n");
    file.close();
    QFile::setPermissions(script, QFile::permissions(script) | QFileDevice::ExeOwner);
    PrepareDataFile();
    settings() = Settings();
    LoadSettings();
    AppRecord record;
    record.AppName = title;
    record.AppDir = QStringLiteral("メイン");
    record.ExecCmd = script;
    PackApp app(record);
    app.SetShortCut(tools);
    ASSERT_TRUE(app.SaveConfig());
    // The window lists what the folders of the data file hold.
    XmlDocument doc;
    ASSERT_TRUE(doc.load(dataFilePath()));
    XmlElement folders = doc.documentElement().firstChild(QStringLiteral("Folders"));
    XmlElement folder;
    for (const XmlElement& f : folders.children(QStringLiteral("Folder")))
        if (f.attribute(QStringLiteral("Name")) == record.AppDir)
            folder = f;
    if (folder.isNull()) {
        folder = folders.appendChild(QStringLiteral("Folder"));
        folder.setAttribute(QStringLiteral("Name"), record.AppDir);
        folder.setAttribute(QStringLiteral("Parent"), QStringLiteral("ROOT"));
        folder.setAttribute(QStringLiteral("Order"), QStringLiteral("1"));
    }
    folder.appendChild(QStringLiteral("AppItem")).setText(title);
    ASSERT_TRUE(doc.save(dataFilePath()));
}

} // namespace vadok::test
