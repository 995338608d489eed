#include "fuzzcheck.h"
#include "router/phoneroutedharness.h"
#include "server/httprequestparser.h"

using namespace Qt::StringLiterals;

// The first byte says whether the request carries a paired device's token; the rest is the request
// as it arrives. Every request, authorized or not, gets a JSON answer whose "ok" matches its status.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Each run's fresh store in memory: the router syncs it on every change, and a disk would make that
    // the cost.
    [[maybe_unused]] static const bool inMemory = qputenv("TMPDIR", "/dev/shm");
    if (size == 0)
        return 0;
    HTTPRequestParser::Result parsed = HTTPRequestParser::parse(
        QByteArrayView(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1));
    if (parsed.outcome != HTTPRequestParser::Outcome::complete)
        return 0;
    PhoneRoutedHarness harness;
    if (data[0] & 1)
        parsed.request.headers.insert(
            u"authorization"_s, u"Bearer "_s + harness.router->pair(harness.router->pairingCode()).value());
    const HTTPResponse response = harness.api->response(parsed.request, QHostAddress(u"192.168.1.30"_s));
    const QJsonValue ok = QJsonDocument::fromJson(response.body).object().value(u"ok"_s);
    fuzzCheck(ok.isBool() && ok.toBool() == (response.status == 200),
              "a JSON answer whose ok matches its status");
    return 0;
}
