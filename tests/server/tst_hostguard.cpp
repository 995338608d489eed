#include "server/hostguard.h"

#include <QTest>

using namespace Qt::StringLiterals;

class HostGuardTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void allows_data();
    void allows();
};

void HostGuardTest::allows_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("allowed");

    const auto row = [](const QString &host, bool allowed) { QTest::newRow(qPrintable(host)) << host << allowed; };
    // What the phone app and a local check send.
    for (const QString &host : {u""_s, u"192.168.1.20"_s, u"192.168.1.20:53731"_s, u"127.0.0.1."_s,
                                u"[::1]"_s, u"[fe80::1c2b:3dff:fe4e:5f60]:53732"_s, u"localhost"_s,
                                u"LocalHost:53731"_s, u"localhost.:53731"_s, u"DJ-MacBook.local"_s,
                                u"dj-macbook.LOCAL.:53731"_s})
        row(host, true);
    // DNS names a rebinding page would bring, and what only pretends to be an address.
    for (const QString &host : {u"attacker.example"_s, u"attacker.example:53731"_s, u"localhost.example"_s,
                                u"x.localhost"_s, u"dj.local.example"_s, u"local"_s, u".local"_s, u"1.2.3.4.nip.io"_s,
                                u"1.2.3.256"_s, u"1.2.3"_s, u"0x7f.0.0.1"_s, u"[::1"_s, u"[example.com]"_s,
                                u"[1.2.3.4]"_s, u"::1"_s, u":53731"_s, u"localhost:"_s, u"localhost:http"_s,
                                u"localhost:537310"_s, u"[::1]x"_s})
        row(host, false);
}

void HostGuardTest::allows()
{
    QFETCH(QString, host);
    QFETCH(bool, allowed);
    QCOMPARE(HostGuard::allows(host), allowed);
}

QTEST_GUILESS_MAIN(HostGuardTest)
#include "tst_hostguard.moc"
