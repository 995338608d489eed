#include "server/serviceadvertisement.h"

#include "dnssdbrowser.h"
#include "support/servicerequirement.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kType = u"_tarvikdjserato._tcp"_s;

bool advertised(const QString &name, quint16 port)
{
    const QList<BrowsedService> services = browseDNSSD(kType);
    return std::any_of(services.cbegin(), services.cend(), [&](const BrowsedService &service) {
        return service.name == name && service.port == port;
    });
}

} // namespace

class ServiceAdvertisementTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registersAndWithdraws();
};

void ServiceAdvertisementTest::registersAndWithdraws()
{
    CONNECTOR_REQUIRE_SERVICE(dnssdBrowserAvailable(), u"avahi-browse"_s);
    // A name of its own, so that a connector running beside the test does not collide with it.
    const QString name = u"Tarvik DJ Connector Test %1"_s.arg(QCoreApplication::applicationPid());
    const quint16 port = 40000 + QCoreApplication::applicationPid() % 20000;
    auto advertisement = std::make_unique<ServiceAdvertisement>(name, kType, port);
    QSignalSpy registered(advertisement.get(), &ServiceAdvertisement::registered);
    QSignalSpy failed(advertisement.get(), &ServiceAdvertisement::failed);
    CONNECTOR_REQUIRE_SERVICE(advertisement->start(), u"Avahi daemon"_s);

    QVERIFY(registered.wait(30'000));
    QCOMPARE(registered.first().first().toString(), name);
    QTRY_VERIFY_WITH_TIMEOUT(advertised(name, port), 60'000);

    advertisement.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!advertised(name, port), 60'000);
    QVERIFY(failed.isEmpty());
}

QTEST_GUILESS_MAIN(ServiceAdvertisementTest)
#include "tst_serviceadvertisement.moc"
