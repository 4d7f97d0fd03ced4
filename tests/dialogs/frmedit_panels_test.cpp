#include "editorfixture.h"

#include "catalog/cp932codec.h"
#include "catalog/settings.h"
#include "dialogs/referencepageview.h"

#include "support/scriptedchooser.h"

#include <QFile>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

namespace vadok::test {
namespace {

QComboBox* box(QDialog& d, const char* name) { return control<QComboBox>(d, name); }
QPlainTextEdit* textView(QDialog& d) { return control<QPlainTextEdit>(d, "txtFromFile"); }
QTextBrowser* pageView(QDialog& d) { return control<QTextBrowser>(d, "WebBrowser1"); }

// What the user reads in the reference panel, as one line per paragraph.
QString lines(int count) {
    QString text;
    for (int i = 1; i <= count; ++i)
        text += QStringLiteral("%1 行目\n").arg(i);
    return text;
}

class EditorPanels : public Editor {
protected:
    // The application Docs with texts and pages beside its program. The long text and the
    // page are written in Windows' Japanese code page.
    EditorPanels() {
        const Cp932Codec& cp932 = Cp932Codec::instance();
        QString longText = lines(1500);
        longText.replace(u'\n', QStringLiteral("\r\n"));
        docs =
            registerApp(QStringLiteral("Docs"), QStringLiteral("run.sh"),
                        {{QStringLiteral("run.sh"), "#!/bin/sh\n"},
                         {QStringLiteral("readme.txt"), "  ツール 2.0  \n使い方: 起動するだけ\n"},
                         {QStringLiteral("READ.TXT"), cp932.fromUnicode(longText)},
                         {QStringLiteral("help.html"),
                          "<html><body><p>" + cp932.fromUnicode(QStringLiteral("ヘルプの本文")) +
                              "</p><img src=\"http://example.invalid/tracker.png\"></body></html>"},
                         {QStringLiteral("gone.txt"), "soon gone"},
                         {QStringLiteral("doc/README"), "deep"},
                         {QStringLiteral("tool.dat"), "data"}});
    }
    EditOutcome editDocs() {
        frmEdit editor(kFolders);
        return docs.ShowConfig(editor);
    }
    static void choose(QDialog& d, const QString& file) {
        QComboBox* list = box(d, "cboTxtFile");
        const int index = list->findText(file);
        ASSERT_GE(index, 0) << file.toStdString();
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    static void selectInText(QDialog& d, const QString& text) {
        QPlainTextEdit* view = textView(d);
        const qsizetype at = view->toPlainText().indexOf(text);
        ASSERT_GE(at, 0);
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(int(at));
        cursor.setPosition(int(at + text.size()), QTextCursor::KeepAnchor);
        view->setTextCursor(cursor);
    }

    PackApp docs;
};

TEST_F(EditorPanels, eachPanelButtonOpensItsPanelAtItsWidthAndClosesTheOther) {
    driver.then([](QDialog& d) {
        auto twips = [&d](int value) { return value * d.logicalDpiX() / 1440; };
        QPushButton* texts = control<QPushButton>(d, "cmdTxt参照");
        QPushButton* commands = control<QPushButton>(d, "cmd通常以外の実行");
        QWidget* textPanel = control<QWidget>(d, "frameTxt");
        QWidget* commandPanel = control<QWidget>(d, "pic通常以外");
        const int height = d.height();
        EXPECT_EQ(d.width(), twips(4650));
        const struct {
            QPushButton* pressed;
            int width;
            const char* textsCaption;
            const char* commandsCaption;
        } steps[] = {
            {texts, 9930, "テキスト参照←", "通常以外の実行→"},
            {commands, 8925, "テキスト参照→", "通常以外の実行←"},
            {commands, 4650, "テキスト参照→", "通常以外の実行→"},
            {texts, 9930, "テキスト参照←", "通常以外の実行→"},
            {texts, 4650, "テキスト参照→", "通常以外の実行→"},
        };
        for (const auto& step : steps) {
            step.pressed->click();
            SCOPED_TRACE(step.width);
            EXPECT_EQ(d.width(), twips(step.width));
            EXPECT_EQ(d.height(), height);
            EXPECT_EQ(texts->text(), QString::fromUtf8(step.textsCaption));
            EXPECT_EQ(commands->text(), QString::fromUtf8(step.commandsCaption));
            EXPECT_EQ(textPanel->isVisible(), QString::fromUtf8(step.textsCaption).endsWith(u'←'));
            EXPECT_EQ(commandPanel->isVisible(), QString::fromUtf8(step.commandsCaption).endsWith(u'←'));
        }
        press(d, "cmdCancel");
    });
    EXPECT_EQ(edit(), EditOutcome::Cancelled);
}

TEST_F(EditorPanels, referenceTextsAreListedTextsFirstAndCutAfterTheLineLimit) {
    prompter.expect(QStringLiteral("ファイル [gone.txt] が見つかりません"));
    driver.then([](QDialog& d) {
        QComboBox* list = box(d, "cboTxtFile");
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            names.append(list->itemText(i));
        EXPECT_EQ(names, (QStringList{QStringLiteral("gone.txt"), QStringLiteral("READ.TXT"),
                                      QStringLiteral("readme.txt"), QStringLiteral("doc/README"),
                                      QStringLiteral("help.html")}));
        // The first text is shown before any choice, so that the panel never opens empty.
        EXPECT_EQ(list->currentIndex(), 0);
        EXPECT_EQ(textView(d)->toPlainText(), QStringLiteral("soon gone\n"));
        press(d, "cmdTxt参照");
        EXPECT_TRUE(textView(d)->isVisible());

        choose(d, QStringLiteral("doc/README"));
        EXPECT_EQ(textView(d)->toPlainText(), QStringLiteral("deep\n"));

        choose(d, QStringLiteral("READ.TXT"));
        EXPECT_EQ(textView(d)->toPlainText(),
                  lines(1001) + QStringLiteral("【読み込みを中断しました】"));
        EXPECT_TRUE(textView(d)->isVisible());
        EXPECT_FALSE(pageView(d)->isVisible());

        QFile::remove(settings().ExecDir + QStringLiteral("Docs/gone.txt"));
        choose(d, QStringLiteral("gone.txt"));
        EXPECT_TRUE(textView(d)->toPlainText().isEmpty());
        press(d, "cmdCancel");
    });
    EXPECT_EQ(editDocs(), EditOutcome::Cancelled);
    EXPECT_EQ(prompter.messages().value(0).icon, MsgIcon::Critical);
}

TEST_F(EditorPanels, f1AndF2TakeTheSelectionIntoTheNameAndTheNotes) {
    driver.then([](QDialog& d) {
        press(d, "cmdTxt参照");
        choose(d, QStringLiteral("readme.txt"));
        notes(d)->setPlainText(QStringLiteral("メモ"));
        textView(d)->setFocus();

        // Nothing selected: nothing changes.
        QTest::keyClick(textView(d), Qt::Key_F1);
        QTest::keyClick(textView(d), Qt::Key_F2);
        EXPECT_EQ(name(d)->text(), QStringLiteral("Docs"));
        EXPECT_EQ(notes(d)->toPlainText(), QStringLiteral("メモ"));

        selectInText(d, QStringLiteral("  ツール 2.0  "));
        QTest::keyClick(textView(d), Qt::Key_F1);
        EXPECT_EQ(name(d)->text(), QStringLiteral("ツール 2.0"));
        selectInText(d, QStringLiteral("使い方: 起動するだけ"));
        QTest::keyClick(textView(d), Qt::Key_F2);
        EXPECT_EQ(notes(d)->toPlainText(), QStringLiteral("メモ\n使い方: 起動するだけ"));
        EXPECT_FALSE(textView(d)->textCursor().hasSelection());

        // A page: its selection, while the page has the focus.
        choose(d, QStringLiteral("help.html"));
        EXPECT_TRUE(pageView(d)->isVisible());
        EXPECT_FALSE(textView(d)->isVisible());
        EXPECT_TRUE(pageView(d)->toPlainText().contains(QStringLiteral("ヘルプの本文")));
        pageView(d)->selectAll();
        notes(d)->clear();
        pageView(d)->setFocus();
        QTest::keyClick(pageView(d), Qt::Key_F2);
        EXPECT_EQ(notes(d)->toPlainText(), QStringLiteral("ヘルプの本文"));

        // With the panel closed the keys take nothing.
        press(d, "cmdTxt参照");
        pageView(d)->selectAll();
        QTest::keyClick(name(d), Qt::Key_F1);
        EXPECT_EQ(name(d)->text(), QStringLiteral("ツール 2.0"));
        press(d, "cmdCancel");
    });
    EXPECT_EQ(editDocs(), EditOutcome::Cancelled);
}

TEST_F(EditorPanels, f1AndF2TakeNothingWhileTheNameOrTheNotesHaveTheFocus) {
    driver.then([](QDialog& d) {
        press(d, "cmdTxt参照");
        notes(d)->setPlainText(QStringLiteral("メモ"));
        const struct {
            const char* view;
            QWidget* (*focused)(QDialog&);
        } cases[] = {
            {"text", [](QDialog& d) -> QWidget* { return name(d); }},
            {"text", [](QDialog& d) -> QWidget* { return notes(d); }},
            {"page", [](QDialog& d) -> QWidget* { return name(d); }},
            {"page", [](QDialog& d) -> QWidget* { return notes(d); }},
        };
        for (const auto& c : cases) {
            const bool page = QByteArray(c.view) == "page";
            choose(d, page ? QStringLiteral("help.html") : QStringLiteral("readme.txt"));
            if (page)
                pageView(d)->selectAll();
            else
                selectInText(d, QStringLiteral("使い方"));
            QWidget* focused = c.focused(d);
            focused->setFocus();
            ASSERT_EQ(d.focusWidget(), focused);
            QTest::keyClick(focused, Qt::Key_F1);
            QTest::keyClick(focused, Qt::Key_F2);
            SCOPED_TRACE(std::string(c.view) + " view, focus in " +
                         focused->objectName().toStdString());
            EXPECT_EQ(name(d)->text(), QStringLiteral("Docs"));
            EXPECT_EQ(notes(d)->toPlainText(), QStringLiteral("メモ"));
        }
        // The same selection, from the view itself.
        pageView(d)->setFocus();
        QTest::keyClick(pageView(d), Qt::Key_F1);
        EXPECT_EQ(name(d)->text(), QStringLiteral("ヘルプの本文"));
        press(d, "cmdCancel");
    });
    EXPECT_EQ(editDocs(), EditOutcome::Cancelled);
}

TEST(ReferencePageView, readsThePagesOwnFilesAndNothingFromTheNetwork) {
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("help.html"));
    writeFile(page, "<p>x</p>");
    writeFile(dir.filePath(QStringLiteral("usage.html")), "<p>usage</p>");
    writeFile(dir.filePath(QStringLiteral("pic.png")), "png bytes");
    ReferencePageView view;
    view.setSource(QUrl::fromLocalFile(page), QTextDocument::HtmlResource);
    EXPECT_EQ(view.loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("pic.png"))).toByteArray(),
              "png bytes");
    for (const char* remote : {"http://example.invalid/a.png", "https://example.invalid/a.png",
                               "ftp://example.invalid/a.png", "//example.invalid/a.png"}) {
        EXPECT_FALSE(view.loadResource(QTextDocument::ImageResource, QUrl(QString::fromUtf8(remote)))
                         .isValid())
            << remote;
    }
    // A link to another page of the application opens in the view.
    emit view.anchorClicked(QUrl(QStringLiteral("usage.html")));
    EXPECT_EQ(view.source(), QUrl::fromLocalFile(dir.filePath(QStringLiteral("usage.html"))));
    EXPECT_EQ(view.toPlainText(), QStringLiteral("usage"));
}

