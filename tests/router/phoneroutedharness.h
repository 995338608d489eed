#pragma once

#include "router/commandrouter.h"
#include "server/remoteapi.h"

#include "support/recordingmidioutput.h"
#include "support/testfixture.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

// A router on a recording MIDI output, a settings file in a temporary folder (holding the given values)
// and a fake clock, and the remote API through which a phone reaches it. The router's messages are kept.
struct PhoneRoutedHarness
{
    static inline const QString kPhone = QStringLiteral("::ffff:192.168.1.23");
    static inline const QString kUserAgent =
        QStringLiteral("Tarvik%20DJ%20Remote/42 CFNetwork/1494.0.7 Darwin/23.4.0");

    explicit PhoneRoutedHarness(DJPlatform platform = DJPlatform::serato, const QVariantHash &stored = {})
        : platform(platform)
    {
        for (auto entry = stored.cbegin(); entry != stored.cend(); ++entry)
            fixture.settings()->setValue(entry.key(), entry.value());
        restart();
    }

    // Another router on the same store.
    std::shared_ptr<CommandRouter> newRouter() const
    {
        auto monitor =
            std::make_unique<NowPlayingMonitor>(platform, NowPlayingMonitor::Seams{{}, {}, {}, clock});
        return std::make_shared<CommandRouter>(platform, midi.transport, fixture.settings(),
                                               std::move(monitor), clock);
    }

    // The connector stops, saving what it keeps, and starts again on the same store.
    void restart()
    {
        api.reset();
        router.reset();
        router = newRouter();
        router->setOnStateChange([this](const QString &message) { messages << message; });
        api = std::make_unique<RemoteAPI>(platform, router, clock);
    }

    // A request ("METHOD /path") as the phone sends it.
    HTTPResponse answer(const QString &request, const QByteArray &body = {}, const QString &token = {},
                        const QString &peer = kPhone, const std::optional<QString> &userAgent = kUserAgent)
    {
        HTTPRequest parsed{request.section(u' ', 0, 0), request.section(u' ', 1), {}, body};
        if (!token.isEmpty())
            parsed.headers.insert(QStringLiteral("authorization"), QStringLiteral("Bearer ") + token);
        if (userAgent)
            parsed.headers.insert(QStringLiteral("user-agent"), *userAgent);
        return api->response(parsed, QHostAddress(peer));
    }

    // Pairs with the current code and the spaces a phone's keyboard may leave around it; returns the token.
    QString pair(const QString &peer = kPhone, const std::optional<QString> &userAgent = kUserAgent)
    {
        const QByteArray code = R"({"code":" )" + router->pairingCode().toUtf8() + R"(\n"})";
        const HTTPResponse paired = answer(QStringLiteral("POST /api/pair"), code, {}, peer, userAgent);
        return QJsonDocument::fromJson(paired.body).object().value(QStringLiteral("token")).toString();
    }

    int poll(const QString &token) { return answer(QStringLiteral("GET /api/status"), {}, token).status; }

    QStringList takeMessages()
    {
        QCoreApplication::processEvents();
        return std::exchange(messages, {});
    }

    DJPlatform platform;
    TestFixture fixture;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    RecordingMIDIOutput::Recorded midi = RecordingMIDIOutput::transport(platform);
    std::shared_ptr<CommandRouter> router;
    std::unique_ptr<RemoteAPI> api;
    QStringList messages;
};
