#include "catalog/apprecords.h"

#include "catalog/appnamerules.h"
#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/valueconv.h"
#include "catalog/xmlbusy.h"
#include "catalog/xmldocument.h"
#include "platform/clock.h"
#include "platform/prompter.h"
#include "util/textutil.h"

#include <QFile>

namespace vadok {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

XmlElement childOrNew(XmlElement& parent, const QString& name) {
    XmlElement found = parent.firstChild(name);
    return found.isNull() ? parent.appendChild(name) : found;
}

void setTextIfDiffers(XmlElement element, const QString& text) {
    if (element.text() != text)
        element.setText(text);
}

void writeLines(XmlElement text, const QString& notes) {
    text.removeChildren();
    for (const QString& line : notes.split(kCrLf))
        text.appendChild(QStringLiteral("Line")).setText(line);
}

// Trailing blank lines and spaces go; an overlong text is cut with a warning.
void normaliseNotes(AppRecord& app) {
    app.Info = TrimTrailingBreaks(app.Info);
    if (app.Info.size() > kMaxNotesLength) {
        showMessage(QStringLiteral("説明文が長すぎます\r\n\r\n説明文が65535文字を超えています。"
                                   "65535文字目以降の文字数は格納することができないため切り捨て"
                                   "られます"),
                    MsgIcon::Exclamation);
        app.Info.truncate(kMaxNotesLength);
    }
}

// Writes the fields of record that differ from asRead, the record as it was read: a field
// this run did not change keeps what the file holds now, which another machine may have
// written since. Without asRead every field is written.
void updateApp(XmlElement app, AppRecord& record, const QString& dateText, const AppRecord* asRead) {
    const auto changed = [&](auto member) { return !asRead || record.*member != asRead->*member; };
    XmlElement name = app.firstChild(QStringLiteral("Name"));
    if (name.text() != record.AppName)
        name.setText(record.AppName);
    if (changed(&AppRecord::AppDir))
        setTextIfDiffers(childOrNew(app, QStringLiteral("Fol")), record.AppDir);
    if (changed(&AppRecord::ExecCmd))
        setTextIfDiffers(childOrNew(app, QStringLiteral("Exec")), record.ExecCmd);
    if (changed(&AppRecord::LastOpenDateTime))
        setTextIfDiffers(childOrNew(app, QStringLiteral("Date")), dateText);
    if (changed(&AppRecord::NonPack)) {
        if (record.NonPack) {
            childOrNew(app, QStringLiteral("NonPack")).setText(boolElementText(true));
        } else {
            XmlElement nonPack = app.firstChild(QStringLiteral("NonPack"));
            if (!nonPack.isNull())
                nonPack.setText(boolElementText(false));
        }
    }
    if (record.ShortCut && (changed(&AppRecord::ShortCut) || changed(&AppRecord::OverRideBasePath))) {
        XmlElement shortCut = childOrNew(app, QStringLiteral("ShortCut"));
        shortCut.setText(boolElementText(true));
        shortCut.setAttribute(QStringLiteral("basePath"), record.OverRideBasePath);
    }
    if (changed(&AppRecord::Info)) {
        normaliseNotes(record);
        writeLines(childOrNew(app, QStringLiteral("Text")), record.Info);
    }
}

// A new record keeps its notes as given, a trailing break becoming an empty last line.
void fillNewApp(XmlElement app, const AppRecord& record, const QString& dateText) {
    app.appendChild(QStringLiteral("Name")).setText(record.AppName);
    app.appendChild(QStringLiteral("Fol")).setText(record.AppDir);
    app.appendChild(QStringLiteral("Date")).setText(dateText);
    app.appendChild(QStringLiteral("Exec")).setText(record.ExecCmd);
    app.appendChild(QStringLiteral("NonPack")).setText(boolElementText(record.NonPack));
    if (record.ShortCut) {
        XmlElement shortCut = app.appendChild(QStringLiteral("ShortCut"));
        shortCut.setText(boolElementText(true));
        shortCut.setAttribute(QStringLiteral("basePath"), record.OverRideBasePath);
    }
    writeLines(app.appendChild(QStringLiteral("Text")), record.Info);
}

} // namespace

