#include "wsq_handler.h"

#include <QIODevice>
#include <QImage>
#include <QVariant>

#include <cmath>
#include <cstring>
#include <vector>

#include <quorvel/quorvel.hpp>

namespace quorvel::imageformats {
namespace {

constexpr double kMetresPerInch = 0.0254;

QImage gray_image(const Image& decoded) {
    QImage image(decoded.width, decoded.height, QImage::Format_Grayscale8);
    if (image.isNull()) return image;  // Qt could not allocate it
    for (int y = 0; y < decoded.height; ++y)
        std::memcpy(image.scanLine(y),
                    decoded.pixels.data() + static_cast<std::size_t>(y) * decoded.width,
                    static_cast<std::size_t>(decoded.width));
    if (decoded.ppi > 0) {
        image.setDotsPerMeterX(static_cast<int>(std::lround(decoded.ppi / kMetresPerInch)));
        image.setDotsPerMeterY(image.dotsPerMeterX());
    }
    return image;
}

// The comment and every NIST_COM attribute as the image's texts, and as the "key: value"
// pairs, separated by blank lines, that QImageReader::text() takes apart.
QString texts_of(const Image& decoded, QImage& image) {
    QStringList pairs;
    const auto add = [&](const std::string& key, const std::string& value) {
        image.setText(QString::fromStdString(key), QString::fromStdString(value));
        pairs << QString::fromStdString(key) + QStringLiteral(": ") + QString::fromStdString(value);
    };
    if (decoded.comment) add("comment", *decoded.comment);
    for (const Attribute& a : decoded.attributes) add(a.name, a.value.value_or(""));
    return pairs.join(QStringLiteral("\n\n"));
}

std::vector<std::uint8_t> gray_rows(const QImage& image) {
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(gray.width()) * gray.height());
    for (int y = 0; y < gray.height(); ++y)
        std::memcpy(rows.data() + static_cast<std::size_t>(y) * gray.width(), gray.constScanLine(y),
                    static_cast<std::size_t>(gray.width()));
    return rows;
}

}  // namespace

bool WsqHandler::canRead(QIODevice* device) {
    if (device == nullptr) return false;
    const QByteArray head = device->peek(4);
    return looks_like_wsq(reinterpret_cast<const std::uint8_t*>(head.constData()),
                          static_cast<std::size_t>(head.size()));
}

bool WsqHandler::canRead() const {
    if (!canRead(device())) return false;
    const_cast<WsqHandler*>(this)->setFormat("wsq");
    return true;
}

bool WsqHandler::decode_once() const {
    if (decoded_ || tried_) return decoded_.has_value();
    tried_ = true;
    const QByteArray stream = device()->readAll();
    try {
        const Image decoded = decode(reinterpret_cast<const std::uint8_t*>(stream.constData()),
                                     static_cast<std::size_t>(stream.size()));
        QImage image = gray_image(decoded);
        if (image.isNull()) return false;
        texts_ = texts_of(decoded, image);
        decoded_ = image;
    } catch (const Error& e) {
        qWarning("wsq: %s", e.what());
    }
    return decoded_.has_value();
}

bool WsqHandler::read(QImage* image) {
    if (!decode_once()) return false;
    *image = *decoded_;
    return true;
}

bool WsqHandler::write(const QImage& image) {
    if (image.isNull()) return false;
    if (!bad_option_.isEmpty()) {
        qWarning("wsq: not a number: %s", qPrintable(bad_option_));
        return false;
    }
    try {
        const EncodeOptions options{bitrate_, ppi_, comment_};
        const std::vector<std::uint8_t> stream =
            encode(gray_rows(image), image.width(), image.height(), options);
        const auto size = static_cast<qint64>(stream.size());
        return device()->write(reinterpret_cast<const char*>(stream.data()), size) == size;
    } catch (const Error& e) {
        qWarning("wsq: %s", e.what());
        return false;
    }
}

bool WsqHandler::supportsOption(ImageOption option) const {
    return option == Size || option == Description || option == ImageFormat;
}

QVariant WsqHandler::option(ImageOption option) const {
    if (option == ImageFormat) return QImage::Format_Grayscale8;
    if (!decode_once()) return {};
    if (option == Size) return decoded_->size();
    if (option == Description) return texts_;
    return {};
}

// QImageWriter::setText() hands its texts over as "key: value" pairs separated by blank lines;
// "bitrate", "ppi" and "comment" are the encoder's, other keys are not stored. A number that
// does not read makes write() fail rather than encode with a value nobody asked for.
void WsqHandler::setOption(ImageOption option, const QVariant& value) {
    if (option != Description) return;
    for (const QString& pair : value.toString().split(QStringLiteral("\n\n"))) {
        const qsizetype colon = pair.indexOf(QLatin1Char(':'));
        if (colon < 0) continue;
        const QString key = pair.left(colon).trimmed().toLower(),
                      text = pair.mid(colon + 1).trimmed();
        bool ok = true;
        if (key == QLatin1String("comment")) comment_ = text.toStdString();
        else if (key == QLatin1String("bitrate")) bitrate_ = text.toDouble(&ok);
        else if (key == QLatin1String("ppi")) ppi_ = text.toInt(&ok);
        if (!ok) bad_option_ = pair;
    }
}

}  // namespace quorvel::imageformats
