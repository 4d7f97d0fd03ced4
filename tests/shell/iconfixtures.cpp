#include "iconfixtures.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace vadok::test {

QString iconFixture(const QString& name) {
    const QString path = QStringLiteral(GLIMTAKE_FIXTURES) + name;
    EXPECT_TRUE(QFileInfo::exists(path)) << "fixture missing: " << name.toStdString();
    return path;
}

QImage argb(const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); }

QImage fixturePicture(const QString& name) {
    const QImage image(iconFixture(name));
    EXPECT_FALSE(image.isNull()) << name.toStdString();
    return argb(image);
}

} // namespace vadok::test
