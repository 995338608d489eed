// Property setters: every assignment notifies, also of an equal value, so observers re-read the
// model on each refresh.
#include "app/connectormodel.h"

void ConnectorModel::setSelectedTestDeck(DeckSide deck)
{
    m_selectedTestDeck = deck;
    Q_EMIT selectedTestDeckChanged();
}

void ConnectorModel::setSelectedTestDeckRaw(const QString &deck)
{
    if (const std::optional<DeckSide> chosen = deckSideFromRawValue(deck))
        setSelectedTestDeck(*chosen);
}

void ConnectorModel::setWeddingScript(const QString &script)
{
    m_weddingScript = script;
    Q_EMIT weddingScriptChanged();
}

void ConnectorModel::setServerStatus(const QString &value)
{
    m_serverStatus = value;
    Q_EMIT serverStatusChanged();
}

void ConnectorModel::setPairingCode(const QString &value)
{
    m_pairingCode = value;
    Q_EMIT pairingCodeChanged();
}

void ConnectorModel::setPairingQRCode(const QImage &value)
{
    m_pairingQRCode = value;
    Q_EMIT pairingQRCodeChanged();
}

void ConnectorModel::setPairedDevices(int value)
{
    m_pairedDevices = value;
    Q_EMIT pairedDevicesChanged();
}

void ConnectorModel::setRemoteAddress(const QString &value)
{
    m_remoteAddress = value;
    Q_EMIT remoteAddressChanged();
}

void ConnectorModel::setDJSoftwareRunning(bool value)
{
    m_djSoftwareRunning = value;
    Q_EMIT djSoftwareRunningChanged();
}

void ConnectorModel::setMappingInstalled(bool value)
{
    m_mappingInstalled = value;
    Q_EMIT mappingInstalledChanged();
}

void ConnectorModel::setMidiError(const std::optional<QString> &value)
{
    m_midiError = value;
    Q_EMIT midiErrorChanged();
}

void ConnectorModel::setLastCommand(const QString &value)
{
    m_lastCommand = value;
    Q_EMIT lastCommandChanged();
}

void ConnectorModel::setLeftState(const QString &value)
{
    m_leftState = value;
    Q_EMIT leftStateChanged();
}

void ConnectorModel::setRightState(const QString &value)
{
    m_rightState = value;
    Q_EMIT rightStateChanged();
}

void ConnectorModel::setUpdateMessage(const QString &value)
{
    m_updateMessage = value;
    Q_EMIT updateMessageChanged();
}

void ConnectorModel::setDownloadUpdateURL(const QUrl &value)
{
    m_downloadUpdateURL = value;
    Q_EMIT downloadUpdateURLChanged();
}

void ConnectorModel::setIsCheckingForUpdates(bool value)
{
    m_isCheckingForUpdates = value;
    Q_EMIT isCheckingForUpdatesChanged();
}
