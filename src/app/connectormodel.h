#pragma once

#include "app/connectorenvironment.h"
#include "core/deckside.h"
#include "core/djplatform.h"
#include "core/remotecommand.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVariantList>

#include <memory>
#include <optional>

struct ConnectorRuntime;
class UpdateChecker;

// The one observable object behind the window and the headless output: it runs the selected
// platform's connector, switches it, and refreshes its state every 2 seconds. Lives on the main
// thread; every property is read and written there. Every assignment notifies, also of an equal
// value.
class ConnectorModel : public QObject
{
    Q_OBJECT

    // Raw values: "serato" or "virtualDJ".
    Q_PROPERTY(QString selectedPlatform READ selectedPlatformRaw NOTIFY selectedPlatformChanged)
    Q_PROPERTY(
        QString selectedPlatformDisplayName READ selectedPlatformDisplayName NOTIFY selectedPlatformChanged)
    Q_PROPERTY(
        QString selectedPlatformShortName READ selectedPlatformShortName NOTIFY selectedPlatformChanged)
    // Raw values: "left" or "right".
    Q_PROPERTY(QString selectedTestDeck READ selectedTestDeckRaw WRITE setSelectedTestDeckRaw NOTIFY
                   selectedTestDeckChanged)
    Q_PROPERTY(QString serverStatus READ serverStatus NOTIFY serverStatusChanged)
    Q_PROPERTY(QString pairingCode READ pairingCode NOTIFY pairingCodeChanged)
    // A null image while there is none; pairingPayload changes exactly when a new image is rendered.
    Q_PROPERTY(QImage pairingQRCode READ pairingQRCode NOTIFY pairingQRCodeChanged)
    Q_PROPERTY(QString pairingPayload READ pairingPayload NOTIFY pairingQRCodeChanged)
    Q_PROPERTY(int pairedDevices READ pairedDevices NOTIFY pairedDevicesChanged)
    // One map per paired device: id, name, address, connected (bool), presence ("Connected", "Last
    // seen 4 min ago", "Not seen since pairing"). Notifies only when it changes.
    Q_PROPERTY(QVariantList devices READ devices NOTIFY devicesChanged)
    Q_PROPERTY(int connectedDevices READ connectedDevices NOTIFY devicesChanged)
    // The activity log's latest entries, newest first: maps of time (for display), kind, message, device.
    Q_PROPERTY(QVariantList activityEntries READ activityEntries NOTIFY activityEntriesChanged)
    // Empty without a log.
    Q_PROPERTY(QString activityLogFolder READ activityLogFolder CONSTANT)
    // Empty until the log could not be written once; then says so, for the rest of the run.
    Q_PROPERTY(QString activityLogWarning READ activityLogWarning NOTIFY activityLogWarningChanged)
    Q_PROPERTY(QString remoteAddress READ remoteAddress NOTIFY remoteAddressChanged)
    Q_PROPERTY(bool djSoftwareRunning READ djSoftwareRunning NOTIFY djSoftwareRunningChanged)
    Q_PROPERTY(bool mappingInstalled READ mappingInstalled NOTIFY mappingInstalledChanged)
    // Empty while the virtual MIDI device is ready.
    Q_PROPERTY(QString midiError READ midiError NOTIFY midiErrorChanged)
    Q_PROPERTY(QString lastCommand READ lastCommand NOTIFY lastCommandChanged)
    Q_PROPERTY(QString leftState READ leftState NOTIFY leftStateChanged)
    Q_PROPERTY(QString rightState READ rightState NOTIFY rightStateChanged)
    // Whether the deck states come from the DJ software's reports rather than from the commands sent.
    Q_PROPERTY(bool deckStateReported READ deckStateReported NOTIFY deckStateReportedChanged)
    // Whether the DJ software has sent anything at all to the virtual device.
    Q_PROPERTY(bool djSoftwareAnswering READ djSoftwareAnswering NOTIFY djSoftwareAnsweringChanged)
    Q_PROPERTY(QString weddingScript READ weddingScript WRITE setWeddingScript NOTIFY weddingScriptChanged)
    // Empty while settings are saved; otherwise which file cannot be written. Unlike the others it
    // notifies only when it changes.
    Q_PROPERTY(QString settingsWarning READ settingsWarning NOTIFY settingsWarningChanged)
    Q_PROPERTY(QString updateMessage READ updateMessage NOTIFY updateMessageChanged)
    // Empty while there is no download link.
    Q_PROPERTY(QUrl downloadUpdateURL READ downloadUpdateURL NOTIFY downloadUpdateURLChanged)
    Q_PROPERTY(bool isCheckingForUpdates READ isCheckingForUpdates NOTIFY isCheckingForUpdatesChanged)
    Q_PROPERTY(QUrl supportURL READ supportURL CONSTANT)
    Q_PROPERTY(QString productName READ productName CONSTANT)
    // "1.0.6 (8)"
    Q_PROPERTY(QString versionText READ versionText CONSTANT)

public:
    enum class Activation {
        // Runs the selected platform's connector and refreshes every 2 seconds.
        run,
        // Only settings, installers and the update check: for one-shot commands beside a running
        // connector, which must not be disturbed.
        actionsOnly,
    };

