#include "catalog/settings.h"

#include "catalog/configattributes.h"
#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/valueconv.h"
#include "catalog/xmlbusy.h"
#include "catalog/xmldocument.h"
#include "platform/programfolder.h"
#include "util/mainwindowlink.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace vadok {

Settings& settings() {
    static Settings s;
    return s;
}

namespace {

// Reading: an attribute replaces the value only when it is present and converts.
template <typename T> void readInt(const XmlElement& element, const char16_t* name, T& value) {
    const QString key = QString::fromUtf16(name);
    if (!element.hasAttribute(key))
        return;
    if (const std::optional<T> converted = textToInt<T>(element.attribute(key)))
        value = *converted;
}

void readBool(const XmlElement& element, const char16_t* name, bool& value) {
    const QString key = QString::fromUtf16(name);
    if (!element.hasAttribute(key))
        return;
    if (const std::optional<bool> converted = textToBool(element.attribute(key)))
        value = *converted;
}

void readFont(const XmlElement& element, FontRecord& font) {
    if (element.isNull())
        return;
    if (element.hasAttribute(QStringLiteral("Name")))
        font.Name = element.attribute(QStringLiteral("Name"));
    if (element.hasAttribute(QStringLiteral("Size"))) {
        if (const std::optional<double> size =
                textToNumber(element.attribute(QStringLiteral("Size"))))
            font.Size = *size;
    }
    readBool(element, u"Bold", font.Bold);
    readBool(element, u"Ital", font.Ital);
}

QString readFolder(const XmlElement& folders, const char16_t* name, const QString& fallback) {
    const QString key = QString::fromUtf16(name);
    return folders.hasAttribute(key) ? folders.attribute(key) : fallback;
}

// The Config attributes as last read or written by this process.
QMap<QString, QString>& settingsAsRead() {
    static QMap<QString, QString> values;
    return values;
}

// Writing: set an attribute when it is missing or its text differs. A value this run did not
// change (the text as read) is left alone, so that the file keeps what another machine may
// have written there meanwhile.
class Writer {
public:
    void set(XmlElement& element, const char16_t* name, const QString& value) {
        const QString key = QString::fromUtf16(name);
        const auto asRead = settingsAsRead().constFind(m_paths.value(element.node()) + u'@' + key);
        if (asRead != settingsAsRead().cend() && *asRead == value)
            return;
        if (element.hasAttribute(key) && element.attribute(key) == value)
            return;
        element.setAttribute(key, value);
        m_changed = true;
    }
    void set(XmlElement& element, const char16_t* name, qint64 value) {
        set(element, name, QString::number(value));
    }
    void setBool(XmlElement& element, const char16_t* name, bool value) {
        set(element, name, boolAttributeText(value));
    }
    void setFont(XmlElement& element, const FontRecord& font) {
        set(element, u"Name", font.Name);
        set(element, u"Size", fontSizeText(font.Size));
        setBool(element, u"Bold", font.Bold);
        setBool(element, u"Ital", font.Ital);
    }
    XmlElement child(XmlElement& parent, const char16_t* name) {
        const QString key = QString::fromUtf16(name);
        XmlElement found = parent.firstChild(key);
        if (found.isNull()) {
            found = parent.appendChild(key);
            m_changed = true;
        }
        const QString parentPath = m_paths.value(parent.node());
        m_paths.insert(found.node(), parentPath.isEmpty() ? key : parentPath + u'/' + key);
        return found;
    }
    bool changed() const { return m_changed; }

private:
    bool m_changed = false;
    // Each element's path below the root, as configAttributes() names them.
    QHash<const void*, QString> m_paths;
};

} // namespace

