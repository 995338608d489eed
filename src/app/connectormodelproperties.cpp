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
    assign(m_weddingScript, script, &ConnectorModel::weddingScriptChanged);
}

void ConnectorModel::setServerStatus(const QString &value)
{
    assign(m_serverStatus, value, &ConnectorModel::serverStatusChanged);
}

void ConnectorModel::setPairingCode(const QString &value)
{
    assign(m_pairingCode, value, &ConnectorModel::pairingCodeChanged);
}

void ConnectorModel::setPairingQRCode(const QImage &value)
{
    assign(m_pairingQRCode, value, &ConnectorModel::pairingQRCodeChanged);
}

void ConnectorModel::setPairedDevices(int value)
{
    assign(m_pairedDevices, value, &ConnectorModel::pairedDevicesChanged);
}

void ConnectorModel::setRemoteAddress(const QString &value)
{
    assign(m_remoteAddress, value, &ConnectorModel::remoteAddressChanged);
}

void ConnectorModel::setDJSoftwareRunning(bool value)
{
    assign(m_djSoftwareRunning, value, &ConnectorModel::djSoftwareRunningChanged);
}

void ConnectorModel::setMappingInstalled(bool value)
{
    assign(m_mappingInstalled, value, &ConnectorModel::mappingInstalledChanged);
}

void ConnectorModel::setMidiError(const std::optional<QString> &value)
{
    assign(m_midiError, value, &ConnectorModel::midiErrorChanged);
}

void ConnectorModel::setLastCommand(const QString &value)
{
    assign(m_lastCommand, value, &ConnectorModel::lastCommandChanged);
}

void ConnectorModel::setLeftState(const QString &value)
{
    assign(m_leftState, value, &ConnectorModel::leftStateChanged);
}

void ConnectorModel::setRightState(const QString &value)
{
    assign(m_rightState, value, &ConnectorModel::rightStateChanged);
}

void ConnectorModel::setSettingsWarning(const QString &value)
{
    // Shown once per change of condition, not on every refresh.
    if (value != m_settingsWarning)
        assign(m_settingsWarning, value, &ConnectorModel::settingsWarningChanged);
}

void ConnectorModel::setDeckStateReported(bool value)
{
    assign(m_deckStateReported, value, &ConnectorModel::deckStateReportedChanged);
}

void ConnectorModel::setDJSoftwareAnswering(bool value)
{
    assign(m_djSoftwareAnswering, value, &ConnectorModel::djSoftwareAnsweringChanged);
}

void ConnectorModel::setUpdateMessage(const QString &value)
{
    assign(m_updateMessage, value, &ConnectorModel::updateMessageChanged);
}

void ConnectorModel::setDownloadUpdateURL(const QUrl &value)
{
    assign(m_downloadUpdateURL, value, &ConnectorModel::downloadUpdateURLChanged);
}

void ConnectorModel::setIsCheckingForUpdates(bool value)
{
    assign(m_isCheckingForUpdates, value, &ConnectorModel::isCheckingForUpdatesChanged);
}
