// The information panel: what it shows for the root, a folder and an application, and where
// its parts go.
#include "mainwindow/infopanel.h"

#include "apps/packapp.h"
#include "catalog/appnamerules.h"
#include "catalog/settings.h"
#include "mainwindow/layouthelper.h"
#include "mainwindow/programversion.h"
#include "resources/builtinimages.h"
#include "shell/appearance.h"
#include "shell/iconpicture.h"
#include "shell/windowlayout.h"
#include "util/statustext.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

namespace vadok {

namespace {

QString aboutText() {
    static const char16_t* const lines[] = {
        u"Vadokはアプリケーション格納型ランチャーです。",
        u"",
        u"たくさんのオンラインソフトを利用していると、",
        u"「これは何をするソフトだったかな？」 とか、",
        u"「このゲームはどう操作するんだっけ？」",
        u"ということがあるかと思います。",
        u"Vadokは「使わないときは圧縮して保存」「使用方法のメモを残す」ことで、",
        u"いつも使うわけではないけど、ないと不便なアプリケーションを管理するソフトです。",
        u"",
        u"■version 1.9 の修正点",
        u"　　検索機能の追加：[F3]キーを押すと検索画面が表示されます",
    };
    QStringList text;
    for (const char16_t* line : lines)
        text << QString::fromUtf16(line);
    return text.join(QStringLiteral("\r\n"));
}

} // namespace

InfoPanel::InfoPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picInfo"));
    m_bigIcon = new QLabel(this);
    m_bigIcon->setObjectName(QStringLiteral("picBigIcon"));
    m_bigIcon->setFixedSize(64, 64);
    m_title = new QLineEdit(this);
    m_title->setObjectName(QStringLiteral("txtAppTitle"));
    m_title->setReadOnly(true);
    m_title->setFrame(false);
    m_title->setText(QStringLiteral("Please wait..."));
    m_infoText = new QPlainTextEdit(this);
    m_infoText->setObjectName(QStringLiteral("txtAppInfo"));
    m_infoText->setReadOnly(true);
    m_pack = new QPushButton(QStringLiteral("格納"), this);
    m_pack->setObjectName(QStringLiteral("cmdPack"));
    m_edit = new QPushButton(QStringLiteral("編集"), this);
    m_edit->setObjectName(QStringLiteral("cmdEdit"));
    m_exec = new QPushButton(QStringLiteral("実行"), this);
    m_exec->setObjectName(QStringLiteral("cmdExec"));
    m_exec->setDefault(true);
    connect(m_pack, &QPushButton::clicked, this, &InfoPanel::packClicked);
    connect(m_edit, &QPushButton::clicked, this, &InfoPanel::editClicked);
    connect(m_exec, &QPushButton::clicked, this, &InfoPanel::execClicked);
}

void InfoPanel::paintBigIcon(const QPixmap& picture, int size) {
    QPixmap canvas(64, 64);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRect(0, 0, 64, 64), builtinImage(QStringLiteral("white32")));
    if (!picture.isNull())
        painter.drawPixmap(QRect(0, 0, size, size), picture);
    painter.end();
    m_bigIcon->setPixmap(canvas);
}

void InfoPanel::showRoot() {
    const QString version = programVersionText();
    SetStatusText(version, 1);
    m_title->setText(version);
    paintBigIcon(builtinImage(QStringLiteral("exeicon")), 64);
    m_infoText->setPlainText(aboutText());
    // The state of the application selected before is no state of the root's.
    SetStatusText(QString(), 2);
}

void InfoPanel::showApp(PackApp& app) {
    const QString notes = app.Info();
    m_infoText->setPlainText(notes);
    const qsizetype cr = notes.indexOf(u'\r');
    SetStatusText(cr < 0 ? notes : notes.left(cr), 1);
    SetStatusText(app.isPack() ? QStringLiteral("圧縮") : QStringLiteral("展開"), 2);
    m_title->setText(app.AppName());
    // Read as the tree reads it: never through a link out of the icon folder, never waiting
    // on a FIFO planted under the icon's name.
    QPixmap picture;
    if (const std::optional<QByteArray> bytes = readIconFile(app.iconPath()))
        picture = QPixmap::fromImage(iconPicture(*bytes, 32));
    paintBigIcon(picture, 63);
    m_pack->setEnabled(!app.NonPack());
}

void InfoPanel::showFolder(const QString& name) {
    SetStatusText(QStringLiteral("フォルダ:") + name, 1);
    m_title->setText(name);
    m_infoText->setPlainText(name + QStringLiteral(" フォルダ\r\n\r\n"));
    paintBigIcon(builtinImage(QStringLiteral("folopen")), 64);
    SetStatusText(QString(), 2);
}

void InfoPanel::showRefusedTitle(const QString& title) {
    const QString warning =
        QStringLiteral("「%1」は名称として使えないため、実行・格納・編集できません").arg(title);
    SetStatusText(warning, 1);
    m_title->setText(title);
    m_infoText->setPlainText(warning + QStringLiteral("（") + nameRefusal(title) +
                             QStringLiteral("）。\r\n\r\nこのマシン以外で書かれたデータファイルから"
                                            "読み込まれた可能性があります。圧縮ファイル・展開フォルダ・"
                                            "アイコンには触れていません。"));
    paintBigIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32), 63);
    SetStatusText(QString(), 2);
}

void InfoPanel::applyStyle(const ColorRecord& color) {
    QPalette palette = m_infoText->palette();
    palette.setColor(QPalette::Text, oleColor(color.infoTXT, QApplication::palette()));
    palette.setColor(QPalette::Base, oleColor(color.infoBG, QApplication::palette()));
    m_infoText->setPalette(palette);
    m_infoText->setFont(fontFromRecord(color.infoFont));
}

void InfoPanel::showWide() {
    show();
    m_bigIcon->show();
    m_exec->show();
    m_edit->show();
    m_pack->show();
    m_title->show();
}

void InfoPanel::showNarrow(bool commandButtons) {
    m_bigIcon->hide();
    m_title->hide();
    m_exec->setVisible(commandButtons);
    m_edit->setVisible(commandButtons);
    m_pack->setVisible(commandButtons);
}

void InfoPanel::arrange(const LayoutHelper& layout, bool narrow, bool commandButtons) {
    InfoPanelInput in;
    in.panel = QSize(layout.toTwips(width()), layout.toTwips(height()));
    in.buttonHeight = layout.toTwips(m_exec->sizeHint().height());
    in.titleHeight = layout.toTwips(m_title->sizeHint().height());
    in.narrow = narrow;
    in.commandButtons = commandButtons;
    const InfoPanelLayout placed = infoPanelLayout(in);
    m_bigIcon->move(0, 0);
    if (!narrow)
        m_title->setGeometry(layout.toPixels(placed.title));
    m_infoText->setGeometry(layout.toPixels(placed.notes));
    m_pack->setGeometry(layout.toPixels(placed.pack));
    m_edit->setGeometry(layout.toPixels(placed.edit));
    m_exec->setGeometry(layout.toPixels(placed.exec));
}

void InfoPanel::disableCommands() {
    m_edit->setEnabled(false);
    m_exec->setEnabled(false);
    m_pack->setEnabled(false);
}

} // namespace vadok
