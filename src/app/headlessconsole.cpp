#include "app/headlessconsole.h"

#include "app/connectormodel.h"
#include "app/qrcodeimage.h"

using namespace Qt::StringLiterals;

HeadlessConsole::HeadlessConsole(ConnectorModel &model, FILE *output, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_output(output)
{
    connect(&model, &ConnectorModel::serverStatusChanged, this, &HeadlessConsole::printServerStatus);
    connect(&model, &ConnectorModel::pairingCodeChanged, this, &HeadlessConsole::printPairingCode);
    connect(&model, &ConnectorModel::remoteAddressChanged, this, &HeadlessConsole::printRemoteAddress);
    connect(&model, &ConnectorModel::pairingQRCodeChanged, this, &HeadlessConsole::printPairingQRCode);
    connect(&model, &ConnectorModel::midiErrorChanged, this, &HeadlessConsole::printMidiState);
    connect(&model, &ConnectorModel::lastCommandChanged, this, &HeadlessConsole::printLastCommand);
    connect(&model, &ConnectorModel::settingsWarningChanged, this, &HeadlessConsole::printSettingsWarning);
    connect(&model, &ConnectorModel::deckStateReportedChanged, this,
            &HeadlessConsole::printDeckStateReported);

    printServerStatus();
    printPairingCode();
    printRemoteAddress();
    printPairingQRCode();
    printMidiState();
    printSettingsWarning();
}

void HeadlessConsole::printServerStatus()
{
    if (m_model.serverStatus() == m_printedServerStatus)
        return;
    m_printedServerStatus = m_model.serverStatus();
    printLine(m_printedServerStatus);
}

void HeadlessConsole::printPairingCode()
{
    const QString code = m_model.pairingCode();
    if (code == m_printedPairingCode || code == u"------"_s)
        return;
    m_printedPairingCode = code;
    printLine(u"Pairing code: "_s + code);
}

void HeadlessConsole::printRemoteAddress()
{
    const QString address = m_model.remoteAddress();
    if (address == m_printedRemoteAddress || !address.startsWith(u"http"_s))
        return;
    m_printedRemoteAddress = address;
    printLine(address);
}

void HeadlessConsole::printPairingQRCode()
{
    const QString payload = m_model.pairingPayload();
    if (payload == m_printedPairingPayload || payload.isEmpty())
        return;
    m_printedPairingPayload = payload;
    for (const QString &line : renderQRCodeText(payload))
        printLine(line);
}

void HeadlessConsole::printMidiState()
{
    const QString error = m_model.midiError();
    const QString state = error.isEmpty() ? u"Virtual MIDI device ready"_s : error;
    if (state == m_printedMidiState)
        return;
    m_printedMidiState = state;
    printLine(state);
}

void HeadlessConsole::printDeckStateReported()
{
    // Once per connector: only a new one, after a platform switch, starts unreported again.
    if (!m_model.deckStateReported()) {
        m_printedDeckStateReported = false;
        return;
    }
    if (m_printedDeckStateReported)
        return;
    m_printedDeckStateReported = true;
    printLine(displayName(m_model.selectedPlatform()) + u" is sending deck state."_s);
}

void HeadlessConsole::printLastCommand()
{
    printLine(m_model.lastCommand());
}

void HeadlessConsole::printSettingsWarning()
{
    const QString warning = m_model.settingsWarning();
    if (warning == m_printedSettingsWarning)
        return;
    const bool cleared = warning.isEmpty();
    m_printedSettingsWarning = warning;
    printLine(cleared ? u"Settings are saved again."_s : warning);
}

void HeadlessConsole::printLine(const QString &line)
{
    m_output << line << Qt::endl;
}
