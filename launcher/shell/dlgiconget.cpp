#include "shell/dlgiconget.h"

#include "platform/chooser.h"
#include "platform/filekind.h"
#include "platform/prompter.h"
#include "shell/fileicons.h"
#include "shell/icongrid.h"
#include "shell/iconstrip.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace vadok {

namespace {

// Eight columns of icons are in view at a time.
constexpr int kContainerWidth = 8 * IconGrid::kCell;

} // namespace

dlgIconGet::dlgIconGet(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgIconGet"));
    setWindowTitle(QStringLiteral("アイコンの参照"));

    m_lblFileName = new QLabel(QStringLiteral("このファイル内のアイコンを検索(&L):"), this);
    m_lblFileName->setObjectName(QStringLiteral("lblFileName"));
    m_txtFileName = new QLineEdit(this);
    m_txtFileName->setObjectName(QStringLiteral("txtFileName"));
    m_lblFileName->setBuddy(m_txtFileName);
    m_cmdFile = new QPushButton(QStringLiteral("参照(&B)..."), this);
    m_cmdFile->setObjectName(QStringLiteral("cmdFile"));
    m_cmdFile->setAutoDefault(false);

    m_lblIcons = new QLabel(QStringLiteral("下の一覧からアイコンを選択(&S):"), this);
    m_lblIcons->setObjectName(QStringLiteral("lblIcons"));
    m_picContainer = new QWidget(this);
    m_picContainer->setObjectName(QStringLiteral("picContainer"));
    m_picContainer->setFixedSize(kContainerWidth, IconGrid::kStripHeight);
    m_picContainer->setAutoFillBackground(true);
    m_picContainer->setBackgroundRole(QPalette::Base);
    // The strip is as high as the view, so beside a short strip no click can find an icon:
    // only the strip itself takes clicks.
    m_picIcon = new IconStrip(m_picContainer);
    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    m_picIcon->setFocusPolicy(Qt::StrongFocus);
    m_lblIcons->setBuddy(m_picIcon);
    // The scroll bar never keeps the focus: typing goes to the file name.
    m_hscIcon = new QScrollBar(Qt::Horizontal, this);
    m_hscIcon->setObjectName(QStringLiteral("hscIcon"));
    m_hscIcon->setFocusPolicy(Qt::NoFocus);
    m_hscIcon->setFixedWidth(kContainerWidth);
    m_hscIcon->setSingleStep(IconGrid::kCell);
    m_hscIcon->setPageStep(kContainerWidth);
    m_hscIcon->setRange(0, 0);
    m_hscIcon->setEnabled(false);

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdCancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdCancel->setAutoDefault(false);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_txtFileName, 1);
    fileRow->addWidget(m_cmdFile);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblFileName);
    layout->addLayout(fileRow);
    layout->addWidget(m_lblIcons);
    layout->addWidget(m_picContainer);
    layout->addWidget(m_hscIcon);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_picIcon, &IconStrip::pressed, this, [this](const QPoint& point) {
        SelectIcon(IconGrid::HitTest(point.x(), point.y(), m_iconCount));
    });
    connect(m_picIcon, &IconStrip::doubleClicked, this, &dlgIconGet::cmdOK_Click);
    connect(m_hscIcon, &QScrollBar::valueChanged, this, &dlgIconGet::hscIcon_Change);
    connect(m_cmdFile, &QPushButton::clicked, this, &dlgIconGet::cmdFile_Click);
    connect(m_cmdOK, &QPushButton::clicked, this, &dlgIconGet::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &dlgIconGet::reject);
}

dlgIconGet::~dlgIconGet() = default;

void dlgIconGet::ShowOpen() { exec(); }

void dlgIconGet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
}

void dlgIconGet::Form_Load() {
    m_originalFileName = m_fileName;
    m_originalIconIndex = m_iconIndex;
    if (!m_fileName.isEmpty() && isNormalFile(m_fileName))
        LoadIconStrip(m_fileName, m_iconIndex);
}

void dlgIconGet::LoadIconStrip(const QString& file, int index) {
    auto icons = std::make_shared<const FileIcons>(file);
    const int count = icons->count();
    if (count == 0) {
        showMessage(QStringLiteral("ファイルにアイコンが含まれていません。"), MsgIcon::None,
                    MsgButtons::Ok, QStringLiteral("アイコンを開く"));
        return;
    }
    m_icons = std::move(icons);
    m_iconCount = count;
    m_txtFileName->setText(file);
    m_fileName = file;
    m_iconIndex = index;

    const int stripWidth = IconGrid::StripWidth(count);
    m_picIcon->move(0, 0);
    m_hscIcon->setRange(0, std::max(stripWidth - 1 - m_picContainer->width(), 0));
    m_hscIcon->setValue(0);
    m_hscIcon->setEnabled(stripWidth > m_picContainer->width());

    m_picIcon->setIcons(m_icons);
    SelectIcon(index);
}

void dlgIconGet::SelectIcon(int index) {
    if (index < 0)
        return;
    m_picIcon->setSelected(index);
    m_iconIndex = index;
}

void dlgIconGet::hscIcon_Change(int value) { m_picIcon->move(-value, 0); }

void dlgIconGet::cmdFile_Click() {
    Chooser::FileRequest request;
    request.initialName = m_txtFileName->text();
    setEnabled(false);
    const std::optional<QString> chosen = chooser().chooseFile(request);
    setEnabled(true);
    if (chosen && QFileInfo(*chosen).isFile()) {
        LoadIconStrip(*chosen, 0);
        m_txtFileName->setText(*chosen);
    }
}

void dlgIconGet::cmdOK_Click() {
    // A path typed by hand is loaded first; the choice ends with the next OK.
    if (m_txtFileName->text() != m_fileName) {
        LoadIconStrip(m_txtFileName->text(), 0);
        return;
    }
    accept();
}

void dlgIconGet::reject() {
    m_fileName = m_originalFileName;
    m_iconIndex = m_originalIconIndex;
    QDialog::reject();
}

} // namespace vadok
