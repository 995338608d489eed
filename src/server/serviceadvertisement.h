#pragma once

#include <QObject>
#include <QString>

#include <dns_sd.h>

class QSocketNotifier;

// A DNS-SD registration of one service name and type on a port, in the default domain with no TXT
// record, withdrawn on destruction. Lives on the server thread; the daemon's answers are processed
// there.
class ServiceAdvertisement : public QObject
{
    Q_OBJECT

public:
    ServiceAdvertisement(QString name, QString type, quint16 port, QObject *parent = nullptr);
    ~ServiceAdvertisement() override;

    // False when the DNS-SD service cannot be reached. Not retried: the port works without it.
    bool start();

Q_SIGNALS:
    // The daemon confirmed the registration, under this name (it may differ after a name conflict).
    void registered(const QString &name);
    // The registration was refused or the daemon went away; the advertisement is withdrawn.
    void failed();

private:
    static void DNSSD_API registerReply(DNSServiceRef service, DNSServiceFlags flags,
                                        DNSServiceErrorType error, const char *name, const char *type,
                                        const char *domain, void *context);
    void processReply();
    // False when there was nothing to withdraw.
    bool withdraw();

    QString m_name;
    QString m_type;
    quint16 m_port;
    DNSServiceRef m_service = nullptr;
    QSocketNotifier *m_notifier = nullptr;
};
