#include "app/connectormodel.h"
#include "support/connectortestenvironment.h"
#include "support/recordingmidioutput.h"
#include "ui/connectorwindow.h"
#include "ui/desktopsession.h"

#include <QDir>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kGreen = QColor::fromRgbF(0.12f, 0.67f, 0.39f).name();
const QString kPurple = QColor::fromRgbF(0.52f, 0.3f, 0.94f).name();
const QString kGold = QColor::fromRgbF(0.95f, 0.73f, 0.2f).name();
const QString kRed = QColor::fromRgbF(0.86f, 0.2f, 0.22f).name();

} // namespace

// The window over a real model on a temporary home with recording MIDI outputs and test ports,
// driven by clicks the way a DJ drives it, read the way the DJ reads it.
class ConnectorWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void setupCard_followsModeInstallAndDJSoftware();
    void testButton_swapsPlayAndPauseWithSelectedDeck();
    void guide_opensCollapsedGrowsAndSendsMappingNotes();
    void settings_checkForUpdatesDisabledWhileCheckRuns();
    void midiLine_showsReadinessDeckReportsOrError_data();
    void midiLine_showsReadinessDeckReportsOrError();
    void statusBar_showsSettingsWarningUntilAWriteLands();
    void closing_withoutTrayAsksAndKeepsServing();
    void quitButton_confirmsOnlyWhileDevicesArePaired_data();
    void quitButton_confirmsOnlyWhileDevicesArePaired();

private:
    void openWindow();
    QQuickItem *item(const QString &objectName) const;
    QString text(const QString &objectName) const { return item(objectName)->property("text").toString(); }
    QString color(const QString &objectName, const char *property) const
    {
        return item(objectName)->property(property).value<QColor>().name();
    }
    void click(const QString &objectName);
    void listenOnFreePort();
    int pairOverLoopback() const;

    std::unique_ptr<ConnectorTestEnvironment> m_environment;
    ConnectorEnvironment m_modelEnvironment;
    std::unique_ptr<ConnectorModel> m_model;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQuickWindow> m_window;
    quint16 m_listenPort = 0;
};

void ConnectorWindowTest::init()
{
    m_environment = std::make_unique<ConnectorTestEnvironment>();
    m_modelEnvironment = m_environment->make();
    // A binding that throws or an undefined value would otherwise only print a line.
    QTest::failOnWarning(QRegularExpression(u"\\.qml:\\d+"_s));
}

void ConnectorWindowTest::cleanup()
{
    // Items hand their scene-graph textures back at the next frame, which a window destroyed with
    // them never draws: take the items down and draw once before the window goes.
    if (m_window) {
        delete item(u"connectorView"_s);
        m_window->grabWindow();
    }
    m_window.reset();
    m_engine.reset();
    m_model.reset();
    m_environment.reset();
}

// Tall enough that no click lands in the scrolled-away part.
void ConnectorWindowTest::openWindow()
{
    m_model = std::make_unique<ConnectorModel>(std::move(m_modelEnvironment));
    m_engine = std::make_unique<QQmlEngine>();
    prepareConnectorEngine(*m_engine, *m_model);
    m_window = createConnectorWindow(*m_engine, *m_model);
    QVERIFY(m_window);
    m_window->resize(1080, 1300);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

// Searches the items on screen, sheets included: delegates of a Repeater have no QObject parent.
QQuickItem *ConnectorWindowTest::item(const QString &objectName) const
{
    QList<QQuickItem *> pending{m_window->contentItem()};
    while (!pending.isEmpty()) {
        QQuickItem *candidate = pending.takeFirst();
        if (candidate->objectName() == objectName)
            return candidate;
        pending << candidate->childItems();
    }
    return nullptr;
}

void ConnectorWindowTest::click(const QString &objectName)
{
    QQuickItem *target = item(objectName);
    QVERIFY2(target && target->isVisible(), qPrintable(objectName));
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(m_window.get(), Qt::LeftButton, {}, centre.toPoint());
}

// The model's listener gets a port known to the test, one the system just handed out as free.
void ConnectorWindowTest::listenOnFreePort()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    m_listenPort = probe.serverPort();
    m_modelEnvironment.listenPort = [port = m_listenPort](DJPlatform) { return port; };
}

