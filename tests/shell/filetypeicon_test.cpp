#include "shell/filetypeicon.h"

#include "resources/builtinimages.h"
#include "support/files.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QIcon>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vadok::test {
namespace {

// A desktop icon theme of our own with a few MIME type icons, each a plain colour, so the
// test does not depend on what the machine has installed.
class FileTypeIcon : public ::testing::Test {
protected:
    void SetUp() override {
        m_searchPaths = QIcon::themeSearchPaths();
        m_theme = QIcon::themeName();
        const QString theme = m_dir.filePath(u"icons/vadoktest/"_qs);
        writeFile(theme + u"index.theme"_qs, "[Icon Theme]\nName=vadoktest\n"
                                             "Directories=32x32/mimetypes\n\n"
                                             "[32x32/mimetypes]\nSize=32\nType=Fixed\n");
        QDir().mkpath(theme + u"32x32/mimetypes"_qs);
        for (const auto& [name, colour] : themeIcons()) {
            QImage image(32, 32, QImage::Format_ARGB32);
            image.fill(colour);
            ASSERT_TRUE(image.save(theme + u"32x32/mimetypes/"_qs + name + u".png"_qs));
        }
        QIcon::setThemeSearchPaths({m_dir.filePath(u"icons"_qs)});
        QIcon::setThemeName(u"vadoktest"_qs);
    }
    void TearDown() override {
        QIcon::setThemeSearchPaths(m_searchPaths);
        QIcon::setThemeName(m_theme);
    }
    static QList<std::pair<QString, QColor>> themeIcons() {
        return {{u"text-plain"_qs, Qt::red},
                {u"text-x-generic"_qs, Qt::green},
                {u"application-x-ms-dos-executable"_qs, Qt::blue}};
    }
    QString file(const QString& name, const QByteArray& bytes) const {
        const QString path = m_dir.filePath(u"files/"_qs + name);
        writeFile(path, bytes);
        return path;
    }

    QTemporaryDir m_dir;
    QStringList m_searchPaths;
    QString m_theme;
};

QImage drawn(const QString& path) {
    QImage canvas(32, 32, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    // Stretched, as the desktop draws a small icon at the large size.
    painter.drawPixmap(QRect(0, 0, 32, 32), fileTypeIcon(path).pixmap(32, 32));
    painter.end();
    return canvas;
}

QImage builtin(const char* key) {
    return builtinImage(QString::fromUtf8(key)).toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST_F(FileTypeIcon, drawsTheThemesIconForTheTypeElseTheBuiltInOnes) {
    QImage red(32, 32, QImage::Format_ARGB32), green = red;
    red.fill(Qt::red);
    green.fill(Qt::green);
    const QByteArray binary("\x01\x02\x03\xFE\xFF\x00\x10", 7);
    const std::vector<std::tuple<QString, QByteArray, QImage>> cases = {
        {u"readme.txt"_qs, "text", red},
        {u"memo"_qs, "plain words, no extension", red}, // known by its content
        {u"notes.md"_qs, "# title", green}, // no markdown icon: the text family's
        {u"TOOL.EXE"_qs, "MZ", builtin("program")}, // never the theme's, whatever it has
        {u"setup.exe"_qs, "MZ", builtin("program")},
        {u"data.vadokunknown"_qs, binary, builtin("document")},
        {u"picture.png"_qs, "not really", builtin("document")}, // type known, no icon
    };
    for (const auto& [name, bytes, expected] : cases) {
        EXPECT_EQ(drawn(file(name, bytes)), expected) << name.toStdString();
    }
}

} // namespace
} // namespace vadok::test
