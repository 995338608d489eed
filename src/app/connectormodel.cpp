#include "app/connectormodel.h"

#include "app/connectorruntime.h"
#include "app/djsoftware.h"
#include "app/pairingpayload.h"
#include "app/qrcodeimage.h"
#include "app/updatechecker.h"
#include "app/updatemanifest.h"
#include "core/activitylog.h"
#include "core/connectorconstants.h"
#include "core/mainthread.h"
#include "installers/installererror.h"
#include "installers/seratopresetinstaller.h"
#include "installers/virtualdjmappinginstaller.h"

#include <QPointer>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

const QString kSelectedPlatformKey = u"TarvikDJConnector.selectedPlatform"_s;
constexpr int kRefreshIntervalMs = 2000;

} // namespace

ConnectorModel::ConnectorModel(ConnectorEnvironment environment, Activation activation, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
    , m_serverStatus(u"Starting local connector…"_s)
    , m_pairingCode(u"------"_s)
    , m_remoteAddress(u"Finding this Mac…"_s)
    , m_lastCommand(u"Waiting for the iPhone or iPad"_s)
    , m_leftState(u"stopped"_s)
    , m_rightState(u"stopped"_s)
{
    m_updateChecker = new UpdateChecker(m_environment.updateManifestURL, m_environment.updateTimeoutMs, this);
    m_selectedPlatform =
        djPlatformFromRawValue(m_environment.settings->value(kSelectedPlatformKey).toString())
            .value_or(DJPlatform::serato);
    if (activation == Activation::actionsOnly)
        return;

    listenToActivityLog();
    activateSelectedPlatform();
    m_timer.setInterval(kRefreshIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &ConnectorModel::refreshStatus);
    m_timer.start();
}

ConnectorModel::~ConnectorModel()
{
    m_timer.stop();
    if (m_runtime)
        m_runtime->server->stop();
    m_runtime.reset();
    m_environment.settings->sync();
}

void ConnectorModel::activateSelectedPlatform()
{
    setServerStatus(u"Starting "_s + displayName(m_selectedPlatform) + u" mode…"_s);
    m_weddingScript.clear();
    Q_EMIT weddingScriptChanged();
    m_lastLoadedWeddingScript.clear();

    auto runtime = std::make_unique<ConnectorRuntime>();
    runtime->midi = m_environment.makeTransport(m_selectedPlatform);
    // The router writes the same file through a store of its own; this object stays on the main thread.
    runtime->router =
        std::make_shared<CommandRouter>(m_selectedPlatform, runtime->midi, m_environment.settings,
                                        m_environment.makeMonitor(m_selectedPlatform), m_environment.clock);
    RemoteServer::Options serverOptions;
    serverOptions.port = m_environment.listenPort(m_selectedPlatform);
    serverOptions.address = m_environment.listenAddress;
    serverOptions.clock = m_environment.clock;
    runtime->server = std::make_shared<RemoteServer>(m_selectedPlatform, runtime->router, serverOptions);
    m_runtime = std::move(runtime);

    QPointer<ConnectorModel> self(this);
    m_runtime->router->setOnStateChange([self](const QString &message) {
        if (!self)
            return;
        self->setLastCommand(message);
        self->refreshStatus();
    });
    m_runtime->router->setOnSettingsWarningChange([self] {
        if (self && self->m_runtime)
            self->setSettingsWarning(self->m_runtime->router->settingsWarning());
    });
    m_runtime->router->setOnDevicesChange([self] {
        if (self)
            self->refreshDevices();
    });
    if (m_environment.activityLog) {
        m_runtime->router->setOnActivity([log = m_environment.activityLog, clock = m_environment.clock](
                                             const QString &kind, const QString &message,
                                             const QString &device) {
            log->append({QDateTime::fromMSecsSinceEpoch(clock->nowMSecsSinceEpoch()), kind, message, device});
        });
    }
    m_runtime->router->listenToDeckReports();
    m_runtime->server->setOnStatus([self](const QString &status) {
        postToMainThread([self, status] {
            if (self)
                self->setServerStatus(status);
        });
    });
    m_runtime->server->start();
    refreshStatus();
}

void ConnectorModel::choosePlatform(DJPlatform platform)
{
    if (platform == m_selectedPlatform)
        return;
    const bool running = m_runtime != nullptr;
    if (m_runtime) {
        m_runtime->server->stop();
        m_runtime.reset();
    }
    m_selectedPlatform = platform;
    Q_EMIT selectedPlatformChanged();
    persistSelectedPlatform(*m_environment.settings, platform);
    if (running) {
        recordActivity(u"platform"_s, u"Switched to "_s + displayName(platform) + u" mode."_s, u"window"_s);
        m_recordedMidiState.reset();
        activateSelectedPlatform();
    } else {
        refreshMappingStatus();
    }
}

void ConnectorModel::persistSelectedPlatform(QSettings &settings, DJPlatform platform)
{
    settings.setValue(kSelectedPlatformKey, rawValue(platform));
    settings.sync();
}

void ConnectorModel::refreshStatus()
{
    if (!m_runtime)
        return;
    CommandRouter &router = *m_runtime->router;
    setPairingCode(router.pairingCode());
    setPairedDevices(router.pairedDeviceCount());
    refreshDevices();
    setLeftState(router.expectedState(DeckSide::left));
    setRightState(router.expectedState(DeckSide::right));
    setSettingsWarning(router.settingsWarning());
    setDeckStateReported(router.deckStateReported());
    setDJSoftwareAnswering(m_runtime->midi->hasHeardFromDJSoftware());

    const WeddingScriptSnapshot snapshot = router.weddingScriptSnapshot();
    // The editor follows the stored script only while the user has no unsaved edits.
    if (m_weddingScript == m_lastLoadedWeddingScript) {
        m_weddingScript = snapshot.text;
        Q_EMIT weddingScriptChanged();
    }
    m_lastLoadedWeddingScript = snapshot.text;

    setMidiError(m_runtime->midi->error());
    recordMidiState();
    if (const std::optional<QString> address = m_environment.localIPv4Address())
        setRemoteAddress(u"http://"_s + *address + u':' + QString::number(port(m_selectedPlatform)));
    refreshPairingQRCode();
    setDJSoftwareRunning(isDJSoftwareRunning(m_selectedPlatform, m_environment.runningApplications->list()));
    router.setDJSoftwareRunning(m_djSoftwareRunning);
    refreshMappingStatus();
}

void ConnectorModel::refreshPairingQRCode()
{
    const std::optional<QString> payload =
        ::pairingPayload(m_selectedPlatform, m_remoteAddress, m_pairingCode);
    if (!payload) {
        m_lastPairingPayload.reset();
        setPairingQRCode({});
        return;
    }
    if (m_lastPairingPayload == payload)
        return;
    m_lastPairingPayload = payload;
    setPairingQRCode(renderQRCodeImage(*payload));
}

void ConnectorModel::refreshMappingStatus()
{
    const InstallerLocations &locations = m_environment.installerLocations;
    setMappingInstalled(m_selectedPlatform == DJPlatform::serato
                            ? SeratoPresetInstaller::isInstalled(locations)
                            : VirtualDJMappingInstaller::isInstalled(locations));
}

void ConnectorModel::copyAddress()
{
    if (!m_remoteAddress.startsWith(u"http"_s) || !m_environment.copyToClipboard)
        return;
    m_environment.copyToClipboard(m_remoteAddress);
    setLastCommand(u"Connector address copied."_s);
}

void ConnectorModel::launchDJSoftware()
{
    const DJSoftwareIdentity identity = djSoftwareIdentity(m_selectedPlatform);
    ApplicationLauncher &launcher = *m_environment.launcher;
    std::optional<QString> location;
    for (const QString &identifier : identity.bundleIdentifiers) {
        location = launcher.locate(identifier);
        if (location)
            break;
    }
    if (!location && launcher.exists(identity.fallbackApplicationPath))
        location = identity.fallbackApplicationPath;
    if (!location) {
        setLastCommand(displayName(m_selectedPlatform) + u" was not found in Applications."_s);
        return;
    }
    QPointer<ConnectorModel> self(this);
    launcher.open(*location, [self](std::optional<QString> error) {
        if (self && error)
            self->setLastCommand(u"The DJ software could not open: "_s + *error);
    });
}

void ConnectorModel::checkForUpdates()
{
    setIsCheckingForUpdates(true);
    setUpdateMessage(u"Checking for updates…"_s);
    setDownloadUpdateURL({});
    QPointer<ConnectorModel> self(this);
    m_updateChecker->fetch([self](std::optional<QByteArray> body) {
        if (self)
            self->finishUpdateCheck(body);
    });
}

void ConnectorModel::finishUpdateCheck(const std::optional<QByteArray> &body)
{
    const std::optional<UpdateManifest> manifest = body ? UpdateManifest::decode(*body) : std::nullopt;
    if (manifest) {
        const UpdateVerdict verdict = judgeUpdate(*manifest, ConnectorConstants::build());
        setUpdateMessage(verdict.message);
        if (!verdict.downloadURL.isEmpty())
            setDownloadUpdateURL(verdict.downloadURL);
    } else {
        setUpdateMessage(u"Update information is not published yet."_s);
    }
    setIsCheckingForUpdates(false);
    Q_EMIT updateCheckFinished(manifest.has_value());
}

QUrl ConnectorModel::supportURL() const
{
    QUrl url = ConnectorConstants::supportPageURL();
    QUrlQuery query;
    query.addQueryItem(u"product"_s, ConnectorConstants::supportProduct());
    query.addQueryItem(u"version"_s, ConnectorConstants::version());
    query.addQueryItem(u"build"_s, ConnectorConstants::build());
    query.addQueryItem(u"source"_s, u"in-app"_s);
    url.setQuery(query);
    return url;
}

QString ConnectorModel::productName() const
{
    return ConnectorConstants::productName();
}

QString ConnectorModel::versionText() const
{
    return ConnectorConstants::version() + u" ("_s + ConnectorConstants::build() + u')';
}
