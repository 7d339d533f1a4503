// The WSQ plugin in a Qt program: QImageReader finds it in the build tree's plugin folder,
// knows a WSQ file by its first bytes and reads the decoder's pixels, resolution and texts;
// QImageWriter with the bitrate, ppi and comment texts writes `quorvel encode`'s bytes.
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <quorvel/quorvel.hpp>

#include "support/ridge_pattern.h"
#include "support/test_support.h"

namespace {

using quorvel::testing::TempDir;

QString q(const std::string& s) { return QString::fromStdString(s); }

QImage gray_qimage(const std::vector<uint8_t>& pixels, int width, int height) {
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), &pixels[static_cast<size_t>(y) * width], width);
    return image;
}

TEST(QtWsqPlugin, ReadsThePixelsResolutionAndTextsOfAFileNamedWithoutExtension) {
    TempDir dir;
    const std::vector<uint8_t> stream = quorvel::encode(
        quorvel::testing::ridge_pattern(150, 120, 4), 150, 120, {1.5, 1000, "left thumb"});
    quorvel::testing::write_file(dir.file("print"), stream);
    QImageReader reader(q(dir.file("print")));
    ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
    EXPECT_EQ(reader.format(), "wsq");
    EXPECT_EQ(reader.size(), QSize(150, 120));
    EXPECT_EQ(reader.text("comment"), "left thumb");
    EXPECT_EQ(reader.text("PPI"), "1000");
    const QImage image = reader.read();
    ASSERT_EQ(image.format(), QImage::Format_Grayscale8);
    EXPECT_EQ(std::lround(image.dotsPerMeterX() * 0.0254), 1000);
    EXPECT_EQ(image.text("WSQ_BITRATE"), "1.500000");
    const quorvel::Image decoded = quorvel::decode(stream);
    EXPECT_EQ(image, gray_qimage(decoded.pixels, 150, 120));
}

TEST(QtWsqPlugin, WritesWhatTheToolEncodesWithTheWritersTexts) {
    TempDir dir;
    const std::vector<uint8_t> pixels = quorvel::testing::ridge_pattern(130, 110, 2);
    quorvel::testing::Picture pgm{130, 110, 1, pixels};
    quorvel::testing::write_pnm(dir.file("in.pgm"), pgm);
    ASSERT_EQ(quorvel::testing::run(std::string(QUORVEL_TOOL) + " encode '" + dir.file("in.pgm") +
                                    "' '" + dir.file("tool.wsq") +
                                    "' --bitrate 2.25 --ppi 700 --comment 'a thumb' >/dev/null"),
              0);
    QImageWriter writer(q(dir.file("qt.wsq")));
    writer.setText("bitrate", "2.25");
    writer.setText("ppi", "700");
    writer.setText("comment", "a thumb");
    ASSERT_TRUE(writer.write(gray_qimage(pixels, 130, 110))) << writer.errorString().toStdString();
    EXPECT_EQ(quorvel::testing::read_file(dir.file("qt.wsq")),
              quorvel::testing::read_file(dir.file("tool.wsq")));
}

TEST(QtWsqPlugin, ADamagedStreamOrAnOptionThatIsNoNumberFails) {
    TempDir dir;
    std::vector<uint8_t> stream =
        quorvel::encode(quorvel::testing::ridge_pattern(100, 100, 1), 100, 100);
    stream.resize(stream.size() / 2);
    quorvel::testing::write_file(dir.file("cut.wsq"), stream);
    QImageReader reader(q(dir.file("cut.wsq")));
    ASSERT_TRUE(reader.canRead());
    EXPECT_TRUE(reader.read().isNull());
    QImageWriter writer(q(dir.file("out.wsq")));
    ASSERT_TRUE(writer.canWrite());
    writer.setText("bitrate", "fast");
    EXPECT_FALSE(writer.write(QImage(100, 100, QImage::Format_Grayscale8)));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::addLibraryPath(QUORVEL_PLUGIN_DIR);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
