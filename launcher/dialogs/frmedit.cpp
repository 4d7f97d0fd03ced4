#include "dialogs/frmedit.h"

#include "catalog/appnamerules.h"
#include "apps/packapp.h"
#include "apps/programfiles.h"
#include "catalog/settings.h"
#include "dialogs/frmedit_parts.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace vadok {

using namespace editparts;

namespace {

const QString kRootFolder = QStringLiteral("ROOT");
const QString kRootCaption = QStringLiteral("Vadok");

// Folder list entries are indented with ideographic spaces.
QString withoutIndent(const QString& entry) {
    qsizetype from = 0;
    qsizetype to = entry.size();
    auto isSpace = [](QChar c) { return c == u' ' || c == QChar(0x3000); };
    while (from < to && isSpace(entry.at(from)))
        ++from;
    while (to > from && isSpace(entry.at(to - 1)))
        --to;
    return entry.mid(from, to - from);
}

} // namespace

frmEdit::frmEdit(const QStringList& folders, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmEdit"));
    createControls(folders);
}

void frmEdit::createControls(const QStringList& folders) {
    auto twips = [this](int value) { return twipsToPixels(*this, value); };

    auto* main = new QWidget(this);
    main->setObjectName(QStringLiteral("picMain"));
    auto* grid = new QGridLayout(main);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("プログラムの情報をこの画面で入力してください"), main),
                    row++, 0, 1, 3);
    createFieldRows(grid, row, folders);
    createIconRow(grid, row);
    createCommandRows(grid, row);
    grid->setColumnStretch(1, 1);

    createTextPanel();
    createCommandPanel();

    main->setFixedSize(twips(kClosedWidth) - 2 * twips(120), twips(kClosedHeight) - twips(600));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(twips(120), twips(120), twips(120), twips(120));
    layout->setSpacing(0);
    layout->addWidget(main);
    layout->addWidget(m_textPanel);
    layout->addWidget(m_subPanel);
    // The dialog takes the size of what is shown: the side panels are closed.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// Name, notes, program and folder.
void frmEdit::createFieldRows(QGridLayout* grid, int& row, const QStringList& folders) {
    QWidget* main = grid->parentWidget();
    m_name = named(new QLineEdit(main), QStringLiteral("txtName"));
    grid->addWidget(new QLabel(QStringLiteral("名称"), main), row, 0);
    grid->addWidget(m_name, row++, 1, 1, 2);

    m_info = named(new QPlainTextEdit(main), QStringLiteral("txtInfo"),
                   QStringLiteral("このアプリの説明文、使用方法などのメモを入力してください"));
    m_info->installEventFilter(this);
    grid->addWidget(new QLabel(QStringLiteral("説明"), main), row, 0, Qt::AlignTop);
    grid->addWidget(m_info, row++, 1, 1, 2);
    grid->setRowStretch(row - 1, 1);

    m_execCmd = named(new QComboBox(main), QStringLiteral("txtExecCmd"), kProgramTip);
    m_execCmd->setEditable(true);
    m_execCmd->setInsertPolicy(QComboBox::NoInsert);
    QPushButton* chooseMain = chooseButton(QStringLiteral("cmdExecCmd"), kOtherFileTip, main);
    grid->addWidget(new QLabel(QStringLiteral("実行コマンド"), main), row, 0);
    grid->addWidget(m_execCmd, row, 1);
    grid->addWidget(chooseMain, row++, 2);
    connect(chooseMain, &QPushButton::clicked, this, [this] { chooseProgram(m_execCmd); });
    connect(m_execCmd, &QComboBox::activated, this, &frmEdit::txtExecCmd_Click);

    m_appDir = named(new QComboBox(main), QStringLiteral("cboAppDir"),
                     QStringLiteral("このアプリを格納するフォルダを指定してください"));
    // Each entry holds its folder's name; the root reads as the tree shows it.
    for (const QString& entry : folders) {
        const QString name = withoutIndent(entry);
        m_appDir->addItem(name == kRootFolder && entry == name ? kRootCaption : entry, name);
    }
    grid->addWidget(new QLabel(QStringLiteral("フォルダ"), main), row, 0);
    grid->addWidget(m_appDir, row++, 1, 1, 2);
}