    explicit ConnectorModel(ConnectorEnvironment environment, Activation activation = Activation::run,
                            QObject *parent = nullptr);
    ~ConnectorModel() override;

    DJPlatform selectedPlatform() const { return m_selectedPlatform; }
    DeckSide selectedTestDeck() const { return m_selectedTestDeck; }
    void setSelectedTestDeck(DeckSide deck);
    QString serverStatus() const { return m_serverStatus; }
    QString pairingCode() const { return m_pairingCode; }
    QImage pairingQRCode() const { return m_pairingQRCode; }
    QString pairingPayload() const { return m_lastPairingPayload.value_or(QString()); }
    int pairedDevices() const { return m_pairedDevices; }
    QVariantList devices() const { return m_devices; }
    int connectedDevices() const { return m_connectedDevices; }
    QVariantList activityEntries() const { return m_activityEntries; }
    QString activityLogFolder() const;
    QString activityLogWarning() const { return m_activityLogWarning; }
    QString remoteAddress() const { return m_remoteAddress; }
    bool djSoftwareRunning() const { return m_djSoftwareRunning; }
    bool mappingInstalled() const { return m_mappingInstalled; }
    QString midiError() const { return m_midiError.value_or(QString()); }
    QString lastCommand() const { return m_lastCommand; }
    QString leftState() const { return m_leftState; }
    QString rightState() const { return m_rightState; }
    bool deckStateReported() const { return m_deckStateReported; }
    bool djSoftwareAnswering() const { return m_djSoftwareAnswering; }
    QString weddingScript() const { return m_weddingScript; }
    void setWeddingScript(const QString &script);
    QString settingsWarning() const { return m_settingsWarning; }
    QString updateMessage() const { return m_updateMessage; }
    QUrl downloadUpdateURL() const { return m_downloadUpdateURL; }
    bool isCheckingForUpdates() const { return m_isCheckingForUpdates; }
    QUrl supportURL() const;
    QString productName() const;
    QString versionText() const;

    void choosePlatform(DJPlatform platform);
    // Stores the choice where the next start reads it, as choosing it in the window does.
    static void persistSelectedPlatform(QSettings &settings, DJPlatform platform);
    void sendTestCommand(RemoteCommand command);
    void sendSeratoMappingPulse(RemoteCommand command, DeckSide deck);
    // The install action of the selected platform; true when it succeeded.
    bool installSelectedPlatformMapping();

