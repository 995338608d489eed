#include "server/pairingthrottle.h"

#include "support/fakeclock.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kMinute = 60'000;

} // namespace

class PairingThrottleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void refuses_afterTenFailuresInWindow();
    void refuses_onlyThatPeer();
    void allows_onceOldestFailureLeavesWindow();
    void allows_failuresSpreadBeyondWindow();
    void allows_afterSuccess();
    void allows_whenClockIsSetBack();

private:
    std::shared_ptr<FakeClock> m_clock;
    std::unique_ptr<PairingThrottle> m_throttle;
};

void PairingThrottleTest::init()
{
    m_clock = std::make_shared<FakeClock>();
    m_throttle = std::make_unique<PairingThrottle>(m_clock);
}

void PairingThrottleTest::refuses_afterTenFailuresInWindow()
{
    for (int failure = 0; failure < 9; ++failure) {
        m_throttle->recordFailure(u"10.0.0.5"_s);
        m_clock->advance(1000);
    }
    QVERIFY(m_throttle->allows(u"10.0.0.5"_s));
    m_throttle->recordFailure(u"10.0.0.5"_s);
    QVERIFY(!m_throttle->allows(u"10.0.0.5"_s));
}

void PairingThrottleTest::refuses_onlyThatPeer()
{
    for (int failure = 0; failure < PairingThrottle::kMaxFailures; ++failure)
        m_throttle->recordFailure(u"10.0.0.5"_s);
    QVERIFY(!m_throttle->allows(u"10.0.0.5"_s));
    QVERIFY(m_throttle->allows(u"10.0.0.6"_s));
}

void PairingThrottleTest::allows_onceOldestFailureLeavesWindow()
{
    m_throttle->recordFailure(u"10.0.0.5"_s);
    m_clock->advance(5 * kMinute);
    for (int failure = 1; failure < PairingThrottle::kMaxFailures; ++failure)
        m_throttle->recordFailure(u"10.0.0.5"_s);
    m_clock->advance(5 * kMinute - 1);
    QVERIFY(!m_throttle->allows(u"10.0.0.5"_s));
    m_clock->advance(1);
    QVERIFY(m_throttle->allows(u"10.0.0.5"_s));
    // The nine later failures still count: one more wrong code closes the door again.
    m_throttle->recordFailure(u"10.0.0.5"_s);
    QVERIFY(!m_throttle->allows(u"10.0.0.5"_s));
}

void PairingThrottleTest::allows_failuresSpreadBeyondWindow()
{
    for (int failure = 0; failure < 3 * PairingThrottle::kMaxFailures; ++failure) {
        m_throttle->recordFailure(u"10.0.0.5"_s);
        m_clock->advance(kMinute + 1);
        QVERIFY(m_throttle->allows(u"10.0.0.5"_s));
    }
}

void PairingThrottleTest::allows_afterSuccess()
{
    for (int failure = 0; failure < PairingThrottle::kMaxFailures - 1; ++failure)
        m_throttle->recordFailure(u"10.0.0.5"_s);
    m_throttle->recordSuccess(u"10.0.0.5"_s);
    m_throttle->recordFailure(u"10.0.0.5"_s);
    QVERIFY(m_throttle->allows(u"10.0.0.5"_s));
}

void PairingThrottleTest::allows_whenClockIsSetBack()
{
    for (int failure = 0; failure < PairingThrottle::kMaxFailures; ++failure)
        m_throttle->recordFailure(u"10.0.0.5"_s);
    // Guards against a lock-out that lasts as long as the clock jumped back.
    m_clock->advance(-60 * kMinute);
    QVERIFY(m_throttle->allows(u"10.0.0.5"_s));
}

QTEST_GUILESS_MAIN(PairingThrottleTest)
#include "tst_pairingthrottle.moc"
