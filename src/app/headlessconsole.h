#pragma once

#include <QObject>
#include <QString>
#include <QTextStream>

class ConnectorModel;

// Prints what the window would show, one flushed UTF-8 line per change: the server status, the
// pairing code, the connect address, the pairing QR code, the MIDI state, the DJ software's first
// deck report, every new message, and when settings stop or start being saved again.
// Lives on the main thread beside the model.
class HeadlessConsole : public QObject
{
    Q_OBJECT

public:
    HeadlessConsole(ConnectorModel &model, FILE *output, QObject *parent = nullptr);

private:
    void printServerStatus();
    void printPairingCode();
    void printRemoteAddress();
    void printPairingQRCode();
    void printMidiState();
    void printDeckStateReported();
    void printLastCommand();
    void printSettingsWarning();
    void printLine(const QString &line);

    ConnectorModel &m_model;
    QTextStream m_output;
    QString m_printedServerStatus;
    QString m_printedPairingCode;
    QString m_printedRemoteAddress;
    QString m_printedPairingPayload;
    QString m_printedMidiState;
    QString m_printedSettingsWarning;
    bool m_printedDeckStateReported = false;
};