void frmEdit::createIconRow(QGridLayout* grid, int& row) {
    QWidget* main = grid->parentWidget();
    auto* iconRow = new QHBoxLayout();
    m_icon = named(new QLabel(main), QStringLiteral("picIcon"));
    m_icon->setFixedSize(32, 32);
    // Set by the choices of program and icon, or typed and pasted: an icon is only looked
    // for once the text names an existing file.
    m_iconPath = named(new QLineEdit(main), QStringLiteral("txtIconPath"));
    QPushButton* chooseIcon = chooseButton(QStringLiteral("cmdIconPath"), QString(), main);
    m_iconIndex = named(new QLabel(main), QStringLiteral("lblIconIndex"));
    iconRow->addWidget(m_icon);
    iconRow->addWidget(m_iconPath, 1);
    iconRow->addWidget(chooseIcon);
    iconRow->addWidget(m_iconIndex);
    connect(m_iconPath, &QLineEdit::textChanged, this, &frmEdit::txtIconPath_Change);
    connect(chooseIcon, &QPushButton::clicked, this, &frmEdit::cmdIconPath_Click);
    grid->addWidget(new QLabel(QStringLiteral("アイコン"), main), row, 0);
    grid->addLayout(iconRow, row++, 1, 1, 2);
}

// The marks, the buttons that open the side panels, and the closing buttons.
void frmEdit::createCommandRows(QGridLayout* grid, int& row) {
    QWidget* main = grid->parentWidget();
    m_nonPack = named(new QCheckBox(QStringLiteral("圧縮保存しない(&N)"), main),
                      QStringLiteral("chkNonPack"));
    m_shortCut =
        named(new QCheckBox(QStringLiteral("ショートカット"), main), QStringLiteral("chkShortCut"));
    m_shortCut->hide();
    auto* marks = new QHBoxLayout();
    marks->addWidget(m_nonPack);
    marks->addWidget(m_shortCut);
    marks->addStretch();
    grid->addLayout(marks, row++, 0, 1, 3);

    m_textsButton = button(kTextsClosed, QStringLiteral("cmdTxt参照"),
                           QStringLiteral("アプリケーションに同梱されているテキストファイルを参照します"), main);
    m_commandsButton = button(kCommandsClosed, QStringLiteral("cmd通常以外の実行"), QString(), main);
    auto* panels = new QHBoxLayout();
    panels->addWidget(m_textsButton);
    panels->addWidget(m_commandsButton);
    grid->addLayout(panels, row++, 0, 1, 3);
    connect(m_textsButton, &QPushButton::clicked, this, &frmEdit::cmdTxtRef_Click);
    connect(m_commandsButton, &QPushButton::clicked, this, &frmEdit::cmdOtherExec_Click);

    QPushButton* remove = button(QStringLiteral("削除"), QStringLiteral("cmdRemove"),
                                 QStringLiteral("このアプリケーションを削除します"), main);
    QPushButton* ok = button(QStringLiteral("OK"), QStringLiteral("cmdOK"),
                             QStringLiteral("変更を反映し、この画面を閉じます"), main);
    QPushButton* cancel = button(QStringLiteral("キャンセル"), QStringLiteral("cmdCancel"),
                                 QStringLiteral("この画面を閉じます"), main);
    ok->setDefault(true);
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, row++, 0, 1, 3);
    connect(ok, &QPushButton::clicked, this, &frmEdit::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(remove, &QPushButton::clicked, this, &frmEdit::cmdRemove_Click);
}

void frmEdit::fill(const PackApp& app, const QStringList& subCommands) {
    const QString name = app.AppName();
    setWindowTitle(name + QStringLiteral("の設定"));
    m_name->setText(name);
    m_preAppName = name;
    QString notes = app.Info();
    notes.replace(u'^', kCrLf);
    m_info->setPlainText(notes.replace(kCrLf, QStringLiteral("\n")));
    m_execCmd->setEditText(app.ExecCmd());
    m_nonPack->setChecked(app.NonPack());
    m_shortCut->setChecked(app.ShortCut());

    const QString iconFile = app.iconPath();
    if (QFileInfo::exists(iconFile))
        m_icon->setPixmap(QIcon(iconFile).pixmap(32, 32));

    if (app.ShortCut()) {
        m_nonPack->hide();
        m_shortCut->show();
        m_shortCut->setEnabled(false);
        m_overRideBasePath = app.OverRideBasePath();
    } else {
        ExeScan();
    }

    for (int i = 0; i < 5; ++i)
        m_subExecCmd[i]->setEditText(subCommands.value(i));

    int folder = 0;
    for (int i = 0; i < m_appDir->count(); ++i) {
        if (m_appDir->itemData(i).toString() == app.AppDir()) {
            folder = i;
            break;
        }
    }
    m_appDir->setCurrentIndex(folder);

    m_shortCutEntry = app.ShortCut();
    m_command = app.ExecCmd();
    m_iconIndex->clear();
    m_iconChanged = false;
    QTimer::singleShot(0, this, &frmEdit::fillLists);
}

