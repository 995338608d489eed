#include "app/updatemanifest.h"
#include "fuzzcheck.h"

using namespace Qt::StringLiterals;

// A manifest from the network: decoded strictly, and one that decodes never offers a link other than
// an absolute http or https URL.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto manifest =
        UpdateManifest::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!manifest)
        return 0;
    const QString scheme = manifest->downloadURL.scheme().toLower();
    fuzzCheck((scheme == "http"_L1 || scheme == "https"_L1) && !manifest->downloadURL.host().isEmpty(),
              "only absolute http or https links");
    fuzzCheck(judgeUpdate(*manifest, u"1"_s).downloadURL.isEmpty() == (manifest->build <= 1),
              "a link only for a newer build");
    return 0;
}
