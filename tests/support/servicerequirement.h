#pragma once

#include <QTest>

// A test that needs a running service (JACK, the Avahi daemon, an X server) skips without it on a
// developer's machine, but fails under CI=true, where ./test is expected to have started it.
#define CONNECTOR_REQUIRE_SERVICE(available, description)                                                    \
    do {                                                                                                     \
        if (!(available)) {                                                                                  \
            if (qEnvironmentVariable("CI") == QLatin1StringView("true"))                                     \
                QFAIL(qPrintable(QLatin1StringView("required service unavailable: ") + (description)));      \
            QSKIP(qPrintable(QLatin1StringView("service unavailable: ") + (description)));                   \
        }                                                                                                    \
    } while (false)