void frmEdit::fillLists() {
    copyProgramListToSubCommands();
    fillReferenceList();
}

QString frmEdit::basePath() const {
    return withTrailingSlash(m_overRideBasePath.isEmpty() ? settings().ExecDir + m_preAppName
                                                          : m_overRideBasePath);
}

void frmEdit::ExeScan() {
    const QString command = m_execCmd->currentText();
    m_execCmd->clear();
    m_execCmd->addItems(ProgramCandidates(settings().ExecDir + m_preAppName, m_preAppName));
    m_execCmd->setEditText(command);
}

void frmEdit::copyProgramListToSubCommands() {
    QStringList programs;
    for (int i = 0; i < m_execCmd->count(); ++i)
        programs.append(m_execCmd->itemText(i));
    for (QComboBox* box : m_subExecCmd) {
        const QString command = box->currentText();
        box->clear();
        box->addItems(programs);
        box->setEditText(command);
    }
}

QString frmEdit::showModal(const QString& caption) {
    setWindowTitle(caption);
    exec();
    return windowTitle();
}

EditorFields frmEdit::fields() const {
    EditorFields result;
    result.name = m_name->text();
    result.info = m_info->toPlainText().replace(u'\n', kCrLf);
    result.execCmd = m_execCmd->currentText();
    result.folder = m_appDir->currentData().toString();
    result.nonPack = m_nonPack->isChecked();
    for (const QComboBox* box : m_subExecCmd)
        result.subCommands.append(box->currentText());
    result.iconChanged = m_iconChanged;
    return result;
}

void frmEdit::selectWholeName() {
    m_name->setFocus();
    m_name->selectAll();
}

void frmEdit::close() {
    setWindowTitle(QStringLiteral("Close"));
    QDialog::close();
}

void frmEdit::cmdOK_Click() {
    m_name->setText(m_name->text().trimmed());
    const QString name = m_name->text();
    const QString command = m_execCmd->currentText();
    const QString folder = m_appDir->currentData().toString();

    // Every check runs, so that the user learns of every refused character at once.
    bool refused = false;
    auto warn = [&refused](const QString& message) {
        showMessage(message, MsgIcon::Exclamation);
        refused = true;
    };
    if (const QString whole = wholeNameRefusal(name); !whole.isEmpty())
        warn(whole);
    for (const RefusedCharacter& rule : refusedCharacters()) {
        const QString& text = rule.field == EditField::Name      ? name
                              : rule.field == EditField::Command ? command
                                                                 : folder;
        if (text.contains(rule.character))
            warn(rule.message);
    }
    if (refused)
        return;

    cleanNotes();
    setWindowTitle(QStringLiteral("OK"));
    accept();
}

void frmEdit::cmdRemove_Click() {
    if (askBeforeDeleting(u'[' + m_preAppName + QStringLiteral("]を削除してよろしいですか？"),
                          MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    setWindowTitle(QStringLiteral("DELETE"));
    accept();
}

void frmEdit::cleanNotes() {
    // Stored notes hold no markup characters: they become their full-width look-alikes.
    const QString notes = m_info->toPlainText();
    QString cleaned = notes;
    cleaned.replace(u'&', u'＆').replace(u'<', u'＜').replace(u'>', u'＞');
    if (cleaned != notes)
        m_info->setPlainText(cleaned);
}

bool frmEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_info && event->type() == QEvent::FocusOut)
        cleanNotes();
    return QDialog::eventFilter(watched, event);
}

} // namespace vadok