XmlElement findAppElement(const XmlDocument& doc, const QString& title) {
    const QString name = QStringLiteral("Name");
    for (const XmlElement& app : doc.documentElement().elementsNamed(QStringLiteral("App"))) {
        if (app.firstChild(name).text() == title)
            return app;
    }
    return {};
}

bool FindAppByName(const QString& title, AppRecord& app) {
    XmlBusyScope busy;
    if (!QFile::exists(dataFilePath())) {
        showMessage(QStringLiteral("データファイルが見つかりません\r\n新規作成します"));
        QString error;
        if (!CreateDataFileFromTemplate(&error))
            reportDataFileError(error);
        return false;
    }
    const std::shared_ptr<const XmlDocument> doc = readDataFile();
    const XmlElement found = findAppElement(*doc, title);
    return !found.isNull() && ReadAppRecord(found, app);
}

bool ReadAppRecord(const XmlElement& element, AppRecord& app) {
    if (const XmlElement e = element.firstChild(QStringLiteral("Name")))
        app.AppName = e.text();
    if (!nameRefusal(app.AppName).isEmpty()) {
        app.AppName.clear();
        return false;
    }
    if (const XmlElement e = element.firstChild(QStringLiteral("Fol")))
        app.AppDir = e.text();
    if (const XmlElement e = element.firstChild(QStringLiteral("Exec")))
        app.ExecCmd = e.text();
    if (const XmlElement e = element.firstChild(QStringLiteral("Date"))) {
        if (const std::optional<QDateTime> date = textToDateTime(e.text()))
            app.LastOpenDateTime = *date;
    }
    if (const XmlElement e = element.firstChild(QStringLiteral("NonPack"))) {
        if (const std::optional<bool> value = textToBool(e.text()))
            app.NonPack = *value;
    } else {
        app.NonPack = false;
    }
    if (const XmlElement e = element.firstChild(QStringLiteral("ShortCut"))) {
        if (textToBool(e.text()).value_or(false)) {
            app.ShortCut = true;
            app.OverRideBasePath = e.attribute(QStringLiteral("basePath"));
            app.LastOpenDateTime = currentDateTime();
        }
    }
    if (const XmlElement e = element.firstChild(QStringLiteral("Text"))) {
        QString notes;
        for (const XmlElement& line : e.children(QStringLiteral("Line")))
            notes += line.text() + kCrLf;
        app.Info = notes;
    }
    return true;
}

bool SaveAppRecord(AppRecord& app, const QString& keyTitle, const AppRecord* asRead) {
    const QString key = keyTitle.isEmpty() ? app.AppName : keyTitle;
    DataFileEdit edit;
    // A file that did not load is left alone: saving the empty document would replace it.
    if (!edit.isLoaded()) {
        reportDataFileError(edit.errorString());
        return false;
    }
    XmlDocument& doc = edit.doc();
    if (!app.LastOpenDateTime.isValid())
        app.LastOpenDateTime = currentDateTime();
    const QString dateText = dateTimeText(app.LastOpenDateTime);
    if (XmlElement found = findAppElement(doc, key)) {
        updateApp(found, app, dateText, asRead);
    } else {
        XmlElement apps = doc.selectFirst(QStringLiteral("//Apps"));
        if (apps.isNull()) {
            reportDataFileError(QStringLiteral("%1 に Apps 要素がありません").arg(dataFilePath()));
            return false;
        }
        fillNewApp(apps.appendChild(QStringLiteral("App")), app, dateText);
    }
    if (!edit.save()) {
        reportDataFileError(edit.errorString());
        return false;
    }
    return true;
}

bool DeleteAppRecord(const AppRecord& app) {
    DataFileEdit edit;
    if (!edit.isLoaded()) {
        reportDataFileError(edit.errorString());
        return false;
    }
    XmlElement found = findAppElement(edit.doc(), app.AppName);
    if (found.isNull()) {
        edit.keepUnchanged(); // nothing to remove, and nothing to rewrite
        return true;
    }
    found.remove();
    if (!edit.save()) {
        reportDataFileError(edit.errorString());
        return false;
    }
    return true;
}

} // namespace vadok
