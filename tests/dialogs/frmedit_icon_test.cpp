#include "editorfixture.h"

#include "iconfixtures.h"

#include "catalog/settings.h"
#include "platform/programfolder.h"
#include "resources/builtinimages.h"
#include "shell/dlgiconget.h"
#include "shell/filetypeicon.h"
#include "shell/iconpicture.h"
#include "shell/runiconextractor.h"

#include "support/scriptedchooser.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QThread>

namespace vadok::test {
namespace {

const QString kNoGlimtake = QStringLiteral("glimtake.exeが見つかりません\r\n");

// The icon of Tool as the tree would draw it.
QImage iconOf(const PackApp& app) { return argb(iconPicture(readFile(app.iconPath()), 32)); }
QImage preview(QDialog& d) { return argb(control<QLabel>(d, "picIcon")->pixmap().toImage()); }
// picture as the preview shows it: on the blank white image.
QImage onWhite(const QImage& picture) {
    QImage shown = argb(builtinImage(u"white32"_qs).toImage());
    QPainter painter(&shown);
    painter.drawImage(QRect(0, 0, 32, 32), picture);
    return shown;
}

class EditorIcon : public Editor {
protected:
    EditorIcon() {
        saved = iconExtractorWait();
        // glimtake really runs: short pauses, many of them.
        setIconExtractorWait({20, 500, 5, [](int ms) { QThread::msleep(ulong(ms)); }});
    }
    ~EditorIcon() override { setIconExtractorWait(saved); }

    void installGlimtake() {
        ASSERT_TRUE(QFile::copy(QStringLiteral(GLIMTAKE_PROGRAM), programFolder() + QStringLiteral("glimtake")));
    }
    // Copies a fixture into the expanded application, where the program choice finds it, and
    // chooses it as the program (and so as icon source).
    void chooseAsProgram(QDialog& d, const char* fixture, const QString& as) {
        const QString target = settings().ExecDir + QStringLiteral("Tool/") + as;
        ASSERT_TRUE(QFile::copy(iconFixture(QString::fromUtf8(fixture)), target));
        files.expectFile(target);
        press(d, "cmdExecCmd");
    }
    QString noGlimtake() const {
        QString folder = programFolder();
        folder.chop(1);
        return kNoGlimtake + folder;
    }

