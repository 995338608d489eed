// The paired devices as the window lists them, and forgetting one.
#include "app/connectormodel.h"

#include "app/connectorruntime.h"
#include "app/devicepresence.h"

using namespace Qt::StringLiterals;

void ConnectorModel::refreshDevices()
{
    if (!m_runtime)
        return;
    const qint64 now = m_environment.clock->nowMSecsSinceEpoch();
    QVariantList devices;
    int connected = 0;
    for (const PairedDevice &device : m_runtime->router->pairedDevices()) {
        connected += device.connected(now) ? 1 : 0;
        devices.append(QVariantMap{{u"id"_s, device.id},
                                   {u"name"_s, device.name},
                                   {u"address"_s, device.lastAddress()},
                                   {u"connected"_s, device.connected(now)},
                                   {u"presence"_s, presenceText(device, now)}});
    }
    // Rebuilding the list in the window on every refresh would reset its buttons under the pointer.
    if (devices == m_devices && connected == m_connectedDevices)
        return;
    m_devices = devices;
    m_connectedDevices = connected;
    Q_EMIT devicesChanged();
}

void ConnectorModel::forgetDevice(const QString &id)
{
    if (!m_runtime)
        return;
    m_runtime->router->forgetDevice(id);
    refreshStatus();
}