void LoadSettings() {
    if (!waitWhileXmlBusy())
        return;
    const QString program = withTrailingSlash(programFolder());
    Settings& s = settings();
    s = Settings();
    QString pack = program + QStringLiteral("Pack/");
    QString exec = program + QStringLiteral("Exec/");
    QString icon = program + QStringLiteral("Icon/");

    const std::shared_ptr<const XmlDocument> doc = readDataFile();
    settingsAsRead() = configAttributes(*doc);
    const XmlElement config = doc->documentElement().firstChild(QStringLiteral("Config"));
    if (!config.isNull() && doc->documentElement().name() == QStringLiteral("Vadok")) {
        ConfigRecord& c = s.Config;
        readInt(config, u"PackDate", c.PackDate);
        readInt(config, u"KeepPos", c.KeepPos);
        readInt(config, u"LhaDialog", c.LhaDialog);
        readInt(config, u"IntoTaskTray", c.IntoTaskTray);
        if (c.KeepPos == 1) {
            const XmlElement pos = config.firstChild(QStringLiteral("Pos"));
            readInt(pos, u"Left", c.Left);
            readInt(pos, u"Top", c.Top);
            readInt(pos, u"Height", c.Height);
            readInt(pos, u"Width", c.Width);
            readInt(pos, u"LR", c.LR);
            readInt(pos, u"wState", c.wState);
            readInt(pos, u"narrowHeight", c.narrowHeight);
            readInt(pos, u"narrowWidth", c.narrowWidth);
            readInt(pos, u"posUD", c.posUD);
            readInt(pos, u"DispMode", c.DispMode);
            readInt(pos, u"DispCmdButtons", c.DispCmdButtons);
        }
        const XmlElement color = config.firstChild(QStringLiteral("Color"));
        if (!color.isNull()) {
            ColorRecord& k = s.Color;
            readInt(color, u"infoTXT", k.infoTXT);
            readInt(color, u"infoBG", k.infoBG);
            readInt(color, u"treeTXT", k.treeTXT);
            readInt(color, u"treeBG", k.treeBG);
            readInt(color, u"treeSEL", k.treeSEL);
            readFont(color.firstChild(QStringLiteral("infoFont")), k.infoFont);
            readFont(color.firstChild(QStringLiteral("treeFont")), k.treeFont);
            readBool(color, u"DispInfoNarrow", k.DispInfoNarrow);
            readBool(color, u"DispStatusNarrow", k.DispStatusNarrow);
            readBool(color, u"DispMenuNarrow", k.DispMenuNarrow);
            readBool(color, u"DispSearchTextBoxAnyTime", k.DispSearchTextBoxAnyTime);
        }
        const XmlElement key = config.firstChild(QStringLiteral("Key"));
        readInt(key, u"AppCallEnd", s.Key.AppCallEnd);
        readInt(key, u"FindKey", s.Key.FindKey);
        const XmlElement folders = config.firstChild(QStringLiteral("Folders"));
        pack = readFolder(folders, u"pack", pack);
        exec = readFolder(folders, u"exec", exec);
        icon = readFolder(folders, u"icon", icon);
    }

    for (auto [stored, target] : {std::pair{&pack, &s.PackDir}, std::pair{&exec, &s.ExecDir},
                                  std::pair{&icon, &s.IconDir}}) {
        *target = fromStoredFolderPath(*stored, program);
        if (!QFileInfo(*target).isDir())
            QDir().mkdir(*target);
    }
    XmlBusy = false;
}

bool SaveSettings() {
    XmlBusyScope busy;
    DataFileEdit edit;
    if (!edit.isLoaded()) {
        reportDataFileError(edit.errorString());
        return false;
    }
    const Settings& s = settings();
    const ConfigRecord& c = s.Config;
    Writer w;
    XmlElement root = edit.doc().documentElement();
    XmlElement config = w.child(root, u"Config");
    w.set(config, u"PackDate", c.PackDate);
    w.set(config, u"KeepPos", c.KeepPos);
    w.set(config, u"LhaDialog", c.LhaDialog);
    w.set(config, u"IntoTaskTray", c.IntoTaskTray);

    if (c.KeepPos == 1) {
        MainWindowLink* window = mainWindowLink();
        // A maximised or minimised window reports a position that is not the one to keep.
        if (window && !window->isWindowStateNormal())
            window->setWindowStateNormal();
        XmlElement pos = w.child(config, u"Pos");
        if (window && window->isWindowVisible()) {
            const QPoint topLeft = window->windowPositionTwips();
            w.set(pos, u"Left", topLeft.x());
            w.set(pos, u"Top", topLeft.y());
            w.set(pos, u"Height", c.Height);
            w.set(pos, u"Width", c.Width);
            w.set(pos, u"LR", c.LR);
            w.set(pos, u"wState", c.wState);
            w.set(pos, u"narrowHeight", c.narrowHeight);
            w.set(pos, u"narrowWidth", c.narrowWidth);
            w.set(pos, u"posUD", c.posUD);
        }
        w.set(pos, u"DispMode", c.DispMode);
        w.set(pos, u"DispCmdButtons", c.DispCmdButtons);
    }

    const ColorRecord& k = s.Color;
    XmlElement color = w.child(config, u"Color");
    XmlElement infoFont = w.child(color, u"infoFont");
    XmlElement treeFont = w.child(color, u"treeFont");
    w.set(color, u"infoTXT", k.infoTXT);
    w.set(color, u"infoBG", k.infoBG);
    w.set(color, u"treeTXT", k.treeTXT);
    w.set(color, u"treeBG", k.treeBG);
    w.set(color, u"treeSEL", k.treeSEL);
    w.setBool(color, u"DispInfoNarrow", k.DispInfoNarrow);
    w.setBool(color, u"DispStatusNarrow", k.DispStatusNarrow);
    w.setBool(color, u"DispMenuNarrow", k.DispMenuNarrow);
    w.setBool(color, u"DispSearchTextBoxAnyTime", k.DispSearchTextBoxAnyTime);
    w.setFont(infoFont, k.infoFont);
    w.setFont(treeFont, k.treeFont);

    const QString program = withTrailingSlash(programFolder());
    XmlElement folders = w.child(config, u"Folders");
    w.set(folders, u"pack", toStoredFolderPath(s.PackDir, program));
    w.set(folders, u"exec", toStoredFolderPath(s.ExecDir, program));
    w.set(folders, u"icon", toStoredFolderPath(s.IconDir, program));

    XmlElement key = w.child(config, u"Key");
    w.set(key, u"AppCallEnd", s.Key.AppCallEnd);
    w.set(key, u"FindKey", s.Key.FindKey);

    if (!w.changed()) {
        edit.keepUnchanged();
        return true;
    }
    const QMap<QString, QString> written = configAttributes(edit.doc());
    if (!edit.save()) {
        reportDataFileError(edit.errorString());
        return false;
    }
    settingsAsRead() = written;
    return true;
}

} // namespace vadok
