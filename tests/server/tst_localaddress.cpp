#include "server/localaddress.h"

#include <QTest>

#include <net/if.h>

using namespace Qt::StringLiterals;
using Entries = QList<LocalAddress::InterfaceAddress>;

// The address the pairing code and the manual address offer to the phone.
class LocalAddressTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choose()
    {
        constexpr unsigned int up = IFF_UP | IFF_RUNNING;
        const std::pair<Entries, QString> cases[] = {
            {{{u"en1"_s, up, u"10.0.0.7"_s}, {u"en0"_s, up, u"192.168.1.20"_s}}, u"192.168.1.20"_s},
            {{{u"bridge100"_s, up, u"10.0.0.1"_s}, {u"utun0"_s, up, u"172.16.0.5"_s}}, u"172.16.0.5"_s},
            // Equal priority: string order, not numeric.
            {{{u"en1"_s, up, u"10.0.0.9"_s}, {u"en2"_s, up, u"10.0.0.10"_s}}, u"10.0.0.10"_s},
            {{{u"lo"_s, up | IFF_LOOPBACK, u"127.0.0.1"_s}}, QString()},
            // Down is skipped; running is not required.
            {{{u"en0"_s, IFF_RUNNING, u"192.168.1.2"_s}, {u"eth0"_s, IFF_UP, u"10.1.1.1"_s}}, u"10.1.1.1"_s}};
        for (const auto &[entries, chosen] : cases)
            QCOMPARE(LocalAddress::choosePreferredIPv4Address(entries).value_or(QString()), chosen);
    }
};

QTEST_GUILESS_MAIN(LocalAddressTest)
#include "tst_localaddress.moc"