// Pairs a device through the model's listener, as the phone does; the answer's HTTP status.
int ConnectorWindowTest::pairOverLoopback() const
{
    QTcpSocket socket;
    socket.connectToHost(u"127.0.0.1"_s, m_listenPort);
    if (!socket.waitForConnected(10000))
        return 0;
    const QByteArray body = R"({"code":")" + m_model->pairingCode().toLatin1() + R"("})";
    socket.write("POST /api/pair HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray answer;
    while (!answer.contains("\r\n") && socket.waitForReadyRead(10000))
        answer += socket.readAll();
    return answer.split(' ').value(1).toInt();
}

void ConnectorWindowTest::setupCard_followsModeInstallAndDJSoftware()
{
    openWindow();
    QCOMPARE(text(u"setupStep1"_s),
             u"Click Install Preset to add Play/Pause, Advance, Stop, and Load Track for both decks."_s);
    QCOMPARE(text(u"openButton"_s), u"OPEN SERATO"_s);
    QVERIFY(item(u"openGuideButton"_s)->isVisible());
    QCOMPARE(text(u"djSoftwareText"_s), u"DJ SOFTWARE CLOSED"_s);

    click(u"modePicker.virtualDJ"_s);
    QTRY_COMPARE(text(u"setupStep1"_s),
                 u"Install the included VirtualDJ controller definition and mapper."_s);
    QCOMPARE(text(u"setupStep2"_s), u"Quit and reopen VirtualDJ once after installation."_s);
    QCOMPARE(text(u"setupStep3"_s), u"Test both decks below before the event."_s);
    QCOMPARE(text(u"openButton"_s), u"OPEN VIRTUALDJ"_s);
    QVERIFY(!item(u"openGuideButton"_s)->isVisible());
    m_environment->runningApplications->set({{7, u"VirtualDJ"_s, QString()}});
    QTRY_COMPARE(text(u"djSoftwareText"_s), u"DJ SOFTWARE OPEN"_s);

    for (const QString &platform : {u"virtualDJ"_s, u"serato"_s}) {
        click(u"modePicker."_s + platform);
        const QString words = platform == u"serato"_s ? u"PRESET"_s : u"MAPPING"_s;
        QTRY_COMPARE(text(u"installButton"_s), u"INSTALL "_s + words);
        QCOMPARE(color(u"installButton"_s, "tint"), kPurple);
        click(u"installButton"_s);
        QTRY_COMPARE(text(u"installButton"_s), u"REINSTALL "_s + words);
        QCOMPARE(color(u"installButton"_s, "tint"), kGreen);
    }
}

void ConnectorWindowTest::testButton_swapsPlayAndPauseWithSelectedDeck()
{
    openWindow();
    const auto button = [this] {
        return text(u"testButtonPlayPause"_s) + u' ' + color(u"testButtonPlayPause"_s, "fill");
    };
    const QString play = u"Play "_s + kGreen, pause = u"Pause "_s + kGold;
    QCOMPARE(button(), play);
    click(u"testButtonPlayPause"_s);
    QCOMPARE(m_model->leftState(), u"playing"_s);
    QCOMPARE(button(), pause);
    click(u"deckPicker.right"_s);
    QCOMPARE(button(), play);
    // Back on the playing deck the swapped button sends pause.
    click(u"deckPicker.left"_s);
    QCOMPARE(button(), pause);
    click(u"testButtonPlayPause"_s);
    QCOMPARE(m_model->leftState(), u"paused"_s);
    QCOMPARE(button(), play);
}

// Collapsed every time it opens, also after it was left expanded; a mapping button there sends
// exactly the note Serato learns for that deck's control.
void ConnectorWindowTest::guide_opensCollapsedGrowsAndSendsMappingNotes()
{
    openWindow();
    QObject *sheet = m_window->findChild<QObject *>(u"seratoGuideSheet"_s);
    const std::shared_ptr<MIDIMessageLog> log = m_environment->midiLogs.at(DJPlatform::serato);
    for (int opening = 0; opening < 2; ++opening) {
        click(u"openGuideButton"_s);
        QTRY_VERIFY(sheet->property("opened").toBool());
        QCOMPARE(sheet->property("height").toReal(), 620.0);
        QVERIFY(!item(u"mappingColumnRight"_s)->isVisible());
        click(u"manualFallbackToggle"_s);
        QTRY_COMPARE(sheet->property("height").toReal(), 750.0);
        QTRY_VERIFY(item(u"mappingColumnRight.load"_s)->isVisible());
        QCOMPARE(text(u"mappingColumnRight.load"_s), u"MAP LOAD TRACK"_s);
        const std::size_t before = log->count();
        click(u"mappingColumnRight.load"_s);
        QVERIFY(log->waitForCount(before + 2));
        QCOMPARE(log->bytes().at(before), (MIDIMessageLog::Bytes{0x9F, 89, 127}));
        QCOMPARE(log->bytes().at(before + 1), (MIDIMessageLog::Bytes{0x8F, 89, 0}));
        click(u"guideDoneButton"_s);
        QTRY_VERIFY(!sheet->property("visible").toBool());
    }
}

void ConnectorWindowTest::settings_checkForUpdatesDisabledWhileCheckRuns()
{
    // Accepts the check's request and holds it, so the window can be looked at mid-check.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    m_modelEnvironment.updateManifestURL = QUrl(u"http://127.0.0.1:%1/m.json"_s.arg(server.serverPort()));
    m_modelEnvironment.updateTimeoutMs = 60'000;
    openWindow();
    click(u"settingsButton"_s);
    QTRY_VERIFY(m_window->findChild<QObject *>(u"settingsSheet"_s)->property("opened").toBool());
    QVERIFY(!item(u"downloadUpdateButton"_s)->isVisible());
    click(u"checkForUpdatesButton"_s);
    QVERIFY(!item(u"checkForUpdatesButton"_s)->isEnabled());
    QCOMPARE(text(u"updateMessage"_s), u"Checking for updates…"_s);
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *request = server.nextPendingConnection();
    // A click on the disabled button starts no second check.
    click(u"checkForUpdatesButton"_s);
    QTest::qWait(200);
    QVERIFY(!server.hasPendingConnections());

    const QByteArray body = R"({"version":"1.0.7","build":9,"download_url":"https://t.example/d"})";
    request->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size())
                   + "\r\nConnection: close\r\n\r\n" + body);
    request->disconnectFromHost();
    QTRY_VERIFY(item(u"checkForUpdatesButton"_s)->isEnabled());
    QCOMPARE(text(u"updateMessage"_s), u"Version 1.0.7 is available."_s);
    QVERIFY(item(u"downloadUpdateButton"_s)->isVisible());
}

