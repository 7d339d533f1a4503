// WSQ for QImageReader and QImageWriter: reads a stream to an 8-bit gray QImage with its
// resolution and texts, and writes one with the bitrate, ppi and comment a writer's texts set.
#pragma once

#include <QImage>
#include <QImageIOHandler>
#include <QString>

#include <optional>
#include <string>

namespace quorvel::imageformats {

class WsqHandler : public QImageIOHandler {
public:
    bool canRead() const override;
    bool read(QImage* image) override;
    bool write(const QImage& image) override;
    bool supportsOption(ImageOption option) const override;
    QVariant option(ImageOption option) const override;
    void setOption(ImageOption option, const QVariant& value) override;

    // Whether the device's next bytes start a WSQ stream (start of image, then a comment).
    static bool canRead(QIODevice* device);

private:
    bool decode_once() const;

    // The decoded stream: read() and the reader's size and text options share one decoding.
    mutable std::optional<QImage> decoded_;
    mutable QString texts_;
    mutable bool tried_ = false;  // the device is read once, whether the stream decodes or not
    double bitrate_ = 0.75;
    int ppi_ = 500;
    std::optional<std::string> comment_;
    QString bad_option_;  // a bitrate or ppi text that is no number
};

}  // namespace quorvel::imageformats
