#include "app/connectormodel.h"
#include "support/connectorprocess.h"
#include "support/connectortestenvironment.h"
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

using namespace Qt::StringLiterals;

namespace {

const QString kGreen = QColor::fromRgbF(0.12f, 0.67f, 0.39f).name();
const QString kPurple = QColor::fromRgbF(0.52f, 0.3f, 0.94f).name();
const QString kGold = QColor::fromRgbF(0.95f, 0.73f, 0.2f).name();
const QString kRed = QColor::fromRgbF(0.86f, 0.2f, 0.22f).name();

} // namespace

// The window over a real model on a temporary home with recording MIDI outputs and loopback
// listeners, driven by clicks the way a DJ drives it, read the way the DJ reads it.
class ConnectorWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_environment = std::make_unique<ConnectorTestEnvironment>();
        m_modelEnvironment = m_environment->make();
        // A binding that throws or an undefined value would otherwise only print a line.
        QTest::failOnWarning(QRegularExpression(u"\\.qml:\\d+"_s));
    }

    void cleanup()
    {
        // Items hand their scene-graph textures back at the next frame, which a window destroyed
        // with them never draws: take the items down and draw once before the window goes.
        if (m_window) {
            delete item(u"connectorView"_s);
            m_window->grabWindow();
        }
        m_window.reset();
        m_engine.reset();
        m_model.reset();
        m_environment.reset();
    }

    void setupCard_followsModeInstallAndDJSoftware()
    {
        openWindow();
        QCOMPARE(text(u"setupStep1"_s),
                 u"Click Install Preset to add Play/Pause, Advance, Stop, and Load Track for both decks."_s);
        QCOMPARE(text(u"openButton"_s) + text(u"djSoftwareText"_s), u"OPEN SERATODJ SOFTWARE CLOSED"_s);
        QVERIFY(item(u"openGuideButton"_s)->isVisible());
        click(u"modePicker.virtualDJ"_s);
        QTRY_COMPARE(text(u"setupStep1"_s), u"Install the included VirtualDJ controller definition and mapper."_s);
        QCOMPARE(text(u"setupStep2"_s), u"Quit and reopen VirtualDJ once after installation."_s);
        QCOMPARE(text(u"openButton"_s), u"OPEN VIRTUALDJ"_s);
        QVERIFY(!item(u"openGuideButton"_s)->isVisible());
        m_environment->runningApplications->set({{7, u"VirtualDJ"_s, QString()}});
        QTRY_COMPARE(text(u"djSoftwareText"_s), u"DJ SOFTWARE OPEN"_s);

        for (const QString &platform : {u"virtualDJ"_s, u"serato"_s}) {
            click(u"modePicker."_s + platform);
            const QString words = platform == u"serato"_s ? u"PRESET "_s : u"MAPPING "_s;
            QTRY_COMPARE(text(u"installButton"_s) + u' ' + color(u"installButton"_s, "tint"),
                         u"INSTALL "_s + words + kPurple);
            click(u"installButton"_s);
            QTRY_COMPARE(text(u"installButton"_s) + u' ' + color(u"installButton"_s, "tint"),
                         u"REINSTALL "_s + words + kGreen);
        }
    }

    void testButton_swapsPlayAndPauseWithSelectedDeck()
    {
        openWindow();
        const auto shown = [this] {
            return m_model->leftState() + u' ' + text(u"testButtonPlayPause"_s) + u' '
                   + color(u"testButtonPlayPause"_s, "fill");
        };
        QCOMPARE(shown(), u"stopped Play "_s + kGreen);
        click(u"testButtonPlayPause"_s);
        QCOMPARE(shown(), u"playing Pause "_s + kGold);
        click(u"deckPicker.right"_s);
        QCOMPARE(shown(), u"playing Play "_s + kGreen);
        // Back on the playing deck the swapped button sends pause.
        click(u"deckPicker.left"_s);
        click(u"testButtonPlayPause"_s);
        QCOMPARE(shown(), u"paused Play "_s + kGreen);
    }

    // Collapsed every time it opens, also after it was left expanded; a mapping button there sends
    // exactly the note Serato learns for that deck's control.
    void guide_opensCollapsedAndSendsMappingNotes()
    {
        openWindow();
        const std::shared_ptr<MIDIMessageLog> log = m_environment->midiLogs.at(DJPlatform::serato);
        for (int opening = 0; opening < 2; ++opening) {
            click(u"openGuideButton"_s);
            QTRY_VERIFY(opened(u"seratoGuideSheet"_s));
            QVERIFY(!item(u"mappingColumnRight"_s)->isVisible());
            click(u"manualFallbackToggle"_s);
            QTRY_COMPARE(text(u"mappingColumnRight.load"_s), u"MAP LOAD TRACK"_s);
            const std::size_t before = log->count();
            click(u"mappingColumnRight.load"_s);
            QVERIFY(log->waitForCount(before + 2));
            QCOMPARE(log->bytes().at(before), (MIDIMessageLog::Bytes{0x9F, 89, 127}));
            QCOMPARE(log->bytes().at(before + 1), (MIDIMessageLog::Bytes{0x8F, 89, 0}));
            click(u"guideDoneButton"_s);
            QTRY_VERIFY(!opened(u"seratoGuideSheet"_s));
        }
    }

    void settings_checkForUpdatesDisabledWhileCheckRuns()
    {
        // Accepts the check's request and holds it, so the window can be looked at mid-check.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        m_modelEnvironment.updateManifestURL = QUrl(u"http://127.0.0.1:%1/m.json"_s.arg(server.serverPort()));
        m_modelEnvironment.updateTimeoutMs = 60'000;
        openSettings();
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

    void midiLine_showsReadinessDeckReportsOrError_data()
    {
        QTest::addColumn<bool>("midiFails");
        QTest::addColumn<bool>("reporting"); // the DJ software reports the left deck playing
        QTest::newRow("ready") << false << false;
        QTest::newRow("ready, reporting") << false << true;
        QTest::newRow("failed") << true << false;
    }

    void midiLine_showsReadinessDeckReportsOrError()
    {
        QFETCH(bool, midiFails);
        QFETCH(bool, reporting);
        if (midiFails) {
            m_modelEnvironment.makeTransport = [](DJPlatform platform) {
                const MIDIOpenFailure failure{u"ALSA"_s, MIDIOpenFailure::Stage::client, -2};
                return RecordingMIDIOutput::transport(platform, failure).transport;
            };
        }
        openWindow();
        if (reporting)
            m_environment->midiInputs.at(DJPlatform::serato)->send({0x9F, 80, 127});
        const QString answer = reporting ? u"Serato DJ Pro is sending deck state."_s
                                         : u"No deck state from Serato DJ Pro yet: reinstall the preset and "
                                           u"enable the device's MIDI output."_s;
        QTRY_COMPARE(text(u"midiLineText"_s),
                     midiFails ? u"ALSA could not start (error -2)."_s : u"Virtual MIDI device ready. "_s + answer);
        QCOMPARE(color(u"midiLineText"_s) + color(u"statusDot"_s), midiFails ? kRed + kRed : kGreen + kGreen);
        QCOMPARE(text(u"expectedState"_s), reporting ? u"Reported by Serato DJ Pro: left playing, right stopped"_s
                                                     : u"Expected state: left stopped, right stopped"_s);
    }

    void statusBar_showsSettingsWarningUntilAWriteLands()
    {
        const QString folder = m_environment->fixture.writeFile(u"not-a-folder"_s, "x");
        m_modelEnvironment.settings = std::make_shared<QSettings>(folder + u"/settings.ini"_s, QSettings::IniFormat);
        openWindow();
        QVERIFY(item(u"settingsWarning"_s)->isVisible() && !item(u"lastCommand"_s)->isVisible());
        QVERIFY(text(u"settingsWarning"_s).startsWith(u"Settings cannot be saved: "_s + folder));
        QCOMPARE(color(u"settingsWarning"_s), kRed);
        QVERIFY(QFile::remove(folder) && QDir().mkdir(folder));
        m_model->saveWeddingScript();
        QVERIFY(!item(u"settingsWarning"_s)->isVisible() && item(u"lastCommand"_s)->isVisible());
    }

    // Closing the window must never stop the connector by itself: a DJ may close it mid-event.
    // Quitting asks first only while a phone would lose its connector.
    void leaving_keepsServingAndAsksWhileDevicesArePaired()
    {
        QTcpServer probe; // a port the system just handed out as free
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        m_modelEnvironment.listenPort = [port](DJPlatform) { return port; };
        openSettings();
        QSignalSpy quits(&desktopSession(*m_window), &DesktopSession::quitRequested);
        click(u"quitButton"_s);
        QCOMPARE(quits.count(), 1);
        QVERIFY(!opened(u"quitConfirmation"_s));
        click(u"settingsDoneButton"_s);

        // The offscreen platform has no tray, so closing asks; keeping it running hides the window.
        m_window->close();
        QTRY_VERIFY(opened(u"keepRunningQuestion"_s));
        QVERIFY(!item(u"keepRunningQuestion.warning"_s)->isVisible());
        click(u"keepRunningQuestion.accept"_s);
        QTRY_VERIFY(!m_window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(m_model->serverStatus().startsWith(u"Ready"_s), 10000);
        QVERIFY(!pairOverLoopback(port, m_model->pairingCode()).isEmpty());
        QTRY_COMPARE(m_model->pairedDevices(), 1);
        QCOMPARE(quits.count(), 1);

        // A later launch brings it back; now quitting asks, and says what it costs.
        desktopSession(*m_window).showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        openSettings();
        click(u"quitButton"_s);
        QTRY_VERIFY(opened(u"quitConfirmation"_s));
        click(u"quitConfirmation.cancel"_s);
        QTRY_VERIFY(!opened(u"quitConfirmation"_s));
        QCOMPARE(quits.count(), 1);
        click(u"quitButton"_s);
        QTRY_VERIFY(opened(u"quitConfirmation"_s));
        click(u"quitConfirmation.accept"_s);
        QCOMPARE(quits.count(), 2);
        m_window->close();
        QTRY_VERIFY(opened(u"keepRunningQuestion"_s));
        QVERIFY(item(u"keepRunningQuestion.warning"_s)->isVisible());
        click(u"keepRunningQuestion.cancel"_s);
        QCOMPARE(quits.count(), 3);
    }

private:
    // Tall enough that no click lands in the scrolled-away part.
    void openWindow()
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

    void openSettings()
    {
        if (!m_window)
            openWindow();
        click(u"settingsButton"_s);
        QTRY_VERIFY(opened(u"settingsSheet"_s));
    }

    // Searches the items on screen, sheets included: delegates of a Repeater have no QObject parent.
    QQuickItem *item(const QString &objectName) const
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

    QString text(const QString &objectName) const { return item(objectName)->property("text").toString(); }
    QString color(const QString &objectName, const char *property = "color") const
    {
        return item(objectName)->property(property).value<QColor>().name();
    }
    bool opened(const QString &sheet) const { return m_window->findChild<QObject *>(sheet)->property("opened").toBool(); }

    void click(const QString &objectName)
    {
        QQuickItem *target = item(objectName);
        QVERIFY2(target && target->isVisible(), qPrintable(objectName));
        const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(m_window.get(), Qt::LeftButton, {}, centre.toPoint());
    }

    std::unique_ptr<ConnectorTestEnvironment> m_environment;
    ConnectorEnvironment m_modelEnvironment;
    std::unique_ptr<ConnectorModel> m_model;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQuickWindow> m_window;
};

QTEST_MAIN(ConnectorWindowTest)
#include "tst_connectorwindow.moc"
