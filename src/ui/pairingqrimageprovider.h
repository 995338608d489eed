#pragma once

#include <QPointer>
#include <QQuickImageProvider>

class ConnectorModel;

// Serves the model's pairing QR image as image://pairingqr/<payload>. The window names the current
// payload in the URL, so QML asks again exactly when the payload (and so the image) changes.
// Requested synchronously on the main thread, where the model lives; owned by the QML engine.
class PairingQRImageProvider : public QQuickImageProvider
{
public:
    static constexpr auto kProviderId = QLatin1StringView("pairingqr");

    explicit PairingQRImageProvider(ConnectorModel &model);

    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

private:
    QPointer<ConnectorModel> m_model;
};
