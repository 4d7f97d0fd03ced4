#include "dialogs/frmsysconfig.h"

#include "catalog/valueconv.h"
#include "dialogs/autostart.h"
#include "dialogs/storingperiod.h"
#include "dialogs/workingfoldermove.h"
#include "platform/chooser.h"
#include "platform/keystate.h"
#include "platform/prompter.h"
#include "shell/appearance.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

namespace vadok {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Message texts keep CR LF; a label shows one break for it.
QString shown(QString text) {
    return text.replace(kCrLf, QStringLiteral("\n"));
}

template <typename W> W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

QLabel* label(const QString& name, const QString& caption) {
    return named(new QLabel(caption), name);
}

QCheckBox* checkBox(const QString& name, const QString& caption, bool checked) {
    auto* box = named(new QCheckBox(caption), name);
    box->setChecked(checked);
    return box;
}

QComboBox* keyBox(const QString& name, const QStringList& items, int selected) {
    auto* box = named(new QComboBox, name);
    box->addItems(items);
    box->setCurrentIndex(selected);
    return box;
}

// The item a stored key code stands for: "Shift" 16, "Ctrl" 17; -1 for anything else.
int keyItem(int virtualKey) {
    return virtualKey == kVkShift ? 0 : virtualKey == kVkControl ? 1 : -1;
}

// The key code of the item, or what was stored when no item is selected.
quint8 keyCode(const QComboBox* box, quint8 stored) {
    switch (box->currentIndex()) {
    case 0: return quint8(kVkShift);
    case 1: return quint8(kVkControl);
    default: return stored;
    }
}

} // namespace

