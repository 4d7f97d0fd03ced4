// The editor's side panels: the texts and pages that came with the application, from which
// F1 and F2 take a name or notes, and up to five further commands; and the choice of a
// program file below the application's folder.
#include "dialogs/frmedit.h"

#include "apps/referencetexts.h"
#include "dialogs/frmedit_parts.h"
#include "dialogs/referencepageview.h"
#include "platform/chooser.h"
#include "platform/prompter.h"
#include "platform/shellopen.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

namespace vadok {

using namespace editparts;

namespace {

// A reference text is read this far at most: a thousand lines of four kilobytes each.
constexpr qint64 kMostBytesRead = 4 * 1024 * 1024;

// The text of the reference text file path, cut after its last whole line when the file is
// longer than is read.
QString readReferenceText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.read(kMostBytesRead);
    if (file.atEnd())
        return ReferenceText(bytes);
    bytes.truncate(bytes.lastIndexOf('\n') + 1);
    QString text = ReferenceText(bytes);
    if (!text.endsWith(kReadInterrupted))
        text += kReadInterrupted;
    return text;
}

// The selection of a text view as plain text with this system's line breaks; the pictures of
// a page are no text.
QString selectionOf(const QTextCursor& cursor) {
    QString text = cursor.selectedText();
    text.replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n');
    text.remove(QChar::ObjectReplacementCharacter);
    return text.trimmed();
}

} // namespace

void frmEdit::createTextPanel() {
    m_textPanel = named(new QGroupBox(QStringLiteral("テキスト参照"), this), QStringLiteral("frameTxt"));
    auto* layout = new QVBoxLayout(m_textPanel);
    auto* intro = new QLabel(QStringLiteral("プログラムに同梱されているテキストファイルを参照します。"), m_textPanel);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_txtFile = named(new QComboBox(m_textPanel), QStringLiteral("cboTxtFile"));
    layout->addWidget(m_txtFile);
    m_fromFile = named(new QPlainTextEdit(m_textPanel), QStringLiteral("txtFromFile"));
    m_fromFile->setReadOnly(true);
    m_fromFile->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(m_fromFile, 1);
    m_page = named(new ReferencePageView(m_textPanel), QStringLiteral("WebBrowser1"));
    m_page->hide();
    layout->addWidget(m_page, 1);
    layout->addWidget(new QLabel(QStringLiteral("【F1】 選択範囲を名称にセット"), m_textPanel));
    layout->addWidget(new QLabel(QStringLiteral("【F2】 選択範囲を説明に追加"), m_textPanel));
    QPushButton* openFolder =
        button(QStringLiteral("フォルダを開く"), QStringLiteral("cmdFolOpen"),
               QStringLiteral("htmlヘルプ等テキストファイルでないものがヘルプのときにドゾ"), m_textPanel);
    layout->addWidget(openFolder);
    m_textPanel->setFixedSize(twipsToPixels(*this, kTextsWidth - kClosedWidth),
                              twipsToPixels(*this, kClosedHeight) - twipsToPixels(*this, 600));
    m_textPanel->hide();

    connect(m_txtFile, &QComboBox::activated, this, &frmEdit::cboTxtFile_Click);
    connect(openFolder, &QPushButton::clicked, this, &frmEdit::cmdFolOpen_Click);
}

void frmEdit::createCommandPanel() {
    m_subPanel = named(new QWidget(this), QStringLiteral("pic通常以外"));
    auto* layout = new QGridLayout(m_subPanel);
    int row = 0;
    for (const char16_t* text :
         {u"ここでは通常以外の実行ファイルなどを指定します。",
          u"下の設定欄では、ツリー上の項目を右クリックして表示されるポップアップメニューから "
          u"[通常以外の実行] を選択して表示→実行するプログラムを指定します。",
          u"設定用のプログラムなどが別途用意されている場合などに便利だと思います。",
          u"ツリー上のアプリケーションをダブルクリックすると左の実行コマンドで設定したプログラムが実行されます。"}) {
        auto* label = new QLabel(QString::fromUtf16(text), m_subPanel);
        label->setWordWrap(true);
        layout->addWidget(label, row++, 0, 1, 2);
    }
    for (int i = 0; i < 5; ++i) {
        QComboBox* box = named(new QComboBox(m_subPanel),
                               QStringLiteral("txtSubExecCmd(%1)").arg(i), kProgramTip);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        m_subExecCmd[i] = box;
        QPushButton* choose =
            chooseButton(QStringLiteral("cmdSubExecCmd(%1)").arg(i), kOtherFileTip, m_subPanel);
        layout->addWidget(box, row, 0);
        layout->addWidget(choose, row++, 1);
        connect(choose, &QPushButton::clicked, this, [this, box] { chooseProgram(box); });
    }
    layout->setRowStretch(row, 1);
    m_subPanel->setFixedSize(twipsToPixels(*this, kCommandsWidth - kClosedWidth),
                             twipsToPixels(*this, kClosedHeight) - twipsToPixels(*this, 600));
    m_subPanel->hide();
}

