#include "server/serviceadvertisement.h"

#include <QSocketNotifier>
#include <QtEndian>

#include <cstdlib>
#include <mutex>

ServiceAdvertisement::ServiceAdvertisement(QString name, QString type, quint16 port, QObject *parent)
    : QObject(parent)
    , m_name(std::move(name))
    , m_type(std::move(type))
    , m_port(port)
{}

ServiceAdvertisement::~ServiceAdvertisement()
{
    withdraw();
}

bool ServiceAdvertisement::start()
{
    // Avahi's compatibility layer prints a warning to stderr on first use unless told not to; set
    // once, before any thread of that library exists.
    static std::once_flag quietAvahi;
    std::call_once(quietAvahi, [] { setenv("AVAHI_COMPAT_NOWARN", "1", 1); });

    withdraw();
    const DNSServiceErrorType error = DNSServiceRegister(
        &m_service, 0, 0, m_name.toUtf8().constData(), m_type.toUtf8().constData(), nullptr, nullptr,
        qToBigEndian(m_port), 0, nullptr, &ServiceAdvertisement::registerReply, this);
    if (error != kDNSServiceErr_NoError) {
        m_service = nullptr;
        return false;
    }
    m_notifier = new QSocketNotifier(DNSServiceRefSockFD(m_service), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ServiceAdvertisement::processReply);
    return true;
}

void ServiceAdvertisement::processReply()
{
    // An error here means the daemon's socket is gone; a notifier left on it would fire forever.
    if (DNSServiceProcessResult(m_service) != kDNSServiceErr_NoError && withdraw())
        Q_EMIT failed();
}

void DNSSD_API ServiceAdvertisement::registerReply(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType error,
                                                   const char *name, const char *, const char *,
                                                   void *context)
{
    auto *advertisement = static_cast<ServiceAdvertisement *>(context);
    if (error == kDNSServiceErr_NoError) {
        Q_EMIT advertisement->registered(QString::fromUtf8(name));
        return;
    }
    // Called from inside DNSServiceProcessResult: withdraw once that has returned.
    QMetaObject::invokeMethod(
        advertisement,
        [advertisement] {
            if (advertisement->withdraw())
                Q_EMIT advertisement->failed();
        },
        Qt::QueuedConnection);
}

bool ServiceAdvertisement::withdraw()
{
    if (!m_service)
        return false;
    // The notifier stops watching first: deallocation closes its descriptor. It may be the sender
    // of the slot we are in, hence the deferred delete.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
    DNSServiceRefDeallocate(m_service);
    m_service = nullptr;
    return true;
}
