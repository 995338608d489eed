#pragma once

#include <QList>
#include <QString>

// The services of one DNS-SD type as the system's browser (avahi-browse) resolves them right now.
struct BrowsedService
{
    QString name;
    QString address;
    int port = 0;
};

bool dnssdBrowserAvailable();
QList<BrowsedService> browseDNSSD(const QString &type);
