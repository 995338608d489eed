#include "app/pairingpayload.h"
#include "app/qrcodeimage.h"
#include "fuzzcheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

// Any address and code: a payload, when there is one, is a pair link that gives back exactly the
// platform, address and code it was built from, and fits a QR code.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const DJPlatform platform = input.ConsumeBool() ? DJPlatform::serato : DJPlatform::virtualDJ;
    const QString address = QString::fromStdString(input.ConsumeRandomLengthString());
    const QString code = QString::fromStdString(input.ConsumeRemainingBytesAsString());
    const std::optional<QString> payload = pairingPayload(platform, address, code);
    if (!payload)
        return 0;
    const QUrl url(*payload, QUrl::StrictMode);
    const QUrlQuery query(url);
    fuzzCheck(url.scheme() == "tarvikdjremote"_L1 && url.host() == "pair"_L1
                  && query.queryItemValue(u"platform"_s) == rawValue(platform)
                  && query.queryItemValue(u"address"_s, QUrl::FullyDecoded) == address
                  && query.queryItemValue(u"code"_s, QUrl::FullyDecoded) == code,
              "a pair link that gives back platform, address and code");
    fuzzCheck(payload->size() >= 1000 || !renderQRCodeText(*payload).isEmpty(),
              "a short payload fits a QR code");
    return 0;
}
