#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include <functional>
#include <optional>

// Fetches the update manifest: one GET, always from the network, bounded by a transfer timeout.
// Lives on the main thread; the completion runs there.
class UpdateChecker : public QObject
{
    Q_OBJECT

public:
    UpdateChecker(QUrl manifestURL, int timeoutMs, QObject *parent = nullptr);

    // The body of a 2xx answer, or none for any failure (network, timeout, other status).
    void fetch(std::function<void(std::optional<QByteArray> body)> completion);

private:
    QNetworkAccessManager m_network;
    QUrl m_manifestURL;
    int m_timeoutMs;
};