void ConnectorWindowTest::midiLine_showsReadinessDeckReportsOrError_data()
{
    QTest::addColumn<bool>("midiFails");
    QTest::addColumn<bool>("reporting"); // the DJ software reports the left deck playing
    QTest::newRow("ready") << false << false;
    QTest::newRow("ready, reporting") << false << true;
    QTest::newRow("failed") << true << false;
}

void ConnectorWindowTest::midiLine_showsReadinessDeckReportsOrError()
{
    QFETCH(bool, midiFails);
    QFETCH(bool, reporting);
    if (midiFails) {
        m_modelEnvironment.makeTransport = [](DJPlatform platform) {
            return RecordingMIDIOutput::transport(
                       platform, MIDIOpenFailure{u"ALSA"_s, MIDIOpenFailure::Stage::client, -2})
                .transport;
        };
    }
    openWindow();
    if (reporting)
        m_environment->midiInputs.at(DJPlatform::serato)->send({0x9F, 80, 127});
    const QString answer = reporting
                               ? u"Serato DJ Pro is sending deck state."_s
                               : u"No deck state from Serato DJ Pro yet: reinstall the preset and enable "
                                 u"the device's MIDI output."_s;
    QTRY_COMPARE(text(u"midiLineText"_s), midiFails ? u"ALSA could not start (error -2)."_s
                                                    : u"Virtual MIDI device ready. "_s + answer);
    const QString expected = midiFails ? kRed : kGreen;
    QCOMPARE(color(u"midiLineText"_s, "color"), expected);
    QCOMPARE(color(u"statusDot"_s, "color"), expected);
    QCOMPARE(text(u"expectedState"_s), reporting ? u"Reported by Serato DJ Pro: left playing, right stopped"_s
                                                 : u"Expected state: left stopped, right stopped"_s);
}

