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
    const std::string addressBytes = input.ConsumeRandomLengthString();
    const std::string codeBytes = input.ConsumeRemainingBytesAsString();
    const QString address = QString::fromUtf8(addressBytes.data(), qsizetype(addressBytes.size()));
    const QString code = QString::fromUtf8(codeBytes.data(), qsizetype(codeBytes.size()));

    const std::optional<QString> payload = pairingPayload(platform, address, code);
    if (!payload)
        return 0;
    const QUrl url(*payload, QUrl::StrictMode);
    const QUrlQuery query(url);
    fuzzCheck(url.scheme() == "tarvikdjremote"_L1 && url.host() == "pair"_L1, "a pair link");
    fuzzCheck(query.queryItemValue(u"platform"_s) == rawValue(platform), "the platform comes back");
    fuzzCheck(query.queryItemValue(u"address"_s, QUrl::FullyDecoded) == address, "the address comes back");
    fuzzCheck(query.queryItemValue(u"code"_s, QUrl::FullyDecoded) == code, "the code comes back");
    if (payload->size() < 1000)
        fuzzCheck(!renderQRCodeText(*payload).isEmpty(), "a short payload fits a QR code");
    return 0;
}