void frmEdit::cmdTxtRef_Click() {
    openPanel(m_textsButton->text() == kTextsOpen ? Panel::None : Panel::Texts);
}

void frmEdit::cmdOtherExec_Click() {
    openPanel(m_commandsButton->text() == kCommandsOpen ? Panel::None : Panel::Commands);
}

void frmEdit::openPanel(Panel panel) {
    m_textPanel->setVisible(panel == Panel::Texts);
    m_subPanel->setVisible(panel == Panel::Commands);
    m_textsButton->setText(panel == Panel::Texts ? kTextsOpen : kTextsClosed);
    m_commandsButton->setText(panel == Panel::Commands ? kCommandsOpen : kCommandsClosed);
    // The dialog takes the width of what it shows at once, not at the next layout pass.
    layout()->activate();
}

void frmEdit::fillReferenceList() {
    m_txtFile->clear();
    m_txtFile->addItems(ReferenceFiles(basePath()));
    // The first text is shown at once: an empty view would look as if there were none.
    m_txtFile->setCurrentIndex(m_txtFile->count() > 0 ? 0 : -1);
    if (m_txtFile->count() > 0)
        cboTxtFile_Click(0);
}

void frmEdit::cboTxtFile_Click(int index) {
    m_fromFile->clear();
    const QString name = m_txtFile->itemText(index);
    const QString path = basePath() + name;
    // A link put in place of a listed file may lead anywhere: it is not read.
    const QFileInfo file(path);
    if (!file.isFile() || file.isSymLink()) {
        showMessage(QStringLiteral("ファイル [") + name + QStringLiteral("] が見つかりません"),
                    MsgIcon::Critical);
        return;
    }
    if (IsReferenceText(name)) {
        QString text = readReferenceText(path);
        m_fromFile->setPlainText(text.replace(kCrLf, QStringLiteral("\n")));
        m_fromFile->show();
        m_page->hide();
    } else {
        m_page->setSource(QUrl::fromLocalFile(path), QTextDocument::HtmlResource);
        m_page->show();
        m_fromFile->hide();
    }
}

void frmEdit::keyPressEvent(QKeyEvent* event) {
    // Only in the reference view the user selects from: F1 typed in the name or the notes
    // reaches the dialog too, and must not overwrite the name.
    const QWidget* shownView = m_fromFile->isHidden() ? static_cast<QWidget*>(m_page) : m_fromFile;
    if ((event->key() == Qt::Key_F1 || event->key() == Qt::Key_F2) &&
        event->modifiers() == Qt::NoModifier && !m_textPanel->isHidden() &&
        focusWidget() == shownView) {
        takeSelection(event->key());
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmEdit::takeSelection(int key) {
    const bool page = m_fromFile->isHidden();
    const QString text = selectionOf(page ? m_page->textCursor() : m_fromFile->textCursor());
    if (text.isEmpty())
        return;
    if (key == Qt::Key_F1) {
        // A name is one line.
        m_name->setText(QString(text).replace(u'\n', u' '));
        return;
    }
    QString notes = m_info->toPlainText();
    if (!notes.isEmpty())
        notes += u'\n';
    m_info->setPlainText(notes + text);
    auto clearSelection = [](auto* view) {
        QTextCursor cursor = view->textCursor();
        cursor.clearSelection();
        view->setTextCursor(cursor);
    };
    if (page)
        clearSelection(m_page);
    else
        clearSelection(m_fromFile);
}

void frmEdit::cmdFolOpen_Click() { ShellOpen(basePath(), QString(), basePath()); }

void frmEdit::chooseProgram(QComboBox* box) {
    const QString base = basePath();
    Chooser::FileRequest request;
    request.initialName = base + QStringLiteral("実行するファイルを選択してください");
    request.startFolder = base;
    const std::optional<QString> chosen = chooser().chooseFile(request);
    if (!chosen)
        return;
    // A path that climbs out with ".." is not below the folder, whatever it starts with.
    const QString path = QDir::cleanPath(*chosen);
    if (!path.startsWith(base)) {
        showMessage(QStringLiteral("対象となるフォルダより上の階層を指定することは出来ません"),
                    MsgIcon::Exclamation);
        return;
    }
    if (!QFileInfo(path).isFile()) {
        showMessage(QStringLiteral("指定されたファイルが見つかりません"), MsgIcon::Exclamation);
        return;
    }
    const QString relative = path.mid(base.size());
    box->setEditText(relative);
    if (box == m_execCmd)
        m_iconPath->setText(base + relative);
}

void frmEdit::txtExecCmd_Click(int index) {
    const QString program = m_execCmd->itemText(index);
    if (QFileInfo(basePath() + program).isFile())
        m_iconPath->setText(basePath() + program);
}

} // namespace vadok
