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

    const auto row = [](const QString &host, bool allowed) {
        QTest::newRow(qPrintable(host)) << host << allowed;
    };
    row({}, true);
    // What the phone app and a local check send.
    const QString allowed =
        u"192.168.1.20 192.168.1.20:53731 127.0.0.1. [::1] [fe80::1c2b:3dff:fe4e:5f60]:53732 "
        u"localhost LocalHost:53731 localhost.:53731 DJ-MacBook.local dj-macbook.LOCAL.:53731"_s;
    for (const QString &host : allowed.split(u' '))
        row(host, true);
    // DNS names a rebinding page would bring, and what only pretends to be an address.
    const QString refused =
        u"attacker.example attacker.example:53731 localhost.example x.localhost "
        u"dj.local.example local .local 1.2.3.4.nip.io 1.2.3.256 1.2.3 0x7f.0.0.1 [::1 "
        u"[example.com] [1.2.3.4] ::1 :53731 localhost: localhost:http localhost:537310 [::1]x"_s;
    for (const QString &host : refused.split(u' '))
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
