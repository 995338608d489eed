#include "server/remoteapi.h"

#include "core/connectorconstants.h"
#include "core/decimalinteger.h"
#include "core/deckside.h"
#include "core/jsonvalues.h"
#include "core/remotecommand.h"
#include "router/commandrouter.h"
#include "server/hostguard.h"
#include "server/peerkey.h"

#include <QJsonDocument>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kMaxScriptBodySize = 200000;

HTTPResponse failure(int status, const QString &message)
{
    return HTTPResponse::json(status, {{u"ok"_s, false}, {u"message"_s, message}});
}

HTTPResponse pairingRefused()
{
    return failure(403, u"That pairing code is not correct."_s);
}

HTTPResponse unknownCommand()
{
    return failure(400, u"Unknown command."_s);
}

HTTPResponse volumeRefused()
{
    return failure(400, u"Choose 25, 50, 75, or 100 percent."_s);
}

// The body as a JSON object. Qt's parser refuses invalid UTF-8 and nesting deeper than 1024 levels
// with an error rather than a crash.
std::optional<QJsonObject> jsonObject(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<QString> stringValue(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

// An integral JSON number, or a decimal string with an optional sign, within 64 bits.
std::optional<qint64> percentValue(const QJsonValue &value)
{
    if (value.isString())
        return parseDecimalInteger(value.toString());
    return JsonValues::integral<qint64>(value);
}

} // namespace

RemoteAPI::RemoteAPI(DJPlatform platform, std::shared_ptr<CommandRouter> router,
                     std::shared_ptr<const Clock> clock)
    : m_platform(platform)
    , m_router(std::move(router))
    , m_pairingThrottle(std::move(clock))
{}

HTTPResponse RemoteAPI::response(const HTTPRequest &request, const QHostAddress &peer)
{
    if (!HostGuard::allows(request.headers.value(u"host"_s)))
        return failure(403, u"This connector only answers on the local network."_s);
    const QString &method = request.method;
    const QString &path = request.path;
    if (method == "GET"_L1 && path == "/"_L1)
        return browserNotice();
    if (method == "POST"_L1 && path == "/api/pair"_L1)
        return pair(request, peer);
    // Before the path is looked at, so that an unpaired caller cannot map the routes.
    const RequestOrigin origin{request.bearerToken(), peerAddressText(peer)};
    if (!m_router->admitRequest(origin))
        return failure(401, u"Pair this device with Tarvik DJ Connector first."_s);
    if (method == "GET"_L1 && path == "/api/status"_L1)
        return status();
    if (method == "GET"_L1 && path == "/api/script"_L1)
        return readScript();
    if (method == "POST"_L1 && path == "/api/script"_L1)
        return replaceScript(request, origin);
    if (method == "POST"_L1 && path == "/api/command"_L1)
        return command(request, origin);
    return failure(404, u"Not found."_s);
}

HTTPResponse RemoteAPI::browserNotice() const
{
    return HTTPResponse::json(
        200, {{u"ok"_s, true},
              {u"product"_s, ConnectorConstants::productName()},
              {u"platform"_s, displayName(m_platform)},
              {u"message"_s, u"Use the Tarvik DJ Remote iPhone or iPad app to pair and control "
                             u"this connector. Browser controls are intentionally unavailable."_s}});
}

HTTPResponse RemoteAPI::pair(const HTTPRequest &request, const QHostAddress &peer)
{
    const QString peerKey = ::peerKey(peer);
    // A peer that guessed too often gets the same answer, without its code being looked at.
    if (!m_pairingThrottle.allows(peerKey))
        return pairingRefused();
    const std::optional<QJsonObject> body = jsonObject(request.body);
    const std::optional<QString> code = body ? stringValue(*body, u"code"_s) : std::nullopt;
    const QString address = peerAddressText(peer);
    const std::optional<QString> token =
        code ? m_router->pair(*code, {request.headers.value(u"user-agent"_s), address}) : std::nullopt;
    if (!token) {
        m_pairingThrottle.recordFailure(peerKey);
        // Refused peers are answered above, so this is the one failure that starts a block.
        if (!m_pairingThrottle.allows(peerKey))
            m_router->reportPairingBlocked(address);
        return pairingRefused();
    }
    m_pairingThrottle.recordSuccess(peerKey);

    QJsonObject answer{{u"ok"_s, true},
                       {u"token"_s, *token},
                       {u"leftState"_s, m_router->expectedState(DeckSide::left)},
                       {u"rightState"_s, m_router->expectedState(DeckSide::right)},
                       {u"leftVolume"_s, m_router->expectedVolume(DeckSide::left)},
                       {u"rightVolume"_s, m_router->expectedVolume(DeckSide::right)},
                       {u"scriptRevision"_s, m_router->weddingScriptSnapshot().revision},
                       {u"deckStateReported"_s, m_router->deckStateReported()},
                       {u"message"_s, u"Paired with the "_s + displayName(m_platform) + u" connector."_s}};
    addTrack(answer, m_router->nowPlayingTrack());
    return HTTPResponse::json(200, answer);
}

HTTPResponse RemoteAPI::status()
{
    // The revision is read before the values, so a change made meanwhile only costs a rebuild later.
    const quint64 revision = m_router->stateRevision();
    std::optional<TrackInfo> track = m_router->nowPlayingTrack();
    if (m_status && m_status->stateRevision == revision && m_status->track == track)
        return m_status->response;

    QJsonObject answer{{u"ok"_s, true},
                       {u"leftState"_s, m_router->expectedState(DeckSide::left)},
                       {u"rightState"_s, m_router->expectedState(DeckSide::right)},
                       {u"leftVolume"_s, m_router->expectedVolume(DeckSide::left)},
                       {u"rightVolume"_s, m_router->expectedVolume(DeckSide::right)},
                       {u"pairedDevices"_s, m_router->pairedDeviceCount()},
                       {u"scriptRevision"_s, m_router->weddingScriptSnapshot().revision},
                       {u"deckStateReported"_s, m_router->deckStateReported()},
                       {u"midiDevice"_s, midiDeviceName(m_platform)}};
    addTrack(answer, track);
    m_status = StatusAnswer{revision, std::move(track), HTTPResponse::json(200, answer)};
    return m_status->response;
}

HTTPResponse RemoteAPI::readScript() const
{
    const WeddingScriptSnapshot snapshot = m_router->weddingScriptSnapshot();
    return HTTPResponse::json(
        200, {{u"ok"_s, true}, {u"script"_s, snapshot.text}, {u"revision"_s, snapshot.revision}});
}

HTTPResponse RemoteAPI::replaceScript(const HTTPRequest &request, const RequestOrigin &origin) const
{
    const std::optional<QJsonObject> body =
        request.body.size() > kMaxScriptBodySize ? std::nullopt : jsonObject(request.body);
    const std::optional<QString> script = body ? stringValue(*body, u"script"_s) : std::nullopt;
    if (!script)
        return failure(400, u"The wedding script could not be saved."_s);
    const std::optional<qint64> revision = m_router->updateWeddingScript(*script, origin);
    if (!revision)
        return failure(500, u"The wedding script could not be saved on this computer."_s);
    return HTTPResponse::json(200, {{u"ok"_s, true},
                                    {u"revision"_s, *revision},
                                    {u"message"_s, u"Wedding script saved on this computer."_s}});
}

HTTPResponse RemoteAPI::command(const HTTPRequest &request, const RequestOrigin &origin) const
{
    const std::optional<QJsonObject> body = jsonObject(request.body);
    if (!body)
        return unknownCommand();
    const std::optional<QString> commandText = stringValue(*body, u"command"_s);
    const std::optional<QString> deckText = stringValue(*body, u"deck"_s);
    const std::optional<DeckSide> deck = deckText ? deckSideFromRawValue(deckText->toLower()) : std::nullopt;
    if (!commandText || !deck)
        return unknownCommand();

    const QString commandName = commandText->toLower();
    if (commandName == "volume"_L1) {
        const std::optional<qint64> percent = percentValue(body->value(u"percent"_s));
        // The router takes an int; anything wider is no accepted percentage either.
        if (!percent || *percent < std::numeric_limits<int>::min()
            || *percent > std::numeric_limits<int>::max())
            return volumeRefused();
        const std::optional<CommandResult> result = m_router->handleVolume(int(*percent), *deck, origin);
        return result ? HTTPResponse::json(200, result->toJson()) : volumeRefused();
    }
    const std::optional<RemoteCommand> remoteCommand = remoteCommandFromRawValue(commandName);
    if (!remoteCommand)
        return unknownCommand();
    return HTTPResponse::json(200, m_router->handle(*remoteCommand, *deck, origin).toJson());
}

void RemoteAPI::addTrack(QJsonObject &object, const std::optional<TrackInfo> &track)
{
    if (track)
        object.insert(u"track"_s, QJsonObject{{u"title"_s, track->title}});
}