const char* const kAbove = "対象となるフォルダより上の階層を指定することは出来ません";

struct ProgramChoice {
    const char* what;
    const char* button;
    const char* box;
    std::optional<QString> chosen; // "B/": the application's folder, "E/": the execution folder
    const char* message;           // nullptr: none
    const char* command;           // what the box then holds
    bool iconSource;               // the chosen file became the icon source
};

class ProgramChoices : public Editor, public ::testing::WithParamInterface<ProgramChoice> {};

TEST_P(ProgramChoices, onlyExistingFilesBelowTheApplicationsFolderAreTakenRelativeToIt) {
    const ProgramChoice& c = GetParam();
    SCOPED_TRACE(c.what);
    const QString base = settings().ExecDir + QStringLiteral("Tool/");
    ScriptedChooser files;
    std::optional<QString> chosen = c.chosen;
    // Only the leading mark is replaced: a temporary folder whose name ends in "E" holds "E/".
    if (chosen && chosen->startsWith(QStringLiteral("B/")))
        chosen = base + chosen->mid(2);
    else if (chosen && chosen->startsWith(QStringLiteral("E/")))
        chosen = settings().ExecDir + chosen->mid(2);
    files.expectFile(chosen);
    if (c.message)
        prompter.expect(QString::fromUtf8(c.message));
    writeFile(settings().ExecDir + QStringLiteral("Other/x.sh"), "x");
    driver.then([&c, &base](QDialog& d) {
        writeFile(base + QStringLiteral("sub/tool.sh"), "#!/bin/sh\n", true);
        press(d, c.button);
        EXPECT_EQ(box(d, c.box)->currentText(), QString::fromUtf8(c.command));
        EXPECT_EQ(control<QLineEdit>(d, "txtIconPath")->text(),
                  c.iconSource ? base + QString::fromUtf8(c.command) : QString());
        press(d, "cmdCancel");
    });
    EXPECT_EQ(edit(), EditOutcome::Cancelled);
    ASSERT_EQ(files.fileRequests().size(), 1);
    EXPECT_EQ(files.fileRequests()[0].initialName, base + QStringLiteral("実行するファイルを選択してください"));
    EXPECT_EQ(files.fileRequests()[0].startFolder, base);
    for (const MessageRequest& message : prompter.messages())
        EXPECT_EQ(message.icon, MsgIcon::Exclamation);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProgramChoices,
    ::testing::Values(
        ProgramChoice{"below", "cmdExecCmd", "txtExecCmd", u"B/sub/tool.sh"_qs, nullptr, "sub/tool.sh", true},
        ProgramChoice{"alternative command", "cmdSubExecCmd(2)", "txtSubExecCmd(2)",
                      u"B/sub/tool.sh"_qs, nullptr, "sub/tool.sh", false},
        ProgramChoice{"sibling folder", "cmdExecCmd", "txtExecCmd", u"E/Other/x.sh"_qs, kAbove, "run.sh", false},
        ProgramChoice{"climbing out", "cmdExecCmd", "txtExecCmd", u"B/../Other/x.sh"_qs, kAbove, "run.sh", false},
        ProgramChoice{"other letter case", "cmdSubExecCmd(0)", "txtSubExecCmd(0)",
                      u"E/TOOL/run.sh"_qs, kAbove, "", false},
        ProgramChoice{"missing", "cmdExecCmd", "txtExecCmd", u"B/gone.sh"_qs,
                      "指定されたファイルが見つかりません", "run.sh", false},
        ProgramChoice{"cancelled", "cmdExecCmd", "txtExecCmd", std::nullopt, nullptr, "run.sh", false}));

TEST_F(Editor, choosingAListedProgramMakesItTheIconSource) {
    driver.then([](QDialog& d) {
        QComboBox* programs = box(d, "txtExecCmd");
        const int index = programs->findText(QStringLiteral("run.sh"));
        programs->setCurrentIndex(index);
        emit programs->activated(index);
        EXPECT_EQ(control<QLineEdit>(d, "txtIconPath")->text(),
                  settings().ExecDir + QStringLiteral("Tool/run.sh"));
        press(d, "cmdCancel");
    });
    EXPECT_EQ(edit(), EditOutcome::Cancelled);
}

} // namespace
} // namespace vadok::test
