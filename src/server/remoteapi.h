#pragma once

#include "core/clock.h"
#include "core/djplatform.h"
#include "core/trackinfo.h"
#include "server/httprequest.h"
#include "server/httpresponse.h"
#include "server/pairingthrottle.h"

#include <QHostAddress>
#include <QJsonObject>

#include <memory>
#include <optional>

class CommandRouter;
struct RequestOrigin;

// The remote API: one parsed request and the peer's address in, one JSON response out. Called on
// the server thread, one request at a time.
class RemoteAPI
{
public:
    RemoteAPI(DJPlatform platform, std::shared_ptr<CommandRouter> router, std::shared_ptr<const Clock> clock);

    HTTPResponse response(const HTTPRequest &request, const QHostAddress &peer);

private:
    HTTPResponse browserNotice() const;
    HTTPResponse pair(const HTTPRequest &request, const QHostAddress &peer);
    HTTPResponse status();
    HTTPResponse readScript() const;
    HTTPResponse replaceScript(const HTTPRequest &request, const RequestOrigin &origin) const;
    HTTPResponse command(const HTTPRequest &request, const RequestOrigin &origin) const;
    // Adds the `track` object while a track is playing.
    static void addTrack(QJsonObject &object, const std::optional<TrackInfo> &track);

    // The last status answer with what it was built from: polls far outnumber changes.
    struct StatusAnswer
    {
        quint64 stateRevision = 0;
        std::optional<TrackInfo> track;
        HTTPResponse response;
    };

    DJPlatform m_platform;
    std::shared_ptr<CommandRouter> m_router;
    PairingThrottle m_pairingThrottle;
    std::optional<StatusAnswer> m_status;
};
