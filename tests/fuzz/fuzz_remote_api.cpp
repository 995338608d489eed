#include "fuzzcheck.h"
#include "router/commandrouter.h"
#include "server/httprequestparser.h"
#include "server/remoteapi.h"

#include "support/fakeclock.h"
#include "support/recordingmidioutput.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

// The first byte says whether the request carries a paired device's token; the rest is the request
// as it arrives. Every request, authorized or not, gets a JSON answer whose "ok" matches its status.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // In memory: the router syncs its store on every change, and a disk would make that the cost.
    static const QTemporaryDir folder(u"/dev/shm/tarvik-fuzz-XXXXXX"_s);
    if (size == 0)
        return 0;
    HTTPRequestParser::Result parsed = HTTPRequestParser::parse(
        QByteArrayView(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1));
    if (parsed.outcome != HTTPRequestParser::Outcome::complete)
        return 0;
    // A Serato router on a fresh store holding a known code, removed after each run.
    const QString storePath = folder.filePath(u"store.ini"_s);
    {
        auto store = std::make_shared<QSettings>(storePath, QSettings::IniFormat);
        store->setValue(u"TarvikDJConnector.serato.pairingCode"_s, u"482913"_s);
        store->sync(); // the router reads the file, not this object
        const auto clock = std::make_shared<FakeClock>();
        const auto router = std::make_shared<CommandRouter>(
            DJPlatform::serato, RecordingMIDIOutput::transport(DJPlatform::serato).transport,
            std::move(store),
            std::make_unique<NowPlayingMonitor>(DJPlatform::serato,
                                                NowPlayingMonitor::Seams{{}, {}, {}, clock}),
            clock);
        fuzzCheck(router->pairedDeviceCount() == 0, "every run starts from a fresh store");
        if (data[0] & 1)
            parsed.request.headers.insert(u"authorization"_s,
                                          u"Bearer "_s + router->pair(u"482913"_s).value());
        const HTTPResponse response = RemoteAPI(DJPlatform::serato, router, clock)
                                          .response(parsed.request, QHostAddress(u"192.168.1.30"_s));
        const QJsonValue ok = QJsonDocument::fromJson(response.body).object().value(u"ok"_s);
        fuzzCheck(ok.isBool() && ok.toBool() == (response.status == 200),
                  "a JSON answer whose ok matches its status");
    }
    QFile::remove(storePath);
    return 0;
}
