#include "catalog/appnamerules.h"

namespace vadok {

namespace {

RefusedCharacter refused(EditField field, QChar character) {
    QString label;
    switch (field) {
    case EditField::Name: label = QStringLiteral("名称"); break;
    case EditField::Command: label = QStringLiteral("実行コマンド"); break;
    case EditField::Folder: label = QStringLiteral("フォルダ名"); break;
    }
    return {field, character,
            label + QStringLiteral("に ") + character + QStringLiteral(" を使うことはできません")};
}

} // namespace

const QList<RefusedCharacter>& refusedCharacters() {
    static const QList<RefusedCharacter> table = {
        refused(EditField::Name, u'&'),    refused(EditField::Command, u'&'),
        refused(EditField::Name, u'"'),    refused(EditField::Folder, u'&'),
        refused(EditField::Name, u'!'),    refused(EditField::Name, u'\\'),
        refused(EditField::Name, u':'),    refused(EditField::Name, u';'),
        refused(EditField::Name, u'*'),    refused(EditField::Name, u'?'),
        refused(EditField::Name, u'/'),    refused(EditField::Name, u'>'),
        refused(EditField::Name, u'<'),
    };
    return table;
}

QString wholeNameRefusal(const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("名称を入力してください");
    if (name == u"." || name == u"..")
        return QStringLiteral("名称を「.」や「..」にすることはできません");
    if (isLaunchersOwnName(name))
        return QStringLiteral("「_work」で始まる名称はVadokが作業用に使うため、使うことはできません");
    return QString();
}

bool isLaunchersOwnName(const QString& name) {
    return name.startsWith(QStringLiteral("_work"), Qt::CaseInsensitive);
}

QString folderNameRefusal(const QString& name) {
    for (const RefusedCharacter& rule : refusedCharacters()) {
        if (rule.field == EditField::Folder && name.contains(rule.character))
            return rule.message;
    }
    return QString();
}

QString nameRefusal(const QString& name) {
    QString message = wholeNameRefusal(name);
    if (!message.isEmpty())
        return message;
    // A line break or an escape in a file name misleads every list that shows it.
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("名称に制御文字を使うことはできません");
    }
    for (const RefusedCharacter& rule : refusedCharacters()) {
        if (rule.field == EditField::Name && name.contains(rule.character))
            return rule.message;
    }
    return QString();
}

QString SuggestFreeTitle(const QString& title, const std::function<bool(const QString&)>& taken) {
    for (int n = 2;; ++n) {
        const QString candidate = title + QStringLiteral(" (%1)").arg(n);
        if (!taken(candidate))
            return candidate;
    }
}

} // namespace vadok
