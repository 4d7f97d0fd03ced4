#include "catalog/settings.h"

#include "catalog/configattributes.h"
#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/valueconv.h"
#include "catalog/xmlbusy.h"
#include "catalog/workingfolders.h"
#include "catalog/xmldocument.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "util/mainwindowlink.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <optional>
#include <type_traits>
#include <variant>
#include <vector>

namespace vadok {

Settings& settings() {
    static Settings s;
    return s;
}

namespace {

// Which settings a load or save touches: the window's place only with KeepPos 1, and its
// size and splitters are saved only while it is shown (a hidden window has no place to keep).
enum class Kept { Always, WithPosition, WithShownWindow };

// One attribute below Config. section is the path of its element ("" for Config itself,
// "Color/infoFont"); the list's order is the order of the attributes in a new file.
struct SettingField {
    QString section;
    const char16_t* key;
    Kept kept;
    std::variant<qint16*, quint8*, qint32*, bool*, double*, QString*> value;
};

std::vector<SettingField> settingFields(Settings& s) {
    ConfigRecord& c = s.Config;
    ColorRecord& k = s.Color;
    const QString config; // the Config element itself
    const QString pos = QStringLiteral("Pos");
    const QString color = QStringLiteral("Color");
    const QString key = QStringLiteral("Key");
    std::vector<SettingField> fields = {
        {config, u"PackDate", Kept::Always, &c.PackDate},
        {config, u"KeepPos", Kept::Always, &c.KeepPos},
        {config, u"LhaDialog", Kept::Always, &c.LhaDialog},
        {config, u"IntoTaskTray", Kept::Always, &c.IntoTaskTray},
        {pos, u"Left", Kept::WithShownWindow, &c.Left},
        {pos, u"Top", Kept::WithShownWindow, &c.Top},
        {pos, u"Height", Kept::WithShownWindow, &c.Height},
        {pos, u"Width", Kept::WithShownWindow, &c.Width},
        {pos, u"LR", Kept::WithShownWindow, &c.LR},
        {pos, u"wState", Kept::WithShownWindow, &c.wState},
        {pos, u"narrowHeight", Kept::WithShownWindow, &c.narrowHeight},
        {pos, u"narrowWidth", Kept::WithShownWindow, &c.narrowWidth},
        {pos, u"posUD", Kept::WithShownWindow, &c.posUD},
        {pos, u"DispMode", Kept::WithPosition, &c.DispMode},
        {pos, u"DispCmdButtons", Kept::WithPosition, &c.DispCmdButtons},
        {color, u"infoTXT", Kept::Always, &k.infoTXT},
        {color, u"infoBG", Kept::Always, &k.infoBG},
        {color, u"treeTXT", Kept::Always, &k.treeTXT},
        {color, u"treeBG", Kept::Always, &k.treeBG},
        {color, u"treeSEL", Kept::Always, &k.treeSEL},
        {color, u"DispInfoNarrow", Kept::Always, &k.DispInfoNarrow},
        {color, u"DispStatusNarrow", Kept::Always, &k.DispStatusNarrow},
        {color, u"DispMenuNarrow", Kept::Always, &k.DispMenuNarrow},
        {color, u"DispSearchTextBoxAnyTime", Kept::Always, &k.DispSearchTextBoxAnyTime},
    };
    for (auto [name, font] :
         {std::pair{u"infoFont", &k.infoFont}, std::pair{u"treeFont", &k.treeFont}}) {
        const QString section = color + u'/' + QString::fromUtf16(name);
        fields.push_back({section, u"Name", Kept::Always, &font->Name});
        fields.push_back({section, u"Size", Kept::Always, &font->Size});
        fields.push_back({section, u"Bold", Kept::Always, &font->Bold});
        fields.push_back({section, u"Ital", Kept::Always, &font->Ital});
    }
    fields.push_back({key, u"AppCallEnd", Kept::Always, &s.Key.AppCallEnd});
    fields.push_back({key, u"FindKey", Kept::Always, &s.Key.FindKey});
    return fields;
}

// An attribute's text as it reads: nothing when it does not convert.
template <typename T> std::optional<T> fromText(const QString& text) {
    if constexpr (std::is_same_v<T, bool>)
        return textToBool(text);
    else if constexpr (std::is_same_v<T, double>)
        return textToNumber(text);
    else if constexpr (std::is_same_v<T, QString>)
        return text;
    else
        return textToInt<T>(text);
}

template <typename T> QString toText(const T& value) {
    if constexpr (std::is_same_v<T, bool>)
        return boolAttributeText(value);
    else if constexpr (std::is_same_v<T, double>)
        return fontSizeText(value);
    else if constexpr (std::is_same_v<T, QString>)
        return value;
    else
        return QString::number(qint64(value));
}

// The element at section below config; a null element when any part is missing.
XmlElement sectionOf(const XmlElement& config, const QString& section) {
    XmlElement element = config;
    for (const QString& part : section.split(u'/', Qt::SkipEmptyParts))
        element = element.firstChild(part);
    return element;
}

// Reading: an attribute replaces the value only when it is present and converts.
void readField(const XmlElement& config, const SettingField& field) {
    const XmlElement element = sectionOf(config, field.section);
    const QString key = QString::fromUtf16(field.key);
    if (element.isNull() || !element.hasAttribute(key))
        return;
    std::visit(
        [&](auto* value) {
            using T = std::remove_pointer_t<decltype(value)>;
            if (const std::optional<T> converted = fromText<T>(element.attribute(key)))
                *value = *converted;
        },
        field.value);
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
    void set(XmlElement& element, const SettingField& field) {
        set(element, field.key,
            std::visit([](auto* value) { return toText(*value); }, field.value));
    }
    XmlElement child(XmlElement& parent, const char16_t* name) {
        return child(parent, QString::fromUtf16(name));
    }
    XmlElement child(XmlElement& parent, const QString& key) {
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

// Puts the shown window's place into config; false when there is no window on the screen.
bool takeWindowPosition(ConfigRecord& config) {
    MainWindowLink* window = mainWindowLink();
    // A maximised or minimised window reports a position that is not the one to keep.
    if (window && !window->isWindowStateNormal())
        window->setWindowStateNormal();
    if (!window || !window->isWindowVisible())
        return false;
    const QPoint topLeft = window->windowPositionTwips();
    config.Left = topLeft.x();
    config.Top = topLeft.y();
    return true;
}

// The elements below config by section, made in this order where missing (Pos only when the
// window's place is kept).
QHash<QString, XmlElement> sectionsOf(Writer& w, XmlElement& config, bool keepPosition) {
    QHash<QString, XmlElement> sections{{QString(), config}};
    const QStringList order{QStringLiteral("Pos"),
                            QStringLiteral("Color"),
                            QStringLiteral("Color/infoFont"),
                            QStringLiteral("Color/treeFont"),
                            QStringLiteral("Key")};
    for (const QString& path : order) {
        if (path == u"Pos" && !keepPosition)
            continue;
        const qsizetype slash = path.lastIndexOf(u'/');
        XmlElement parent = sections.value(slash < 0 ? QString() : path.left(slash));
        sections.insert(path, w.child(parent, path.mid(slash + 1)));
    }
    return sections;
}

} // namespace

void LoadSettings() {
    if (!waitWhileXmlBusy())
        return;
    const QString program = withTrailingSlash(programFolder());
    Settings& s = settings();
    s = Settings();

    const std::shared_ptr<const XmlDocument> doc = readDataFile();
    settingsAsRead() = configAttributes(*doc);
    XmlElement folders;
    const XmlElement config = doc->documentElement().firstChild(QStringLiteral("Config"));
    if (!config.isNull() && doc->documentElement().name() == QStringLiteral("Vadok")) {
        for (const SettingField& field : settingFields(s)) {
            if (field.kept == Kept::Always || s.Config.KeepPos == 1)
                readField(config, field);
        }
        folders = config.firstChild(QStringLiteral("Folders"));
    }

    QStringList refused;
    const WorkingFolders own = resolveWorkingFolders(folders, program, &refused);
    for (auto [folder, target] : {std::pair{&own.pack, &s.PackDir}, std::pair{&own.exec, &s.ExecDir},
                                  std::pair{&own.icon, &s.IconDir}}) {
        *target = *folder;
        if (!QFileInfo(*target).isDir())
            QDir().mkdir(*target);
    }
    if (!refused.isEmpty())
        showMessage(QStringLiteral("データファイルに書かれた作業フォルダのうち、次のものはこのマシンでは"
                                   "使えないため、既定のフォルダを使います。設定で選び直すことが"
                                   "できます。\r\n\r\n") +
                        refused.join(QStringLiteral("\r\n")),
                    MsgIcon::Exclamation);
}

bool SaveSettings() {
    XmlBusyScope busy;
    DataFileEdit edit;
    if (!edit.isLoaded()) {
        reportDataFileError(edit.errorString());
        return false;
    }
    // A copy: the window's place is taken from the window, not from what was read.
    Settings s = settings();
    Writer w;
    XmlElement root = edit.doc().documentElement();
    XmlElement config = w.child(root, u"Config");
    const bool keepPosition = s.Config.KeepPos == 1;
    const bool windowShown = keepPosition && takeWindowPosition(s.Config);
    const QHash<QString, XmlElement> sections = sectionsOf(w, config, keepPosition);
    for (const SettingField& field : settingFields(s)) {
        if ((field.kept == Kept::WithPosition && !keepPosition) ||
            (field.kept == Kept::WithShownWindow && !windowShown))
            continue;
        XmlElement element = sections.value(field.section);
        w.set(element, field);
    }

    // The working folders are this machine's alone; the data file keeps what it has.
    if (!recordWorkingFolders({s.PackDir, s.ExecDir, s.IconDir}, withTrailingSlash(programFolder())))
        showMessage(QStringLiteral("作業フォルダの設定を保存できませんでした。"), MsgIcon::Exclamation);

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