    IconExtractorWait saved;
    ScriptedChooser files;
};

TEST_F(EditorIcon, aWindowsProgramsIconComesFromGlimtakeAndIsAppliedWithTheEdit) {
    installGlimtake();
    driver.then([this](QDialog& d) {
        chooseAsProgram(d, "groups64.exe", QStringLiteral("Tool 2.EXE"));
        // glimtake leaves the last icon group: 1, 32 and 256 pixels.
        EXPECT_EQ(preview(d), fixturePicture(u"p32.png"_qs));
        press(d, "cmdOK");
    });
    EXPECT_EQ(edit(), EditOutcome::Saved);
    EXPECT_EQ(iconOf(app), fixturePicture(u"p32.png"_qs));
    EXPECT_EQ(argb(iconPicture(readFile(app.iconPath()), 256)), fixturePicture(u"p256.png"_qs));
    EXPECT_FALSE(QFileInfo::exists(programFolder() + QStringLiteral("_temp.ico")));
}

struct Source {
    const char* fixture; // nullptr: the application's own readme.txt
    const char* as;
    QStringList messages; // after glimtake's absence for programs
    const char* picture;  // the icon afterwards; "type": the icon of the file's type; nullptr: unchanged
};

class IconSources : public EditorIcon, public ::testing::WithParamInterface<Source> {};

TEST_P(IconSources, withoutGlimtakeTheSourcesOwnFirstIconOrTheReasonWhyNone) {
    const Source& c = GetParam();
    SCOPED_TRACE(c.as);
    const QString as = QString::fromUtf8(c.as);
    const QString path = settings().ExecDir + QStringLiteral("Tool/") + as;
    if (as.endsWith(QStringLiteral(".exe")))
        prompter.expect(noGlimtake());
    for (const QString& message : c.messages)
        prompter.expect(message);
    const QByteArray before = readFile(app.iconPath());
    const QString picture = QString::fromUtf8(c.picture ? c.picture : "");
    auto expected = [&] {
        if (picture == u"type")
            return argb(fileTypeIcon(path).pixmap(32, 32).toImage());
        return picture.isEmpty() ? argb(builtinImage(u"white32"_qs).toImage()) : fixturePicture(picture);
    };
    driver.then([&](QDialog& d) {
        if (c.fixture) {
            chooseAsProgram(d, c.fixture, as);
        } else {
            files.expectFile(path);
            press(d, "cmdExecCmd");
        }
        EXPECT_EQ(preview(d), onWhite(expected()));
        press(d, "cmdOK");
    });
    EXPECT_EQ(edit(), EditOutcome::Saved);
    if (picture.isEmpty())
        EXPECT_EQ(readFile(app.iconPath()), before);
    else
        EXPECT_EQ(iconOf(app), expected());
}

INSTANTIATE_TEST_SUITE_P(
    Files, IconSources,
    ::testing::Values(Source{"twelve64.exe", "twelve.exe", {}, "c1.png"},
                      Source{"nores64.exe", "nores.exe", {u"アイコンが存在しません"_qs}, nullptr},
                      Source{"notpe.txt", "notes.exe", {u"ファイルが、EXEもしくはDLLではありません"_qs}, nullptr},
                      Source{"three.ico", "look.ico", {}, "p32.png"},
                      Source{"twelve64.exe", "plugin.dll", {}, "c1.png"},
                      Source{nullptr, "readme.txt", {}, "type"}));

TEST_F(EditorIcon, anIconPathTypedRedrawsThePreviewAndOnlyTheIconShownIsApplied) {
    const QString source = scratch.path() + QStringLiteral("/look.ico");
    ASSERT_TRUE(QFile::copy(iconFixture(u"three.ico"_qs), source));
    const QString waiting = programFolder() + QStringLiteral("_temp.ico");
    const struct {
        const char* typedAfter; // typed past the valid path
        bool applied;
    } cases[] = {{"", true}, {"x", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typedAfter);
        const QByteArray before = readFile(app.iconPath());
        driver.then([&](QDialog& d) {
            auto* path = control<QLineEdit>(d, "txtIconPath");
            path->setFocus();
            QTest::keyClicks(path, source);
            EXPECT_EQ(path->text(), source);
            EXPECT_EQ(preview(d), onWhite(fixturePicture(u"p32.png"_qs)));
            QTest::keyClicks(path, QString::fromUtf8(c.typedAfter));
            if (!c.applied) {
                EXPECT_EQ(preview(d), argb(builtinImage(u"white32"_qs).toImage()));
                EXPECT_FALSE(QFileInfo::exists(waiting));
            }
            press(d, "cmdOK");
        });
        EXPECT_EQ(edit(), EditOutcome::Saved);
        if (c.applied)
            EXPECT_EQ(iconOf(app), fixturePicture(u"p32.png"_qs));
        else
            EXPECT_EQ(readFile(app.iconPath()), before);
    }
}

// A click where the user sees point of the picker's icon view.
void clickIcon(QDialog& picker, const QPoint& point) {
    QWidget* view = control<QWidget>(picker, "picContainer");
    QWidget* target = view->childAt(point);
    if (!target)
        target = view;
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(view, point));
}

TEST_F(EditorIcon, thePickerOpensOnTheProgramAndOnlyItsChoiceBecomesTheIcon) {
    PackApp pick = registerApp(QStringLiteral("Pick"), QStringLiteral("twelve.exe"),
                               {{QStringLiteral("twelve.exe"), readFile(iconFixture(u"twelve64.exe"_qs))}});
    const QString program = settings().ExecDir + QStringLiteral("Pick/twelve.exe");
    const QString waiting = programFolder() + QStringLiteral("_temp.ico");
    auto chooseEleven = [&program](QDialog& picker, const char* button) {
        auto* icons = qobject_cast<dlgIconGet*>(&picker);
        ASSERT_NE(icons, nullptr);
        EXPECT_EQ(icons->FileName(), program);
        EXPECT_EQ(icons->IconIndex(), 0);
        clickIcon(picker, {85, 130});
        press(picker, button);
    };
    driver
        .then([&](QDialog& d) {
            press(d, "cmdIconPath");
            // Cancelled: no icon source, no icon waiting.
            EXPECT_EQ(control<QLineEdit>(d, "txtIconPath")->text(), QString());
            EXPECT_FALSE(QFileInfo::exists(waiting));
            EXPECT_EQ(control<QLabel>(d, "lblIconIndex")->text(), QStringLiteral("0"));

            press(d, "cmdIconPath");
            EXPECT_EQ(control<QLineEdit>(d, "txtIconPath")->text(), program);
            EXPECT_EQ(control<QLabel>(d, "lblIconIndex")->text(), QStringLiteral("11"));
            EXPECT_EQ(preview(d), fixturePicture(u"c12.png"_qs));
            press(d, "cmdOK");
        })
        .then([&](QDialog& picker) { chooseEleven(picker, "cmdCancel"); })
        .then([&](QDialog& picker) { chooseEleven(picker, "cmdOK"); });
    frmEdit editor(kFolders);
    EXPECT_EQ(pick.ShowConfig(editor), EditOutcome::Saved);
    EXPECT_EQ(iconOf(pick), fixturePicture(u"c12.png"_qs));
}

} // namespace
} // namespace vadok::test
