#include "app/connectormodel.h"
#include "midi/notemap.h"
#include "support/connectortestenvironment.h"
#include "ui/connectorwindow.h"
#include "ui/desktopsession.h"
#include "ui/icons.h"

#include <QDirIterator>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRawFont>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

const QString kGreen = QColor::fromRgbF(0.12f, 0.67f, 0.39f).name();
const QString kPurple = QColor::fromRgbF(0.52f, 0.3f, 0.94f).name();
const QString kGold = QColor::fromRgbF(0.95f, 0.73f, 0.2f).name();
const QString kRed = QColor::fromRgbF(0.86f, 0.2f, 0.22f).name();

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

    // What the setup card and status line read in each mode: fresh, or installed with the DJ software
    // open and reporting the left deck playing; and with the MIDI device and the settings file broken.
    void setupCard_followsModeInstallAndDJSoftware_data()
    {
        QTest::addColumn<DJPlatform>("platform");
        QTest::addColumn<bool>("installedAndOpen");
        QTest::addColumn<bool>("computerFails");
        // Open button, badge, install button and tint, MIDI line and its and the dot's colour, deck state.
        QTest::addColumn<QStringList>("shown");
        const QString ready = u"Virtual MIDI device ready. "_s;
        const QString silent = u"No deck state from Serato DJ Pro yet: reinstall the preset and enable the "
                               u"device's MIDI output."_s;
        const QString expected = u"Expected state: left stopped, right stopped"_s;
        QTest::newRow("Serato") << DJPlatform::serato << false << false
                                << QStringList{u"OPEN SERATO"_s, u"DJ SOFTWARE CLOSED"_s,
                                               u"INSTALL PRESET"_s + kPurple,
                                               ready + silent + kGreen + kGreen, expected};
        QTest::newRow("Serato installed, open")
            << DJPlatform::serato << true << false
            << QStringList{u"OPEN SERATO"_s, u"DJ SOFTWARE OPEN"_s, u"REINSTALL PRESET"_s + kGreen,
                           ready + u"Serato DJ Pro is sending deck state."_s + kGreen + kGreen,
                           u"Reported by Serato DJ Pro: left playing, right stopped"_s};
        QTest::newRow("VirtualDJ, MIDI and settings failed")
            << DJPlatform::virtualDJ << false << true
            << QStringList{u"OPEN VIRTUALDJ"_s, u"DJ SOFTWARE CLOSED"_s, u"INSTALL MAPPING"_s + kPurple,
                           u"ALSA could not start (error -2)."_s + kRed + kRed, expected};
        QTest::newRow("VirtualDJ installed, open")
            << DJPlatform::virtualDJ << true << false
            << QStringList{u"OPEN VIRTUALDJ"_s, u"DJ SOFTWARE OPEN"_s, u"REINSTALL MAPPING"_s + kGreen,
                           ready + u"VirtualDJ is sending deck state."_s + kGreen + kGreen,
                           u"Reported by VirtualDJ: left playing, right stopped"_s};
    }

    void setupCard_followsModeInstallAndDJSoftware()
    {
        QFETCH(DJPlatform, platform);
        QFETCH(bool, installedAndOpen);
        QFETCH(bool, computerFails);
        QFETCH(QStringList, shown);
        if (computerFails) {
            const QString folder = m_environment->fixture.writeFile(u"not-a-folder"_s, "x");
            m_modelEnvironment.settings =
                std::make_shared<QSettings>(folder + u"/settings.ini"_s, QSettings::IniFormat);
            m_modelEnvironment.makeTransport = [](DJPlatform platform) {
                const MIDIOpenFailure failure{u"ALSA"_s, MIDIOpenFailure::Stage::client, -2};
                return RecordingMIDIOutput::transport(platform, failure).transport;
            };
        }
        openWindow();
        click(platform == DJPlatform::serato ? u"modePicker.serato"_s : u"modePicker.virtualDJ"_s);
        if (installedAndOpen) {
            click(u"installButton"_s);
            m_environment->runningApplications->set({{7, displayName(platform), QString()}});
            m_environment->midiInputs.at(platform)->send(
                {0x90 | NoteMap::kChannel, NoteMap::note(platform, RemoteCommand::play, DeckSide::left),
                 127});
        }
        const auto reading = [this] {
            return QStringList{text(u"openButton"_s), text(u"djSoftwareText"_s),
                               text(u"installButton"_s) + color(u"installButton"_s, "tint"),
                               text(u"midiLineText"_s) + color(u"midiLineText"_s) + color(u"statusDot"_s),
                               text(u"expectedState"_s)};
        };
        QTRY_COMPARE(reading(), shown);
        // The status bar's red settings warning stands in for the last command while nothing can be saved.
        QCOMPARE(item(u"settingsWarning"_s)->isVisible(), computerFails);
        QCOMPARE(color(u"settingsWarning"_s), kRed);
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

    // Opens collapsed; a mapping button there sends exactly the note Serato learns for that deck's control.
    void guide_opensCollapsedAndSendsMappingNotes()
    {
        openWindow();
        const std::shared_ptr<MIDIMessageLog> log = m_environment->midiLogs.at(DJPlatform::serato);
        click(u"openGuideButton"_s);
        QTRY_VERIFY(opened(u"seratoGuideSheet"_s));
        QVERIFY(!item(u"mappingColumnRight"_s)->isVisible());
        click(u"manualFallbackToggle"_s);
        QTRY_COMPARE(text(u"mappingColumnRight.load"_s), u"MAP LOAD TRACK"_s);
        click(u"mappingColumnRight.load"_s);
        QVERIFY(log->waitForCount(2));
        QCOMPARE(log->bytes(), (std::vector<MIDIMessageLog::Bytes>{{0x9F, 89, 127}, {0x8F, 89, 0}}));
        click(u"guideDoneButton"_s);
        QTRY_VERIFY(!opened(u"seratoGuideSheet"_s));
    }

    void settings_checkForUpdatesDisabledWhileCheckRuns()
    {
        // Accepts the check's request and holds it, so the sheet can be read mid-check.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        m_modelEnvironment.updateManifestURL = QUrl(u"http://127.0.0.1:%1/m.json"_s.arg(server.serverPort()));
        m_modelEnvironment.updateTimeoutMs = 60'000;
        openWindow();
        click(u"settingsButton"_s);
        QTRY_VERIFY(opened(u"settingsSheet"_s));
        QVERIFY(!item(u"downloadUpdateButton"_s)->isVisible());
        click(u"checkForUpdatesButton"_s);
        QVERIFY(!item(u"checkForUpdatesButton"_s)->isEnabled());
        QTRY_VERIFY(server.hasPendingConnections());
        const QByteArray body = R"({"version":"1.0.7","build":9,"download_url":"https://t.example/d"})";
        server.nextPendingConnection()->write("HTTP/1.1 200 OK\r\nContent-Length: "
                                              + QByteArray::number(body.size())
                                              + "\r\nConnection: close\r\n\r\n" + body);
        QTRY_VERIFY(item(u"checkForUpdatesButton"_s)->isEnabled());
        QVERIFY(item(u"downloadUpdateButton"_s)->isVisible());
    }

    // Closing the window never stops the connector by itself (a DJ may close it mid-event), and a later
    // launch brings it back; quitting asks first only while a phone would lose its connector.
    void leaving_keepsRunningAndAsksWhileADeviceIsPaired()
    {
        m_environment->fixture.settings()->setValue(defaultsPrefix(DJPlatform::serato) + u".pairedTokens"_s,
                                                    QStringList{u"6F0C2A51D3B84E0F9A7C1B2D3E4F5A6B"_s});
        openWindow();
        QSignalSpy quits(&desktopSession(*m_window), &DesktopSession::quitRequested);
        // Without a tray, closing asks; keeping it running hides the window.
        m_window->close();
        QTRY_VERIFY(opened(u"keepRunningQuestion"_s));
        QVERIFY(item(u"keepRunningQuestion.warning"_s)->isVisible());
        click(u"keepRunningQuestion.accept"_s);
        QTRY_VERIFY(!m_window->isVisible());
        desktopSession(*m_window).showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

        click(u"settingsButton"_s);
        QTRY_VERIFY(opened(u"settingsSheet"_s));
        for (const QString &answer : {u"quitConfirmation.cancel"_s, u"quitConfirmation.accept"_s}) {
            click(u"quitButton"_s);
            QTRY_VERIFY(opened(u"quitConfirmation"_s));
            QCOMPARE(quits.count(), 0);
            click(answer);
            QTRY_VERIFY(!opened(u"quitConfirmation"_s));
        }
        QCOMPARE(quits.count(), 1);
        m_model->resetPairing();
        QTRY_COMPARE(m_model->pairedDevices(), 0);
        click(u"quitButton"_s);
        QCOMPARE(quits.count(), 2);
        m_window->close();
        QTRY_VERIFY(opened(u"keepRunningQuestion"_s));
        QVERIFY(!item(u"keepRunningQuestion.warning"_s)->isVisible());
        click(u"keepRunningQuestion.cancel"_s);
        QCOMPARE(quits.count(), 3);
    }

    // The window names icons by system symbol; each must reach a glyph the bundled font really has, or
    // the button shows an empty box.
    void glyph_existsInBundledFont()
    {
        const QRawFont font(u":/qt/qml/Tarvik/Connector/fonts/MaterialIcons-Regular.ttf"_s, 24);
        QCOMPARE(font.familyName(), Icons::fontFamily());
        // Quoted names on `symbol:` lines, less literals compared against (`deck === "left"`).
        static const QRegularExpression symbolLine(u"symbol:.*"_s), name(u"(?<!=== )\"([\\w.]+)\""_s);
        QSet<QString> symbols;
        for (QDirIterator it(u":/qt/qml/Tarvik/Connector"_s, {u"*.qml"_s}); it.hasNext();) {
            QFile document(it.next());
            QVERIFY(document.open(QIODevice::ReadOnly));
            for (const auto &line : symbolLine.globalMatch(QString::fromUtf8(document.readAll()))) {
                for (const auto &match : name.globalMatch(line.captured()))
                    symbols.insert(match.captured(1));
            }
        }
        // A handful of documents draw icons; finding none means the scan itself broke.
        QCOMPARE_GE(symbols.size(), 15);
        for (RemoteCommand command : kAllRemoteCommands)
            symbols.insert(systemImage(command));
        for (const QString &symbol : std::as_const(symbols)) {
            const QString glyph = Icons::glyphForSymbol(symbol);
            QVERIFY2(glyph.size() == 1 && font.supportsCharacter(glyph.at(0)), qPrintable(symbol));
        }
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

    // Searches the items on screen, sheets included: delegates of a Repeater have no QObject parent.
    QQuickItem *item(const QString &objectName) const
    {
        for (QList<QQuickItem *> pending{m_window->contentItem()}; !pending.isEmpty();) {
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
    bool opened(const QString &sheet) const
    {
        return m_window->findChild<QObject *>(sheet)->property("opened").toBool();
    }

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
