// The application icon compiled into the Linux program for its windows: the
// multi-size icon under ":/quorvel/app-icon" and each size on its own.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <set>

namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 256};

TEST(AppIcon, HoldsEverySizeAndEachLoadsOnItsOwn) {
  // QIcon keeps pixmaps, which need a GUI application.
  int argc = 1;
  char name[] = "resource_tests";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);

  const QIcon icon(QStringLiteral(":/quorvel/app-icon"));
  ASSERT_FALSE(icon.isNull()) << "no icon resource, or no reader for its format";
  std::set<int> available;
  for (const QSize& size : icon.availableSizes()) {
    EXPECT_EQ(size.width(), size.height());
    available.insert(size.width());
  }
  EXPECT_EQ(available, std::set<int>(std::begin(kSizes), std::end(kSizes)));

  for (int size : kSizes) {
    const QString path = QStringLiteral(":/quorvel/app-icon-%1.png").arg(size);
    QImageReader reader(path);
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << path.toStdString() << ": "
                                 << reader.errorString().toStdString();
    EXPECT_EQ(image.size(), QSize(size, size)) << path.toStdString();
    EXPECT_TRUE(image.hasAlphaChannel()) << path.toStdString();
    // Transparent corners, an opaque middle: a drawn icon, not a filled square.
    EXPECT_EQ(qAlpha(image.pixel(0, size - 1)), 0) << path.toStdString();
    EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << path.toStdString();
  }
}

}  // namespace
