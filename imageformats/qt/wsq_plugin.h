// The Qt image-format plugin that offers WsqHandler for the format "wsq" (image/x-wsq).
#pragma once

#include <QImageIOPlugin>

namespace quorvel::imageformats {

class WsqPlugin : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "wsq.json")

public:
    Capabilities capabilities(QIODevice* device, const QByteArray& format) const override;
    QImageIOHandler* create(QIODevice* device, const QByteArray& format) const override;
};

}  // namespace quorvel::imageformats
