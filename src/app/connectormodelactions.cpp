// The window's buttons: test pulses, script saving, pairing reset and mapping installation.
#include "app/connectormodel.h"

#include "app/connectorruntime.h"
#include "app/djsoftware.h"
#include "installers/installererror.h"
#include "installers/seratopresetinstaller.h"
#include "installers/virtualdjmappinginstaller.h"

using namespace Qt::StringLiterals;

void ConnectorModel::sendTestCommand(RemoteCommand command)
{
    if (!m_runtime)
        return;
    m_runtime->router->handle(command, m_selectedTestDeck);
    refreshStatus();
}

void ConnectorModel::sendSeratoMappingPulse(RemoteCommand command, DeckSide deck)
{
    if (m_selectedPlatform != DJPlatform::serato || !m_runtime)
        return;
    MIDITransport &midi = *m_runtime->midi;
    midi.pulse(midi.note(command, deck));
    setLastCommand(u"Serato mapping pulse sent for "_s + displayName(deck) + u' ' + displayName(command)
                   + u'.');
}

void ConnectorModel::saveWeddingScript()
{
    if (!m_runtime)
        return;
    if (!m_runtime->router->updateWeddingScript(m_weddingScript)) {
        // The editor keeps the text, so the DJ can save it again.
        setLastCommand(u"The wedding script could not be saved on this computer."_s);
        return;
    }
    m_lastLoadedWeddingScript = m_weddingScript;
    setLastCommand(m_pairedDevices == 0
                       ? u"Wedding script saved. It will sync after an iPhone or iPad pairs."_s
                       : u"Wedding script saved for paired devices."_s);
    refreshStatus();
}

void ConnectorModel::resetPairing()
{
    if (!m_runtime)
        return;
    setPairingCode(m_runtime->router->resetPairing());
    refreshStatus();
}

void ConnectorModel::installVirtualDJMapping()
{
    installVirtualDJMappingReporting();
}

void ConnectorModel::installSeratoMapping()
{
    installSeratoMappingReporting();
}

bool ConnectorModel::installSelectedPlatformMapping()
{
    return m_selectedPlatform == DJPlatform::serato ? installSeratoMappingReporting()
                                                    : installVirtualDJMappingReporting();
}

bool ConnectorModel::installVirtualDJMappingReporting()
{
    if (m_selectedPlatform != DJPlatform::virtualDJ)
        return false;
    bool backedUp = false;
    try {
        backedUp = VirtualDJMappingInstaller::install(m_environment.installerLocations, *m_environment.clock);
    } catch (const InstallerError &error) {
        setLastCommand(u"VirtualDJ mapping could not be installed: "_s + error.description());
        return false;
    }
    refreshStatus();
    if (!m_runtime) {
        // Without a running connector the refresh above did nothing; the message still needs both.
        setDJSoftwareRunning(
            isDJSoftwareRunning(m_selectedPlatform, m_environment.runningApplications->list()));
        refreshMappingStatus();
    }
    if (backedUp)
        setLastCommand(
            u"VirtualDJ mapping updated. Previous Tarvik mapping files were backed up. Quit and reopen VirtualDJ once."_s);
    else if (m_djSoftwareRunning)
        setLastCommand(u"VirtualDJ mapping installed. Quit and reopen VirtualDJ once."_s);
    else
        setLastCommand(u"VirtualDJ mapping installed. Open VirtualDJ when ready."_s);
    return true;
}

bool ConnectorModel::installSeratoMappingReporting()
{
    if (m_selectedPlatform != DJPlatform::serato)
        return false;
    std::optional<QString> backup;
    try {
        backup = SeratoPresetInstaller::install(m_environment.installerLocations, *m_environment.clock);
    } catch (const InstallerError &error) {
        setMappingInstalled(false);
        setLastCommand(u"Serato preset could not be installed: "_s + error.description());
        return false;
    }
    refreshMappingStatus();
    setLastCommand(
        backup
            ? u"Serato preset installed. Your previous Tarvik Remote preset was backed up."_s
            : u"Serato preset installed. In Setup → MIDI, enable Tarvik DJ Connector Serato and select Tarvik Remote."_s);
    return true;
}

void ConnectorModel::choosePlatform(const QString &platform)
{
    if (const std::optional<DJPlatform> chosen = djPlatformFromRawValue(platform))
        choosePlatform(*chosen);
}

void ConnectorModel::sendTestCommand(const QString &command)
{
    if (const std::optional<RemoteCommand> chosen = remoteCommandFromRawValue(command))
        sendTestCommand(*chosen);
}

void ConnectorModel::sendSeratoMappingPulse(const QString &command, const QString &deck)
{
    const std::optional<RemoteCommand> chosenCommand = remoteCommandFromRawValue(command);
    const std::optional<DeckSide> chosenDeck = deckSideFromRawValue(deck);
    if (chosenCommand && chosenDeck)
        sendSeratoMappingPulse(*chosenCommand, *chosenDeck);
}
