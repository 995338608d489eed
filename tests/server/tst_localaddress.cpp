#include "server/localaddress.h"

#include <QTest>

#include <net/if.h>

using namespace Qt::StringLiterals;
using Entries = QList<LocalAddress::InterfaceAddress>;

Q_DECLARE_METATYPE(QList<LocalAddress::InterfaceAddress>)

class LocalAddressTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choose_data();
    void choose();
};

void LocalAddressTest::choose_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<QString>("chosen"); // null: none

    constexpr unsigned int up = IFF_UP | IFF_RUNNING;
    QTest::newRow("en0 wins over an earlier en1")
        << Entries{{u"en1"_s, up, u"10.0.0.7"_s}, {u"en0"_s, up, u"192.168.1.20"_s}} << u"192.168.1.20"_s;
    QTest::newRow("tunnel before bridge")
        << Entries{{u"bridge100"_s, up, u"10.0.0.1"_s}, {u"utun0"_s, up, u"172.16.0.5"_s}} << u"172.16.0.5"_s;
    QTest::newRow("equal priority: string order, not numeric")
        << Entries{{u"en1"_s, up, u"10.0.0.9"_s}, {u"en2"_s, up, u"10.0.0.10"_s}} << u"10.0.0.10"_s;
    QTest::newRow("only loopback") << Entries{{u"lo"_s, up | IFF_LOOPBACK, u"127.0.0.1"_s}} << QString();
    QTest::newRow("down skipped, running not required")
        << Entries{{u"en0"_s, IFF_RUNNING, u"192.168.1.2"_s}, {u"eth0"_s, IFF_UP, u"10.1.1.1"_s}}
        << u"10.1.1.1"_s;
}

void LocalAddressTest::choose()
{
    QFETCH(Entries, entries);
    QFETCH(QString, chosen);
    QCOMPARE(LocalAddress::choosePreferredIPv4Address(entries),
             chosen.isNull() ? std::nullopt : std::optional(chosen));
}

QTEST_GUILESS_MAIN(LocalAddressTest)
#include "tst_localaddress.moc"
