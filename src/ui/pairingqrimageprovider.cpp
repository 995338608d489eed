#include "ui/pairingqrimageprovider.h"

#include "app/connectormodel.h"

#include <QThread>

PairingQRImageProvider::PairingQRImageProvider(ConnectorModel &model)
    : QQuickImageProvider(QQuickImageProvider::Image)
    , m_model(&model)
{}

QImage PairingQRImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    Q_UNUSED(id);
    // The model may only be read on its own thread; an asynchronous request gets no image.
    if (!m_model || QThread::currentThread() != m_model->thread())
        return {};
    QImage image = m_model->pairingQRCode();
    // Whole-pixel scaling keeps the modules sharp for the scanner.
    if (!image.isNull() && requestedSize.isValid() && !requestedSize.isEmpty())
        image = image.scaled(requestedSize, Qt::KeepAspectRatio, Qt::FastTransformation);
    if (size)
        *size = image.size();
    return image;
}