    // The window's actions take raw values ("serato", "play", "left"); unknown values do nothing.
    Q_INVOKABLE void choosePlatform(const QString &platform);
    Q_INVOKABLE void sendTestCommand(const QString &command);
    Q_INVOKABLE void sendSeratoMappingPulse(const QString &command, const QString &deck);
    Q_INVOKABLE void saveWeddingScript();
    Q_INVOKABLE void resetPairing();
    Q_INVOKABLE void forgetDevice(const QString &id);
    Q_INVOKABLE void installVirtualDJMapping();
    Q_INVOKABLE void installSeratoMapping();
    Q_INVOKABLE void copyAddress();
    Q_INVOKABLE void launchDJSoftware();
    // Returns at once; updateCheckFinished reports the end.
    Q_INVOKABLE void checkForUpdates();

Q_SIGNALS:
    void selectedPlatformChanged();
    void selectedTestDeckChanged();
    void serverStatusChanged();
    void pairingCodeChanged();
    void pairingQRCodeChanged();
    void pairedDevicesChanged();
    void devicesChanged();
    void activityEntriesChanged();
    void activityLogWarningChanged();
    void remoteAddressChanged();
    void djSoftwareRunningChanged();
    void mappingInstalledChanged();
    void midiErrorChanged();
    void lastCommandChanged();
    void leftStateChanged();
    void rightStateChanged();
    void deckStateReportedChanged();
    void djSoftwareAnsweringChanged();
    void weddingScriptChanged();
    void settingsWarningChanged();
    void updateMessageChanged();
    void downloadUpdateURLChanged();
    void isCheckingForUpdatesChanged();
    void updateCheckFinished(bool succeeded);

private:
    QString selectedPlatformRaw() const { return rawValue(m_selectedPlatform); }
    QString selectedPlatformDisplayName() const { return displayName(m_selectedPlatform); }
    QString selectedPlatformShortName() const { return shortName(m_selectedPlatform); }
    QString selectedTestDeckRaw() const { return rawValue(m_selectedTestDeck); }
    void setSelectedTestDeckRaw(const QString &deck);

    void activateSelectedPlatform();
    void refreshStatus();
    void refreshDevices();
    void listenToActivityLog();
    void refreshActivityEntries();
    // Keeps an event of the window or the connector itself in the activity log.
    void recordActivity(const QString &kind, const QString &message, const QString &device) const;
    void recordMidiState();
    void refreshPairingQRCode();
    void refreshMappingStatus();
    bool installVirtualDJMappingReporting();
    bool installSeratoMappingReporting();
    void finishUpdateCheck(const std::optional<QByteArray> &body);

    // Stores the value and notifies, also when it is equal: observers re-read on every refresh.
    template<typename T> void assign(T &field, const T &value, void (ConnectorModel::*changed)())
    {
        field = value;
        Q_EMIT(this->*changed)();
    }

    void setServerStatus(const QString &value);
    void setPairingCode(const QString &value);
    void setPairingQRCode(const QImage &value);
    void setPairedDevices(int value);
    void setRemoteAddress(const QString &value);
    void setDJSoftwareRunning(bool value);
    void setMappingInstalled(bool value);
    void setMidiError(const std::optional<QString> &value);
    void setLastCommand(const QString &value);
    void setLeftState(const QString &value);
    void setRightState(const QString &value);
    void setSettingsWarning(const QString &value);
    void setDeckStateReported(bool value);
    void setDJSoftwareAnswering(bool value);
    void setUpdateMessage(const QString &value);
    void setDownloadUpdateURL(const QUrl &value);
    void setIsCheckingForUpdates(bool value);

    ConnectorEnvironment m_environment;
    DJPlatform m_selectedPlatform = DJPlatform::serato;
    DeckSide m_selectedTestDeck = DeckSide::left;
    QString m_serverStatus;
    QString m_pairingCode;
    QImage m_pairingQRCode;
    int m_pairedDevices = 0;
    QVariantList m_devices;
    int m_connectedDevices = 0;
    QVariantList m_activityEntries;
    QString m_activityLogWarning;
    std::optional<QString> m_recordedMidiState;
    QString m_remoteAddress;
    bool m_djSoftwareRunning = false;
    bool m_mappingInstalled = false;
    std::optional<QString> m_midiError;
    QString m_lastCommand;
    QString m_leftState;
    QString m_rightState;
    bool m_deckStateReported = false;
    bool m_djSoftwareAnswering = false;
    QString m_weddingScript;
    QString m_settingsWarning;
    QString m_updateMessage;
    QUrl m_downloadUpdateURL;
    bool m_isCheckingForUpdates = false;

    std::unique_ptr<ConnectorRuntime> m_runtime;
    QTimer m_timer;
    std::optional<QString> m_lastPairingPayload;
    QString m_lastLoadedWeddingScript;
    UpdateChecker *m_updateChecker = nullptr;
};