void ConnectorWindowTest::statusBar_showsSettingsWarningUntilAWriteLands()
{
    const QString folder = m_environment->fixture.writeFile(u"not-a-folder"_s, "x");
    m_modelEnvironment.settings =
        std::make_shared<QSettings>(folder + u"/settings.ini"_s, QSettings::IniFormat);
    openWindow();
    QVERIFY(item(u"settingsWarning"_s)->isVisible() && !item(u"lastCommand"_s)->isVisible());
    QCOMPARE(text(u"settingsWarning"_s), m_model->settingsWarning());
    QVERIFY(text(u"settingsWarning"_s).startsWith(u"Settings cannot be saved: "_s + folder));
    QCOMPARE(color(u"settingsWarning"_s, "color"), kRed);

    QVERIFY(QFile::remove(folder) && QDir().mkdir(folder));
    m_model->saveWeddingScript();
    QVERIFY(!item(u"settingsWarning"_s)->isVisible() && item(u"lastCommand"_s)->isVisible());
}

// Closing the window must never stop the connector by itself: a DJ may close it mid-event.
void ConnectorWindowTest::closing_withoutTrayAsksAndKeepsServing()
{
    listenOnFreePort();
    openWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_model->serverStatus().startsWith(u"Ready"_s), 10000);
    DesktopSession &session = desktopSession(*m_window);
    QSignalSpy quits(&session, &DesktopSession::quitRequested);
    QObject *question = m_window->findChild<QObject *>(u"keepRunningQuestion"_s);

    // The offscreen platform has no tray, so closing asks.
    m_window->close();
    QTRY_VERIFY(question->property("opened").toBool());
    QVERIFY(m_window->isVisible());
    QVERIFY(!item(u"keepRunningQuestion.warning"_s)->isVisible());
    click(u"keepRunningQuestion.accept"_s);
    QTRY_VERIFY(!m_window->isVisible());
    QCOMPARE(pairOverLoopback(), 200);
    QTRY_COMPARE(m_model->pairedDevices(), 1);
    QCOMPARE(quits.count(), 0);

    // A later launch brings it back; closing it again with a paired device says what quitting costs.
    session.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->close();
    QTRY_VERIFY(question->property("opened").toBool());
    QVERIFY(item(u"keepRunningQuestion.warning"_s)->isVisible());
    click(u"keepRunningQuestion.cancel"_s);
    QCOMPARE(quits.count(), 1);
}

void ConnectorWindowTest::quitButton_confirmsOnlyWhileDevicesArePaired_data()
{
    QTest::addColumn<bool>("paired");
    QTest::newRow("nothing paired") << false;
    QTest::newRow("device paired") << true;
}

void ConnectorWindowTest::quitButton_confirmsOnlyWhileDevicesArePaired()
{
    QFETCH(bool, paired);
    listenOnFreePort();
    openWindow();
    if (paired) {
        QTRY_VERIFY_WITH_TIMEOUT(m_model->serverStatus().startsWith(u"Ready"_s), 10000);
        QCOMPARE(pairOverLoopback(), 200);
        QTRY_COMPARE(m_model->pairedDevices(), 1);
    }
    QSignalSpy quits(&desktopSession(*m_window), &DesktopSession::quitRequested);
    QObject *confirmation = m_window->findChild<QObject *>(u"quitConfirmation"_s);

    click(u"settingsButton"_s);
    QTRY_VERIFY(m_window->findChild<QObject *>(u"settingsSheet"_s)->property("opened").toBool());
    click(u"quitButton"_s);
    if (paired) {
        QTRY_VERIFY(confirmation->property("opened").toBool());
        QCOMPARE(quits.count(), 0);
        click(u"quitConfirmation.cancel"_s);
        QTRY_VERIFY(!confirmation->property("visible").toBool());
        QCOMPARE(quits.count(), 0);
        click(u"quitButton"_s);
        QTRY_VERIFY(confirmation->property("opened").toBool());
        click(u"quitConfirmation.accept"_s);
    }
    QCOMPARE(quits.count(), 1);
    QVERIFY(!confirmation->property("visible").toBool());
}

QTEST_MAIN(ConnectorWindowTest)
#include "tst_connectorwindow.moc"
