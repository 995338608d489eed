#include "fuzzcheck.h"
#include "server/httprequestparser.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <random>

// The bytes arrive in pieces at random split points; the parser must decide exactly as it does for
// the same bytes at once, and keep its decision.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using Outcome = HTTPRequestParser::Outcome;
    FuzzedDataProvider input(data, size);
    const qsizetype limit = input.ConsumeBool() ? input.ConsumeIntegralInRange<qsizetype>(0, 600)
                                                : HTTPRequestParser::kMaxRequestSize;
    std::minstd_rand splits(input.ConsumeIntegral<std::uint32_t>());
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    HTTPRequestParser parser(limit);
    HTTPRequestParser::Result pieced;
    std::size_t fed = 0;
    while (fed < bytes.size() && pieced.outcome == Outcome::incomplete) {
        const std::size_t piece = std::min<std::size_t>(bytes.size() - fed, splits() % 40);
        pieced = parser.append(QByteArrayView(bytes.data() + fed, qsizetype(piece)));
        fed += piece;
    }
    const auto whole = HTTPRequestParser::parse(QByteArrayView(bytes.data(), qsizetype(fed)), limit);
    fuzzCheck(pieced.outcome == whole.outcome && pieced.request.method == whole.request.method
                  && pieced.request.path == whole.request.path
                  && pieced.request.headers == whole.request.headers
                  && pieced.request.body == whole.request.body,
              "the same outcome and request in pieces as at once");
    fuzzCheck(pieced.outcome == Outcome::incomplete
                  || parser.append("GET / HTTP/1.1\r\n\r\n").outcome == pieced.outcome,
              "a decision stays");
    return 0;
}
