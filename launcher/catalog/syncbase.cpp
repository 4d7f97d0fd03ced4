#include "catalog/syncbase.h"

#include "catalog/atomicfile.h"
#include "catalog/xmldocument.h"
#include "platform/programfolder.h"

#include <QFile>
#include <QHash>
#include <QRandomGenerator>

namespace vadok {

namespace {

const QString kSavedOn = QStringLiteral("savedOn");

bool isMachineId(const QByteArray& text) {
    if (text.size() != 32)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

QString thisMachineId() {
    // Read once per file: every save asks.
    static QHash<QString, QString> known;
    const QString path = machineConfigFile(QStringLiteral("machine-id"));
    if (const auto it = known.constFind(path); it != known.cend())
        return *it;
    QFile file(path);
    QByteArray id;
    if (file.open(QIODevice::ReadOnly))
        id = file.read(64).trimmed();
    if (!isMachineId(id)) {
        quint32 words[4];
        QRandomGenerator::system()->fillRange(words);
        id = QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
        // Should it not be written, this run still marks its saves consistently.
        writeFileAtomically(path, id + '\n', nullptr);
    }
    return known.insert(path, QString::fromLatin1(id)).value();
}

QString sharedVersionFile() { return machineCacheFile(QStringLiteral("vadok.sync-base.xml")); }

} // namespace

void markSavedHere(XmlDocument& doc) {
    XmlElement root = doc.documentElement();
    const QString id = thisMachineId();
    if (root.attribute(kSavedOn) != id)
        root.setAttribute(kSavedOn, id);
}

bool savedElsewhere(const XmlDocument& doc) {
    const XmlElement root = doc.documentElement();
    return root.hasAttribute(kSavedOn) && root.attribute(kSavedOn) != thisMachineId();
}

bool loadSharedVersion(XmlDocument& base) {
    if (base.load(sharedVersionFile()))
        return true;
    base.loadBytes(QByteArray());
    return false;
}

void rememberSharedVersion(const QByteArray& bytes) {
    // A version that cannot be kept leaves the older one, which is still common to both.
    writeFileAtomically(sharedVersionFile(), bytes, nullptr);
}

} // namespace vadok
