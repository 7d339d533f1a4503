#include "wsq_plugin.h"

#include "wsq_handler.h"

namespace quorvel::imageformats {

QImageIOPlugin::Capabilities WsqPlugin::capabilities(QIODevice* device,
                                                     const QByteArray& format) const {
    if (format == "wsq") return CanRead | CanWrite;
    if (!format.isEmpty() || device == nullptr || !device->isOpen()) return {};
    Capabilities capabilities;
    if (device->isReadable() && WsqHandler::canRead(device)) capabilities |= CanRead;
    if (device->isWritable()) capabilities |= CanWrite;
    return capabilities;
}

QImageIOHandler* WsqPlugin::create(QIODevice* device, const QByteArray& format) const {
    auto* handler = new WsqHandler;
    handler->setDevice(device);
    handler->setFormat(format.isEmpty() ? QByteArray("wsq") : format);
    return handler;
}

}  // namespace quorvel::imageformats