frmSysConfig::frmSysConfig(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSysConfig"));
    setWindowTitle(QStringLiteral("Vadok設定"));
    const Settings& s = settings();
    for (int i = 0; i < 5; ++i) {
        const qint32 values[] = {s.Color.infoTXT, s.Color.infoBG, s.Color.treeTXT, s.Color.treeBG,
                                 s.Color.treeSEL};
        m_colors[i] = values[i];
    }
    m_fonts[0] = s.Color.infoFont;
    m_fonts[1] = s.Color.treeFont;

    auto* tabs = named(new QTabWidget, QStringLiteral("SSTab1"));
    tabs->addTab(createGeneralTab(), QStringLiteral("全般"));
    tabs->addTab(createDisplayTab(), QStringLiteral("表示"));
    tabs->addTab(createKeyTab(), QStringLiteral("キー"));

    m_helpArea = named(new QFrame, QStringLiteral("picInfo"));
    m_helpArea->setAutoFillBackground(true);
    m_helpArea->setMinimumHeight(90);
    m_help = label(QStringLiteral("lblInfo"), QStringLiteral("設定項目の説明がここに表示されます"));
    m_help->setWordWrap(true);
    m_help->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_help->setAutoFillBackground(true);
    m_help->setFont(fontFromRecord(s.Color.infoFont));
    auto* helpLayout = new QVBoxLayout(m_helpArea);
    helpLayout->addWidget(m_help);

    auto* save = named(new QPushButton(QStringLiteral("設定保存(&S)")), QStringLiteral("cmdSave"));
    auto* cancel =
        named(new QPushButton(QStringLiteral("キャンセル(&C)")), QStringLiteral("cmdCancel"));
    save->setDefault(true);
    connect(save, &QPushButton::clicked, this, &frmSysConfig::cmdSave_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(m_helpArea);
    layout->addLayout(buttons);

    for (int i = 0; i < 5; ++i)
        showColor(i);
    for (int i = 0; i < 2; ++i)
        showFont(i);
    setHelpTexts();
    optIntoTaskTray_Click(m_trayOptions->checkedId());
}

QWidget* frmSysConfig::createGeneralTab() {
    const Settings& s = settings();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* period = new QHBoxLayout;
    m_txtDate = named(new QLineEdit(QString::number(s.Config.PackDate)), QStringLiteral("txtDate"));
    m_txtDate->setMaximumWidth(80);
    // The spin buttons of the period: -1 to 10; longer periods can only be typed. A scroll
    // bar's upper arrow lowers its value, so it holds the period negated.
    m_upDown = named(new QScrollBar(Qt::Vertical), QStringLiteral("UpDown1"));
    m_upDown->setRange(-10, 1);
    m_upDown->setValue(-std::clamp(int(s.Config.PackDate), -1, 10));
    m_upDown->setFixedHeight(m_txtDate->sizeHint().height());
    connect(m_upDown, &QScrollBar::valueChanged, this, &frmSysConfig::UpDown1_Change);
    connect(m_txtDate, &QLineEdit::textChanged, this, &frmSysConfig::txtDate_Change);
    period->addWidget(label(QStringLiteral("Label1(0)"), QStringLiteral("自動格納までの期間")));
    period->addWidget(m_txtDate);
    period->addWidget(m_upDown);
    period->addWidget(label(QStringLiteral("Label1(1)"), QStringLiteral("日")));
    period->addStretch();
    layout->addLayout(period);

    m_keepPos = checkBox(QStringLiteral("chkKeepPos"), QStringLiteral("画面の位置とサイズを記憶する"),
                         s.Config.KeepPos == 1);
    layout->addWidget(m_keepPos);

    auto* frame = named(new QGroupBox(QStringLiteral("最小化したときの表示")), QStringLiteral("Frame1"));
    auto* frameLayout = new QVBoxLayout(frame);
    m_trayOptions = new QButtonGroup(this);
    const QString captions[] = {QStringLiteral("タスクトレイを使用しない(通常)"),
                                QStringLiteral("最小化時にタスクトレイに格納"),
                                QStringLiteral("常にタスクトレイに表示")};
    for (int i = 0; i < 3; ++i) {
        auto* option =
            named(new QRadioButton(captions[i]), QStringLiteral("optIntoTaskTray(%1)").arg(i));
        m_trayOptions->addButton(option, i);
        frameLayout->addWidget(option);
    }
    if (QAbstractButton* selected = m_trayOptions->button(s.Config.IntoTaskTray))
        selected->setChecked(true);
    connect(m_trayOptions, &QButtonGroup::idClicked, this, &frmSysConfig::optIntoTaskTray_Click);
    m_startup = named(new QPushButton(QStringLiteral("自動起動の設定")), QStringLiteral("cmdStartup"));
    connect(m_startup, &QPushButton::clicked, this, &frmSysConfig::cmdStartup_Click);
    frameLayout->addWidget(m_startup, 0, Qt::AlignRight);
    layout->addWidget(frame);

    layout->addWidget(label(QStringLiteral("Label1(2)"), QStringLiteral("フォルダの設定")));
    auto* folders = new QGridLayout;
    struct FolderRow {
        const char* label;
        QString caption;
        QLineEdit** box;
        const char* name;
        QString path;
    };
    const FolderRow rows[] = {
        {"Label1(3)", QStringLiteral("圧縮ファイル保存フォルダ"), &m_packPath, "txtPackPath", s.PackDir},
        {"Label1(4)", QStringLiteral("実行フォルダ"), &m_execPath, "txtExecPath", s.ExecDir},
        {"Label1(5)", QStringLiteral("アイコンファイル保存フォルダ"), &m_iconPath, "txtIconPath", s.IconDir},
    };
    for (int i = 0; i < 3; ++i) {
        const FolderRow& row = rows[i];
        *row.box = named(new QLineEdit(row.path), QString::fromLatin1(row.name));
        auto* browse = named(new QPushButton(QStringLiteral("...")),
                             QStringLiteral("cmdIconPath(%1)").arg(i));
        browse->setFixedWidth(32);
        connect(browse, &QPushButton::clicked, this, [this, i] { cmdIconPath_Click(i); });
        folders->addWidget(label(QString::fromLatin1(row.label), row.caption), i * 2, 0, 1, 2);
        folders->addWidget(*row.box, i * 2 + 1, 0);
        folders->addWidget(browse, i * 2 + 1, 1);
    }
    layout->addLayout(folders);
    layout->addStretch();
    return page;
}

QWidget* frmSysConfig::createDisplayTab() {
    const Settings& s = settings();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    for (int i = 0; i < 5; ++i) {
        m_colorBoxes[i] = named(new QLabel, QStringLiteral("picSelColor(%1)").arg(i));
        m_colorBoxes[i]->setFixedSize(40, 20);
        m_colorBoxes[i]->setFrameShape(QFrame::Box);
        m_colorBoxes[i]->setAutoFillBackground(true);
        m_colorBoxes[i]->setCursor(Qt::PointingHandCursor);
        m_colorBoxes[i]->installEventFilter(this);
    }
    for (int i = 0; i < 2; ++i) {
        m_fontLabels[i] = named(new QLabel, QStringLiteral("lblFont(%1)").arg(i));
        m_fontLabels[i]->setFrameShape(QFrame::StyledPanel);
        m_fontLabels[i]->setCursor(Qt::PointingHandCursor);
        m_fontLabels[i]->installEventFilter(this);
    }
    auto row = [](QGridLayout* grid, int r, const QString& caption, QWidget* widget) {
        grid->addWidget(new QLabel(caption), r, 0);
        grid->addWidget(widget, r, 1, Qt::AlignLeft);
    };

    auto* notes = named(new QGroupBox(QStringLiteral("説明文")), QStringLiteral("Frame2"));
    auto* notesGrid = new QGridLayout(notes);
    row(notesGrid, 0, QStringLiteral("文字色"), m_colorBoxes[0]);
    row(notesGrid, 1, QStringLiteral("背景色"), m_colorBoxes[1]);
    row(notesGrid, 2, QStringLiteral("フォント"), m_fontLabels[0]);
    m_unDispInfo = checkBox(QStringLiteral("chkUnDispInfo"), QStringLiteral("ナロー時表示しない"),
                            s.Color.DispInfoNarrow);
    notesGrid->addWidget(m_unDispInfo, 3, 0, 1, 2);

    auto* tree = named(new QGroupBox(QStringLiteral("ツリービュー")), QStringLiteral("Frame3"));
    auto* treeGrid = new QGridLayout(tree);
    row(treeGrid, 0, QStringLiteral("フォント"), m_fontLabels[1]);
    row(treeGrid, 1, QStringLiteral("文字色"), m_colorBoxes[2]);
    row(treeGrid, 2, QStringLiteral("背景色"), m_colorBoxes[3]);
    row(treeGrid, 3, QStringLiteral("選択色"), m_colorBoxes[4]);

    auto* status = named(new QGroupBox(QStringLiteral("ステータスバー")), QStringLiteral("Frame4"));
    m_unDispStatus = checkBox(QStringLiteral("chkUnDispStatus"), QStringLiteral("ナロー時表示しない"),
                              s.Color.DispStatusNarrow);
    (new QVBoxLayout(status))->addWidget(m_unDispStatus);
    auto* menus = named(new QGroupBox(QStringLiteral("メニュー")), QStringLiteral("Frame5"));
    m_unDispMenu = checkBox(QStringLiteral("chkUnDispMenu"), QStringLiteral("ナロー時に隠す"),
                            s.Color.DispMenuNarrow);
    (new QVBoxLayout(menus))->addWidget(m_unDispMenu);

    auto* frames = new QGridLayout;
    frames->addWidget(notes, 0, 0);
    frames->addWidget(tree, 0, 1);
    frames->addWidget(status, 1, 0);
    frames->addWidget(menus, 1, 1);
    layout->addLayout(frames);
    m_unlhaDialog = checkBox(QStringLiteral("chkUnlhaDialog"),
                             QStringLiteral("Unlha32.dllのダイアログを表示しない"),
                             s.Config.LhaDialog == 1);
    m_searchAlways = checkBox(QStringLiteral("chkDispSearchTextBoxAnyTime"),
                              QStringLiteral("検索用テキストボックスを常に表示する"),
                              s.Color.DispSearchTextBoxAnyTime);
    layout->addWidget(m_unlhaDialog);
    // Our archiver has no dialog to show or hide; the setting is kept for the data file.
    m_unlhaDialog->setVisible(false);
    layout->addWidget(m_searchAlways);
    layout->addStretch();
    return page;
}

QWidget* frmSysConfig::createKeyTab() {
    const Settings& s = settings();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    const QStringList modifierKeys = {QStringLiteral("Shift"), QStringLiteral("Ctrl")};
    m_packKey = keyBox(QStringLiteral("cboPackKey"), modifierKeys, keyItem(s.PackKey));
    m_appCallEnd = keyBox(QStringLiteral("cboKey"), modifierKeys, keyItem(s.Key.AppCallEnd));
    const int findItem = s.Key.FindKey == 1 || s.Key.FindKey == 2 ? s.Key.FindKey - 1 : -1;
    m_findKey = keyBox(QStringLiteral("cboFindKey"),
                       {QStringLiteral("F3"), QStringLiteral("Ctrl+F")}, findItem);
    const std::pair<QString, QComboBox*> rows[] = {
        {QStringLiteral("次のキーを押しながらアプリを格納すると圧縮ファイルを削除してから格納"), m_packKey},
        {QStringLiteral("次のキーを押しながらアプリを実行すると起動後終了"), m_appCallEnd},
        {QStringLiteral("次のキーを押すと検索モード"), m_findKey},
    };
    for (const auto& [caption, box] : rows) {
        auto* text = new QLabel(caption);
        text->setWordWrap(true);
        layout->addWidget(text);
        layout->addWidget(box, 0, Qt::AlignLeft);
    }
    layout->addStretch();
    return page;
}

void frmSysConfig::setHelpTexts() {
    setFocusHelp();
    setMouseHelp();
    for (QLabel* box : m_colorBoxes)
        m_mouseHelp.insert(box, QStringLiteral("クリックして色を設定します"));
    findChild<QWidget*>(QStringLiteral("Frame1"))
        ->setToolTip(QStringLiteral("最小化したときどのように表示するかを指定します。"));
}

void frmSysConfig::setFocusHelp() {
    const QString folderNote =
        kCrLf + QStringLiteral("　ここで指定したフォルダはVadokが使用しますので、空のフォルダを指定してください");
    // Shown when the control takes the focus, and as its tool tip.
    const std::pair<QWidget*, QString> focus[] = {
        {m_txtDate,
         QStringLiteral("アプリケーションを最後に実行/展開/設定した日から何日経過したら、Vadok終了時に"
                        "アプリケーションを自動格納するかを設定します。") +
             kCrLf + kCrLf + QStringLiteral("（ 0:終了時に必ず格納する。") + kCrLf +
             QStringLiteral("　-1:自動格納を行わない") + kCrLf + QStringLiteral("   　   規定値は5です）")},
        {m_execPath, QStringLiteral("(通常は変更する必要はありません) 格納されているアプリケーションを"
                                    "実行時に展開するフォルダを指定します。") +
                         folderNote},
        {m_iconPath,
         QStringLiteral("(通常は変更する必要はありません) アイコンを格納するフォルダを指定します。") +
             folderNote},
        {m_packPath, QStringLiteral("(通常は変更する必要はありません) アプリケーションを格納するフォルダを"
                                    "指定します。") +
                         folderNote},
    };
    for (const auto& [widget, text] : focus) {
        m_focusHelp.insert(widget, text);
        widget->setToolTip(shown(text));
        widget->installEventFilter(this);
    }
    // Shown on focus only.
    const std::pair<QWidget*, QString> focusOnly[] = {
        {m_findKey, QStringLiteral("指定されたキーを押すと、検索モードになります。") + kCrLf +
                        QStringLiteral("　検索モードではアプリ名などからアプリを検索することができます。")},
        {m_appCallEnd, QStringLiteral("指定されたキーを押しながらアプリを実行すると、アプリを実行した後"
                                      "Vadokを終了します。(常駐モードではタスクトレイに戻します)")},
        {m_packKey, QStringLiteral("指定されたキーを押しながらアプリを格納すると、圧縮ファイルを一度削除して"
                                   "から格納します。") +
                        kCrLf +
                        QStringLiteral("通常の格納では追加圧縮を行うため、展開フォルダでファイルを削除しても"
                                       "圧縮ファイル内に残り続けます。")},
    };
    for (const auto& [widget, text] : focusOnly) {
        m_focusHelp.insert(widget, text);
        widget->installEventFilter(this);
    }
}

void frmSysConfig::setMouseHelp() {
    // Shown under the mouse; those marked also as tool tip.
    struct MouseHelp {
        QWidget* widget;
        QString text;
        bool tip;
    };
    const QString trayTwo =
        QStringLiteral("常時タスクトレイにアイコンが表示されます。いわゆる常駐アプリケーションです。") +
        kCrLf + QStringLiteral("Vadokを終了するにはタスクトレイアイコンを右クリックし終了を選択してください ");
    const MouseHelp mouse[] = {
        {m_unlhaDialog, QStringLiteral("チェックすると圧縮処理時にUnLha32のダイアログを表示しません。"
                                       "（気持ち）処理が早くなるようです。"),
         true},
        {m_keepPos, QStringLiteral("チェックすると終了時にウィンドウの位置を記憶し、次回Vadok起動時に"
                                   "その位置にウィンドウを開きます。"),
         false},
        {m_unDispMenu, QStringLiteral("チェックするとナロー時にメニューを隠します。メニューが表示されていない"
                                      "状態でマウスをウインドウ上端に持っていくとメニューが表示されます"),
         true},
        {m_unDispStatus, QStringLiteral("チェックするとナロー時にステータスバーを表示しないようになります。"), true},
        {m_unDispInfo, QStringLiteral("チェックするとナロー時に説明文表示しないようになります。"), true},
        {m_searchAlways, QStringLiteral("チェックすると常に検索用テキストボックスを表示した状態となります。"
                                        "チェックしない場合は『キー』タブで設定したキーを入力した時に検索画面が"
                                        "現れます"),
         true},
        {m_trayOptions->button(0),
         QStringLiteral("通常のアプリケーションと同様に、最小化したときステータスバーに表示されます"), true},
        {m_trayOptions->button(1), QStringLiteral("最小化したとき、タスクトレイに格納します。"), true},
        {m_trayOptions->button(2), trayTwo, true},
        {m_startup, QStringLiteral("ログオン時にVadokを自動的に起動させるための処理を行います。"), true},
        {m_fontLabels[0], QStringLiteral("クリックしてフォントを設定します"), false},
        {m_fontLabels[1], QStringLiteral("クリックしてフォントを設定します"), false},
    };
    for (const MouseHelp& help : mouse) {
        m_mouseHelp.insert(help.widget, help.text);
        if (help.tip)
            help.widget->setToolTip(shown(help.text));
        help.widget->installEventFilter(this);
    }
}

void frmSysConfig::showHelp(const QString& text) {
    m_help->setText(shown(text));
}

void frmSysConfig::showColor(int index) {
    const QColor color = oleColor(m_colors[index], QApplication::palette());
    QPalette palette = m_colorBoxes[index]->palette();
    palette.setColor(QPalette::Window, color);
    m_colorBoxes[index]->setPalette(palette);
    // The help area previews the notes' colours.
    if (index == 0 || index == 1) {
        QPalette help = m_help->palette();
        help.setColor(QPalette::WindowText, oleColor(m_colors[0], QApplication::palette()));
        help.setColor(QPalette::Window, oleColor(m_colors[1], QApplication::palette()));
        m_help->setPalette(help);
        m_helpArea->setPalette(help);
    }
}

void frmSysConfig::showFont(int index) {
    // A data file from Windows names fonts this desktop lacks: the label names the one used.
    const QFont font = fontFromRecord(m_fonts[index]);
    m_fontLabels[index]->setFont(font);
    m_fontLabels[index]->setText(QFontInfo(font).family());
}

bool frmSysConfig::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::FocusIn:
        if (m_focusHelp.contains(watched))
            showHelp(m_focusHelp.value(watched));
        break;
    case QEvent::Enter:
        if (m_mouseHelp.contains(watched))
            showHelp(m_mouseHelp.value(watched));
        break;
    case QEvent::MouseButtonRelease:
        for (int i = 0; i < 5; ++i) {
            if (watched == m_colorBoxes[i]) {
                picSelColor_Click(i);
                return true;
            }
        }
        for (int i = 0; i < 2; ++i) {
            if (watched == m_fontLabels[i]) {
                lblFont_Click(i);
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void frmSysConfig::txtDate_Change(const QString& text) {
    // The spin buttons count on from what was typed, not from where they last stood. A period
    // beyond their range leaves them at its end: the arrow towards it then changes nothing.
    const std::optional<double> typed = textToNumber(text);
    if (!typed)
        return;
    const QSignalBlocker quiet(m_upDown);
    m_upDown->setValue(-int(std::clamp(std::floor(*typed), -1.0, 10.0)));
}

void frmSysConfig::UpDown1_Change(int value) {
    m_txtDate->setText(QString::number(-value));
    showHelp(m_focusHelp.value(m_txtDate));
}

void frmSysConfig::optIntoTaskTray_Click(int index) {
    m_startup->setEnabled(false);
    if (index != 2) {
        m_startup->hide();
        return;
    }
    m_startup->setText(autoStartCaption());
    m_startup->show();
    m_startup->setEnabled(true);
}

void frmSysConfig::cmdStartup_Click() {
    // The caption says what the user asked for, even if the entry came or went meanwhile.
    if (m_startup->text() == u"自動起動の設定")
        RegisterAutoStart();
    else
        RemoveAutoStart();
    optIntoTaskTray_Click(2);
}

void frmSysConfig::cmdIconPath_Click(int index) {
    QLineEdit* boxes[] = {m_packPath, m_execPath, m_iconPath};
    const std::optional<QString> folder =
        chooser().chooseFolder(QStringLiteral("フォルダを選択してください。"), boxes[index]->text());
    if (!folder)
        return;
    boxes[index]->setText(*folder);
    boxes[index]->setToolTip(*folder);
}

void frmSysConfig::picSelColor_Click(int index) {
    const std::optional<QColor> color =
        chooser().chooseColor(oleColor(m_colors[index], QApplication::palette()));
    if (!color)
        return;
    m_colors[index] = oleColorValue(*color);
    showColor(index);
}

void frmSysConfig::lblFont_Click(int index) {
    const std::optional<QFont> font = chooser().chooseFont(fontFromRecord(m_fonts[index]));
    if (!font)
        return;
    m_fonts[index] = fontRecord(*font);
    showFont(index);
}

bool frmSysConfig::saveFolder(QLineEdit* box, QString& folder, const QString& what) {
    QString path = box->text();
    if (!path.endsWith(u'/')) {
        path += u'/';
        box->setText(path);
    }
    // A long copy shows its progress in the main window's status bar; the dialog waits.
    setEnabled(false);
    const FolderChange change = MoveWorkingFolder(path, folder, what);
    setEnabled(true);
    if (change == FolderChange::Missing)
        showMessage(QStringLiteral("フォルダが存在しません"), MsgIcon::Exclamation);
    if (change == FolderChange::Missing || change == FolderChange::Failed) {
        box->setFocus();
        box->selectAll();
        return false;
    }
    return true;
}

void frmSysConfig::cmdSave_Click() {
    Settings& s = settings();
    QString refusal;
    const std::optional<qint16> period = parseStoringPeriod(m_txtDate->text(), &refusal);
    if (!period) {
        showMessage(refusal, MsgIcon::Exclamation);
        return;
    }
    s.Config.PackDate = *period;
    s.Config.KeepPos = m_keepPos->isChecked() ? 1 : 0;
    s.Config.LhaDialog = m_unlhaDialog->isChecked() ? 1 : 0;
    if (m_trayOptions->checkedId() >= 0)
        s.Config.IntoTaskTray = quint8(m_trayOptions->checkedId());

    // A folder that cannot be had stops here; what came before stays applied.
    if (!saveFolder(m_execPath, s.ExecDir, QStringLiteral("実行フォルダ")) ||
        !saveFolder(m_packPath, s.PackDir, QStringLiteral("圧縮ファイル保存フォルダ")) ||
        !saveFolder(m_iconPath, s.IconDir, QStringLiteral("アイコンファイル保存フォルダ")))
        return;

    s.Color.infoTXT = m_colors[0];
    s.Color.infoBG = m_colors[1];
    s.Color.treeTXT = m_colors[2];
    s.Color.treeBG = m_colors[3];
    s.Color.treeSEL = m_colors[4];
    s.Color.infoFont = m_fonts[0];
    s.Color.treeFont = m_fonts[1];
    s.Color.DispInfoNarrow = m_unDispInfo->isChecked();
    s.Color.DispStatusNarrow = m_unDispStatus->isChecked();
    s.Color.DispMenuNarrow = m_unDispMenu->isChecked();
    s.Color.DispSearchTextBoxAnyTime = m_searchAlways->isChecked();
    s.Key.AppCallEnd = keyCode(m_appCallEnd, s.Key.AppCallEnd);
    s.PackKey = keyCode(m_packKey, s.PackKey);
    if (m_findKey->currentIndex() >= 0)
        s.Key.FindKey = quint8(m_findKey->currentIndex() + 1);
    accept();
}

} // namespace vadok
