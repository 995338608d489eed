#include "server/localaddress.h"

#include <QHostAddress>
#include <QTest>

#include <net/if.h>

using namespace Qt::StringLiterals;
using LocalAddress::InterfaceAddress;

Q_DECLARE_METATYPE(QList<LocalAddress::InterfaceAddress>)

namespace {

constexpr unsigned int kUp = IFF_UP | IFF_RUNNING;

} // namespace

class LocalAddressTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choose_data();
    void choose();
    void systemAddresses_areIPv4Text();
};

void LocalAddressTest::choose_data()
{
    QTest::addColumn<QList<InterfaceAddress>>("entries");
    QTest::addColumn<QString>("chosen"); // null: none

    QTest::newRow("en0 wins over an earlier en1")
        << QList<InterfaceAddress>{{u"en1"_s, kUp, u"10.0.0.7"_s}, {u"en0"_s, kUp, u"192.168.1.20"_s}}
        << u"192.168.1.20"_s;
    QTest::newRow("tunnel before bridge")
        << QList<InterfaceAddress>{{u"bridge100"_s, kUp, u"10.0.0.1"_s}, {u"utun0"_s, kUp, u"172.16.0.5"_s}}
        << u"172.16.0.5"_s;
    QTest::newRow("equal priority: string order, not numeric")
        << QList<InterfaceAddress>{{u"en1"_s, kUp, u"10.0.0.9"_s}, {u"en2"_s, kUp, u"10.0.0.10"_s}}
        << u"10.0.0.10"_s;
    QTest::newRow("other en before anything else")
        << QList<InterfaceAddress>{{u"wlan0"_s, kUp, u"10.0.0.1"_s}, {u"en5"_s, kUp, u"192.168.0.9"_s}}
        << u"192.168.0.9"_s;
    QTest::newRow("en0 in a longer name is only other en")
        << QList<InterfaceAddress>{{u"en0x"_s, kUp, u"10.0.0.1"_s}, {u"en1"_s, kUp, u"10.0.0.0"_s}}
        << u"10.0.0.0"_s;
    QTest::newRow("only loopback") << QList<InterfaceAddress>{{u"lo"_s, kUp | IFF_LOOPBACK, u"127.0.0.1"_s}}
                                   << QString();
    QTest::newRow("loopback flag wins over the name")
        << QList<InterfaceAddress>{{u"en0"_s, kUp | IFF_LOOPBACK, u"192.168.1.2"_s},
                                   {u"eth0"_s, kUp, u"192.168.1.3"_s}}
        << u"192.168.1.3"_s;
    QTest::newRow("down interface skipped")
        << QList<InterfaceAddress>{{u"en0"_s, IFF_RUNNING, u"192.168.1.2"_s}, {u"eth0"_s, kUp, u"10.1.1.1"_s}}
        << u"10.1.1.1"_s;
    QTest::newRow("up but not running still counts")
        << QList<InterfaceAddress>{{u"eth0"_s, IFF_UP, u"10.1.1.1"_s}} << u"10.1.1.1"_s;
    QTest::newRow("no entries") << QList<InterfaceAddress>{} << QString();
}

void LocalAddressTest::choose()
{
    QFETCH(QList<InterfaceAddress>, entries);
    QFETCH(QString, chosen);
    const std::optional<QString> expected = chosen.isNull() ? std::nullopt : std::optional(chosen);
    QCOMPARE(LocalAddress::choosePreferredIPv4Address(entries), expected);
}

void LocalAddressTest::systemAddresses_areIPv4Text()
{
    const QList<InterfaceAddress> entries = LocalAddress::systemIPv4Addresses();
    // Every host has a loopback interface with an IPv4 address.
    QVERIFY(std::any_of(entries.cbegin(), entries.cend(),
                        [](const InterfaceAddress &entry) { return entry.flags & IFF_LOOPBACK; }));
    for (const InterfaceAddress &entry : entries) {
        QVERIFY(!entry.interfaceName.isEmpty());
        QCOMPARE(QHostAddress(entry.ipv4).protocol(), QAbstractSocket::IPv4Protocol);
    }
    const std::optional<QString> preferred = preferredLocalIPv4Address();
    if (preferred)
        QVERIFY(!QHostAddress(*preferred).isLoopback());
}

QTEST_GUILESS_MAIN(LocalAddressTest)
#include "tst_localaddress.moc"
