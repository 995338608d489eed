#include "app/updatechecker.h"

#include <QNetworkReply>
#include <QNetworkRequest>

UpdateChecker::UpdateChecker(QUrl manifestURL, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_manifestURL(std::move(manifestURL))
    , m_timeoutMs(timeoutMs)
{}

void UpdateChecker::fetch(std::function<void(std::optional<QByteArray> body)> completion)
{
    QNetworkRequest request(m_manifestURL);
    request.setTransferTimeout(m_timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    QNetworkReply *reply = m_network.get(request);
    connect(reply, &QNetworkReply::finished, this, [reply, completion = std::move(completion)] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299) {
            completion(std::nullopt);
            return;
        }
        completion(reply->readAll());
    });
}
