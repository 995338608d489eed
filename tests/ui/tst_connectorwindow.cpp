#include "app/connectormodel.h"
#include "midi/notemap.h"
#include "support/connectortestenvironment.h"
#include "support/recordingmidioutput.h"
#include "ui/connectorwindow.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QPalette>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QColor kGreen = QColor::fromRgbF(0.12f, 0.67f, 0.39f);
const QColor kPurple = QColor::fromRgbF(0.52f, 0.3f, 0.94f);
const QColor kGold = QColor::fromRgbF(0.95f, 0.73f, 0.2f);
const QColor kRed = QColor::fromRgbF(0.86f, 0.2f, 0.22f);

const QStringList kSeratoSteps{
    u"Click Install Preset to add Play/Pause, Advance, Stop, and Load Track for both decks."_s,
    u"In Setup → MIDI, enable Tarvik DJ Connector Serato, choose Tarvik Remote, and click Load."_s,
    u"Close Setup and test both decks below before the event."_s,
};
const QStringList kVirtualDJSteps{
    u"Install the included VirtualDJ controller definition and mapper."_s,
    u"Quit and reopen VirtualDJ once after installation."_s,
    u"Test both decks below before the event."_s,
};

bool sameColor(const QVariant &actual, const QColor &expected)
{
    const QColor color = actual.value<QColor>();
    return std::abs(color.red() - expected.red()) <= 1 && std::abs(color.green() - expected.green()) <= 1
           && std::abs(color.blue() - expected.blue()) <= 1 && color.alpha() == expected.alpha();
}

// Holds every request until told to answer, so a test can look at the window mid-check.
class HeldManifestServer : public QObject
{
public:
    HeldManifestServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                m_sockets << socket;
            }
        });
    }

    QUrl url() const
    {
        return QUrl(u"http://127.0.0.1:"_s + QString::number(m_server.serverPort())
                    + u"/updates/dj-connector-macos.json"_s);
    }

    qsizetype waiting() const { return m_sockets.size(); }

    void answer(const QByteArray &body)
    {
        for (QTcpSocket *socket : std::as_const(m_sockets)) {
            socket->readAll();
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                          + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
        }
        m_sockets.clear();
    }

private:
    QTcpServer m_server;
    QList<QTcpSocket *> m_sockets;
};

// Stands in for the browser: records the links the window asks the desktop to open.
class LinkRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl &url) { opened << url; }
};

} // namespace

// The window over a real model on a temporary home with recording MIDI outputs and test ports,
// driven by clicks the way a DJ drives it.
class ConnectorWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void window_staysDarkUnderLightSystemPalette();
    void header_showsWhetherDJSoftwareRuns();
    void modePicker_switchesSetupStepsAndButtonWords();
    void firstTestButton_swapsPlayAndPauseWithSelectedDeck();
    void installButton_turnsGreenAndReadsReinstallAfterInstall_data();
    void installButton_turnsGreenAndReadsReinstallAfterInstall();
    void resetPairing_showsNewCodeAndQRImage();
    void connectionCard_withoutAddressShowsCodeWithoutQRImage();
    void copyButton_copiesManualAddress();
    void scriptEditor_changesModelTextUntilSaved();
    void connectorButton_dimsAndShrinksWhilePressed();
    void guide_opensCollapsedAt620AndGrowsTo750();
    void guide_installsPresetAndShowsItInstalled();
    void guideMapLoadTrack_sendsRightDeckLoadNoteOnly();
    void settings_showsVersionAndNoDownloadWithoutLink();
    void settings_checkForUpdatesDisabledWhileCheckRuns();
    void settings_linksOpenInBrowser();
    void statusDot_turnsRedWithMidiError_data();
    void statusDot_turnsRedWithMidiError();

private:
    void openWindow();
    QQuickItem *item(const QString &objectName) const;
    QObject *object(const QString &objectName) const;
    void click(const QString &objectName);

    std::unique_ptr<ConnectorTestEnvironment> m_environment;
    ConnectorEnvironment m_modelEnvironment;
    std::unique_ptr<ConnectorModel> m_model;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQuickWindow> m_window;
    LinkRecorder m_links;
};

void ConnectorWindowTest::init()
{
    m_environment = std::make_unique<ConnectorTestEnvironment>();
    m_modelEnvironment = m_environment->make();
    QDesktopServices::setUrlHandler(u"https"_s, &m_links, "open");
    QDesktopServices::setUrlHandler(u"http"_s, &m_links, "open");
    m_links.opened.clear();
    // A binding that throws or an undefined value would otherwise only print a line.
    QTest::failOnWarning(QRegularExpression(u"\\.qml:\\d+"_s));
}

void ConnectorWindowTest::cleanup()
{
    QDesktopServices::unsetUrlHandler(u"https"_s);
    QDesktopServices::unsetUrlHandler(u"http"_s);
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

// Builds the model from m_modelEnvironment and shows the window, tall enough that no click lands in
// the scrolled-away part.
void ConnectorWindowTest::openWindow()
{
    m_model = std::make_unique<ConnectorModel>(std::move(m_modelEnvironment));
    m_engine = std::make_unique<QQmlEngine>();
    prepareConnectorEngine(*m_engine, *m_model);
    m_window = createConnectorWindow(*m_engine, *m_model);
    QVERIFY(m_window);
    QCOMPARE(m_window->size(), QSize(1080, 780));
    QCOMPARE(m_window->minimumSize(), QSize(980, 700));
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

QObject *ConnectorWindowTest::object(const QString &objectName) const
{
    return m_window->findChild<QObject *>(objectName);
}

void ConnectorWindowTest::click(const QString &objectName)
{
    QQuickItem *target = item(objectName);
    QVERIFY2(target, qPrintable(objectName));
    QVERIFY2(target->isVisible(), qPrintable(objectName));
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(m_window.get(), Qt::LeftButton, {}, centre.toPoint());
}

void ConnectorWindowTest::window_staysDarkUnderLightSystemPalette()
{
    const QPalette systemPalette = QGuiApplication::palette();
    const auto restore = qScopeGuard([&] { QGuiApplication::setPalette(systemPalette); });
    QGuiApplication::setPalette(QPalette(Qt::white));
    openWindow();
    const QImage shot = m_window->grabWindow().convertToFormat(QImage::Format_RGB32);
    QVERIFY(!shot.isNull());
    const QColor background = QColor::fromRgbF(0.018f, 0.05f, 0.105f);
    const QColor corner = shot.pixelColor(0, 0);
    QVERIFY2(std::abs(corner.red() - background.red()) <= 2
                 && std::abs(corner.green() - background.green()) <= 2
                 && std::abs(corner.blue() - background.blue()) <= 2,
             qPrintable(corner.name()));
    QVERIFY(sameColor(item(u"serverStatus"_s)->property("color"), Qt::white));
    QVERIFY(m_window->color().lightness() < 30);
}

void ConnectorWindowTest::header_showsWhetherDJSoftwareRuns()
{
    openWindow();
    QQuickItem *pill = item(u"djSoftwareText"_s);
    QCOMPARE(pill->property("text").toString(), u"DJ SOFTWARE CLOSED"_s);
    QVERIFY(sameColor(pill->property("color"), QColor::fromRgbF(1, 1, 1, 0.62f)));

    m_environment->runningApplications->set(
        {RunningApplication{4242, u"Serato DJ Pro"_s, u"com.example.other"_s}});
    QTRY_COMPARE_WITH_TIMEOUT(pill->property("text").toString(), u"DJ SOFTWARE OPEN"_s, 10'000);
    QVERIFY(sameColor(pill->property("color"), kGreen));
}

void ConnectorWindowTest::modePicker_switchesSetupStepsAndButtonWords()
{
    openWindow();
    auto steps = [this] {
        QStringList texts;
        for (int number = 1; number <= 3; ++number) {
            if (QQuickItem *step = item(u"setupStep"_s + QString::number(number)))
                texts << step->property("text").toString();
        }
        return texts;
    };
    QCOMPARE(steps(), kSeratoSteps);
    QCOMPARE(item(u"installButton"_s)->property("text").toString(), u"INSTALL PRESET"_s);
    QCOMPARE(item(u"openButton"_s)->property("text").toString(), u"OPEN SERATO"_s);
    QVERIFY(item(u"openGuideButton"_s)->isVisible());

    click(u"modePicker.virtualDJ"_s);
    QCOMPARE(m_model->property("selectedPlatform").toString(), u"virtualDJ"_s);
    QTRY_COMPARE(steps(), kVirtualDJSteps);
    QCOMPARE(item(u"installButton"_s)->property("text").toString(), u"INSTALL MAPPING"_s);
    QCOMPARE(item(u"openButton"_s)->property("text").toString(), u"OPEN VIRTUALDJ"_s);
    QVERIFY(!item(u"openGuideButton"_s)->isVisible());
    QVERIFY(item(u"modePicker.virtualDJ"_s)->property("checked").toBool());
    QVERIFY(!item(u"modePicker.serato"_s)->property("checked").toBool());

    click(u"modePicker.serato"_s);
    QCOMPARE(m_model->property("selectedPlatform").toString(), u"serato"_s);
    QTRY_COMPARE(steps(), kSeratoSteps);
    QCOMPARE(item(u"openButton"_s)->property("text").toString(), u"OPEN SERATO"_s);
    QVERIFY(item(u"openGuideButton"_s)->isVisible());
}

void ConnectorWindowTest::firstTestButton_swapsPlayAndPauseWithSelectedDeck()
{
    openWindow();
    QQuickItem *first = item(u"testButtonPlayPause"_s);
    QVERIFY(first);
    QCOMPARE(first->property("text").toString(), u"Play"_s);
    QVERIFY(sameColor(first->property("fill"), kGreen));

    click(u"testButtonPlayPause"_s);
    QCOMPARE(m_model->leftState(), u"playing"_s);
    QCOMPARE(first->property("text").toString(), u"Pause"_s);
    QCOMPARE(first->property("command").toString(), u"pause"_s);
    QVERIFY(sameColor(first->property("fill"), kGold));
    QVERIFY(sameColor(first->property("foreground"), Qt::black));
    QCOMPARE(item(u"expectedState"_s)->property("text").toString(),
             u"Expected state: left playing, right stopped"_s);

    click(u"deckPicker.right"_s);
    QCOMPARE(m_model->selectedTestDeck(), DeckSide::right);
    QCOMPARE(first->property("text").toString(), u"Play"_s);
    QVERIFY(sameColor(first->property("fill"), kGreen));

    // The swapped button sends pause: clicking it on the left deck stops the playing.
    click(u"deckPicker.left"_s);
    QCOMPARE(first->property("text").toString(), u"Pause"_s);
    click(u"testButtonPlayPause"_s);
    QCOMPARE(m_model->leftState(), u"paused"_s);
    QCOMPARE(first->property("text").toString(), u"Play"_s);
}

void ConnectorWindowTest::installButton_turnsGreenAndReadsReinstallAfterInstall_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("serato") << u"serato"_s << u"INSTALL PRESET"_s << u"REINSTALL PRESET"_s;
    QTest::newRow("virtualDJ") << u"virtualDJ"_s << u"INSTALL MAPPING"_s << u"REINSTALL MAPPING"_s;
}

void ConnectorWindowTest::installButton_turnsGreenAndReadsReinstallAfterInstall()
{
    QFETCH(QString, platform);
    QFETCH(QString, before);
    QFETCH(QString, after);
    openWindow();
    click(u"modePicker."_s + platform);
    QQuickItem *install = item(u"installButton"_s);
    QTRY_COMPARE(install->property("text").toString(), before);
    QVERIFY(sameColor(install->property("tint"), kPurple));

    click(u"installButton"_s);
    QVERIFY2(m_model->mappingInstalled(), qPrintable(m_model->lastCommand()));
    QCOMPARE(install->property("text").toString(), after);
    QVERIFY(sameColor(install->property("tint"), kGreen));
    const QString home = m_environment->fixture.path(u"home"_s);
    QVERIFY2(m_model->lastCommand().contains(u"installed"_s), qPrintable(m_model->lastCommand()));
    QVERIFY(!QDir(home).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

void ConnectorWindowTest::resetPairing_showsNewCodeAndQRImage()
{
    openWindow();
    QQuickItem *code = item(u"pairingCode"_s);
    QQuickItem *qr = item(u"pairingQRImage"_s);
    QCOMPARE(code->property("text").toString(), m_model->pairingCode());
    QVERIFY(item(u"pairingQRFrame"_s)->isVisible());
    QTRY_COMPARE(qr->property("status").toInt(), 1); // Image.Ready
    QCOMPARE(qr->property("smooth").toBool(), false);
    QCOMPARE(qr->property("sourceSize").toSize(), m_model->pairingQRCode().size());
    const QString oldCode = m_model->pairingCode();
    const QUrl oldSource = qr->property("source").toUrl();
    QVERIFY(oldSource.toString().contains(oldCode));

    click(u"resetPairingButton"_s);
    QVERIFY(m_model->pairingCode() != oldCode);
    QCOMPARE(code->property("text").toString(), m_model->pairingCode());
    QTRY_VERIFY(qr->property("source").toUrl().toString().contains(m_model->pairingCode()));
    QTRY_COMPARE(qr->property("status").toInt(), 1);
}

void ConnectorWindowTest::connectionCard_withoutAddressShowsCodeWithoutQRImage()
{
    m_environment->localAddress.reset();
    openWindow();
    QVERIFY(m_model->pairingPayload().isEmpty());
    QVERIFY(!item(u"pairingQRFrame"_s)->isVisible());
    QVERIFY(item(u"pairingCode"_s)->isVisible());
    QCOMPARE(item(u"pairingCode"_s)->property("text").toString(), m_model->pairingCode());
    QCOMPARE(item(u"remoteAddress"_s)->property("text").toString(), u"Finding this Mac…"_s);
}

void ConnectorWindowTest::copyButton_copiesManualAddress()
{
    openWindow();
    const QString address = item(u"remoteAddress"_s)->property("text").toString();
    QVERIFY2(address.startsWith(u"http://192.168.1.20:"_s), qPrintable(address));
    click(u"copyAddressButton"_s);
    QCOMPARE(m_environment->clipboard, QStringList{address});
    QCOMPARE(item(u"lastCommand"_s)->property("text").toString(), m_model->lastCommand());
}

void ConnectorWindowTest::scriptEditor_changesModelTextUntilSaved()
{
    openWindow();
    QQuickItem *editor = item(u"weddingScriptEditor"_s);
    click(u"weddingScriptEditor"_s);
    QTRY_VERIFY(editor->hasActiveFocus());
    for (const char key : "[CUE] First"_ba)
        QTest::keyClick(m_window.get(), key);
    QCOMPARE(m_model->weddingScript(), u"[CUE] First"_s);
    // The refresh every 2 seconds keeps the unsaved edit, and typing goes on where it stopped.
    QSignalSpy refreshed(m_model.get(), &ConnectorModel::pairedDevicesChanged);
    QVERIFY(refreshed.wait(5000));
    QCOMPARE(editor->property("text").toString(), u"[CUE] First"_s);
    for (const char key : " dance"_ba)
        QTest::keyClick(m_window.get(), key);
    QCOMPARE(editor->property("text").toString(), u"[CUE] First dance"_s);
    QCOMPARE(m_model->weddingScript(), u"[CUE] First dance"_s);

    QStringList messages;
    const QMetaObject::Connection recording = connect(m_model.get(), &ConnectorModel::lastCommandChanged,
                                                      this, [&] { messages << m_model->lastCommand(); });
    const auto stopRecording = qScopeGuard([&] { disconnect(recording); });
    click(u"saveScriptButton"_s);
    QTRY_VERIFY(messages.contains(u"Wedding script saved. It will sync after an iPhone or iPad pairs."_s));
    QCOMPARE(editor->property("text").toString(), m_model->weddingScript());
    QCOMPARE(m_model->weddingScript(), u"[CUE] First dance"_s);
}

void ConnectorWindowTest::connectorButton_dimsAndShrinksWhilePressed()
{
    openWindow();
    QQuickItem *button = item(u"saveScriptButton"_s);
    QQuickItem *fill = button->findChild<QQuickItem *>(u"fill"_s);
    QVERIFY(fill);
    const QPoint centre = button->mapToScene(QPointF(button->width() / 2, button->height() / 2)).toPoint();
    QCOMPARE(button->scale(), 1.0);
    QCOMPARE(fill->opacity(), 1.0);
    QTest::mousePress(m_window.get(), Qt::LeftButton, {}, centre);
    QTRY_COMPARE(button->scale(), 0.98);
    QCOMPARE(fill->opacity(), 0.68);
    QTest::mouseRelease(m_window.get(), Qt::LeftButton, {}, centre);
    QTRY_COMPARE(button->scale(), 1.0);
    QCOMPARE(fill->opacity(), 1.0);
}

void ConnectorWindowTest::guide_opensCollapsedAt620AndGrowsTo750()
{
    openWindow();
    QObject *sheet = object(u"seratoGuideSheet"_s);
    QVERIFY(sheet);
    QVERIFY(!sheet->property("visible").toBool());

    for (int opening = 0; opening < 2; ++opening) {
        click(u"openGuideButton"_s);
        QTRY_VERIFY(sheet->property("opened").toBool());
        QCOMPARE(sheet->property("width").toReal(), 840.0);
        // Collapsed every time it opens, also after it was left expanded.
        QCOMPARE(sheet->property("height").toReal(), 620.0);
        QVERIFY(!item(u"mappingColumnLeft"_s)->isVisible());

        click(u"manualFallbackToggle"_s);
        QTRY_COMPARE(sheet->property("height").toReal(), 750.0);
        QVERIFY(item(u"mappingColumnLeft"_s)->isVisible());
        QVERIFY(item(u"mappingColumnRight"_s)->isVisible());

        click(u"guideDoneButton"_s);
        QTRY_VERIFY(!sheet->property("visible").toBool());
        QCOMPARE(object(u"connectorView"_s)->property("showSeratoMappingGuide").toBool(), false);
    }

    click(u"openGuideButton"_s);
    QTRY_VERIFY(sheet->property("opened").toBool());
    click(u"manualFallbackToggle"_s);
    QTRY_COMPARE(sheet->property("height").toReal(), 750.0);
    click(u"manualFallbackToggle"_s);
    QTRY_COMPARE(sheet->property("height").toReal(), 620.0);
}

void ConnectorWindowTest::guide_installsPresetAndShowsItInstalled()
{
    openWindow();
    click(u"openGuideButton"_s);
    QTRY_VERIFY(object(u"seratoGuideSheet"_s)->property("opened").toBool());
    QQuickItem *install = item(u"guideInstallButton"_s);
    QCOMPARE(install->property("text").toString(), u"INSTALL SERATO PRESET"_s);
    QVERIFY(sameColor(install->property("tint"), kPurple));
    QCOMPARE(item(u"presetStateText"_s)->property("text").toString(), u"Preset is not installed yet."_s);

    click(u"guideInstallButton"_s);
    QVERIFY2(m_model->mappingInstalled(), qPrintable(m_model->lastCommand()));
    QCOMPARE(install->property("text").toString(), u"REINSTALL SERATO PRESET"_s);
    QVERIFY(sameColor(install->property("tint"), kGreen));
    QCOMPARE(item(u"presetStateText"_s)->property("text").toString(),
             u"Tarvik Remote preset is installed."_s);
    // The main window's button follows the same model value.
    QCOMPARE(item(u"installButton"_s)->property("text").toString(), u"REINSTALL PRESET"_s);
}

void ConnectorWindowTest::guideMapLoadTrack_sendsRightDeckLoadNoteOnly()
{
    openWindow();
    const std::shared_ptr<MIDIMessageLog> log = m_environment->midiLogs.at(DJPlatform::serato);
    click(u"openGuideButton"_s);
    QTRY_VERIFY(object(u"seratoGuideSheet"_s)->property("opened").toBool());
    click(u"manualFallbackToggle"_s);
    QTRY_VERIFY(item(u"mappingColumnRight.load"_s) && item(u"mappingColumnRight.load"_s)->isVisible());
    QCOMPARE(item(u"mappingColumnRight.load"_s)->property("text").toString(), u"MAP LOAD TRACK"_s);
    const std::size_t before = log->count();

    click(u"mappingColumnRight.load"_s);
    QVERIFY(log->waitForCount(before + 2)); // note-on, then note-off after the hold time
    const std::vector<MIDIMessageLog::Bytes> sent = log->bytes();
    const std::uint8_t rightLoad = NoteMap::note(DJPlatform::serato, RemoteCommand::load, DeckSide::right);
    QCOMPARE(sent.at(before)[0], std::uint8_t(0x90 | NoteMap::kChannel));
    QCOMPARE(sent.at(before)[1], rightLoad);
    QVERIFY(rightLoad != NoteMap::note(DJPlatform::serato, RemoteCommand::load, DeckSide::left));
    QTest::qWait(500);
    QCOMPARE(log->count(), before + 2);
    QCOMPARE(log->bytes().at(before + 1)[1], rightLoad);
    QCOMPARE(m_model->lastCommand(), u"Serato mapping pulse sent for Right Load Track."_s);
    // A raw pulse teaches Serato a control; it is not a deck command.
    QCOMPARE(m_model->rightState(), u"stopped"_s);
}

void ConnectorWindowTest::settings_showsVersionAndNoDownloadWithoutLink()
{
    openWindow();
    click(u"settingsButton"_s);
    QObject *sheet = object(u"settingsSheet"_s);
    QTRY_VERIFY(sheet->property("opened").toBool());
    QCOMPARE(sheet->property("width").toReal(), 470.0);
    QCOMPARE(item(u"versionValue"_s)->property("text").toString(), u"1.0.6 (8)"_s);
    QVERIFY(m_model->downloadUpdateURL().isEmpty());
    QVERIFY(!item(u"downloadUpdateButton"_s)->isVisible());

    click(u"settingsDoneButton"_s);
    QTRY_VERIFY(!sheet->property("visible").toBool());
    QCOMPARE(object(u"connectorView"_s)->property("showSettings").toBool(), false);
}

void ConnectorWindowTest::settings_checkForUpdatesDisabledWhileCheckRuns()
{
    HeldManifestServer server;
    m_modelEnvironment.updateManifestURL = server.url();
    m_modelEnvironment.updateTimeoutMs = 60'000;
    openWindow();
    click(u"settingsButton"_s);
    QTRY_VERIFY(object(u"settingsSheet"_s)->property("opened").toBool());
    QQuickItem *check = item(u"checkForUpdatesButton"_s);
    QVERIFY(check->isEnabled());

    click(u"checkForUpdatesButton"_s);
    QVERIFY(m_model->isCheckingForUpdates());
    QVERIFY(!check->isEnabled());
    QCOMPARE(item(u"updateMessage"_s)->property("text").toString(), u"Checking for updates…"_s);
    QTRY_COMPARE(server.waiting(), 1);
    QVERIFY(!check->isEnabled());
    // A click on the disabled button starts nothing.
    click(u"checkForUpdatesButton"_s);
    QTest::qWait(200);
    QCOMPARE(server.waiting(), 1);

    server.answer(R"({"version":"1.0.7","build":9,"download_url":"https://t.example/d"})");
    QTRY_VERIFY(!m_model->isCheckingForUpdates());
    QVERIFY(check->isEnabled());
    QCOMPARE(item(u"updateMessage"_s)->property("text").toString(), u"Version 1.0.7 is available."_s);
    QVERIFY(item(u"downloadUpdateButton"_s)->isVisible());
}

void ConnectorWindowTest::settings_linksOpenInBrowser()
{
    HeldManifestServer server;
    m_modelEnvironment.updateManifestURL = server.url();
    openWindow();
    click(u"settingsButton"_s);
    QTRY_VERIFY(object(u"settingsSheet"_s)->property("opened").toBool());

    click(u"contactSupportButton"_s);
    QCOMPARE(m_links.opened, QList<QUrl>{m_model->supportURL()});

    click(u"checkForUpdatesButton"_s);
    QTRY_COMPARE(server.waiting(), 1);
    server.answer(R"({"version":"1.0.7","build":9,"download_url":"https://t.example/d"})");
    QTRY_VERIFY(item(u"downloadUpdateButton"_s)->isVisible());
    click(u"downloadUpdateButton"_s);
    QCOMPARE(m_links.opened.size(), 2);
    QCOMPARE(m_links.opened.last(), QUrl(u"https://t.example/d"_s));
}

void ConnectorWindowTest::statusDot_turnsRedWithMidiError_data()
{
    QTest::addColumn<bool>("midiFails");
    QTest::newRow("ready") << false;
    QTest::newRow("failed") << true;
}

void ConnectorWindowTest::statusDot_turnsRedWithMidiError()
{
    QFETCH(bool, midiFails);
    if (midiFails) {
        m_modelEnvironment.makeTransport = [](DJPlatform platform) {
            return RecordingMIDIOutput::transport(
                       platform, MIDIOpenFailure{u"ALSA"_s, MIDIOpenFailure::Stage::client, -2})
                .transport;
        };
    }
    openWindow();
    QQuickItem *dot = item(u"statusDot"_s);
    QQuickItem *line = item(u"midiLineText"_s);
    if (midiFails) {
        QVERIFY(!m_model->midiError().isEmpty());
        QVERIFY(sameColor(dot->property("color"), kRed));
        QCOMPARE(line->property("text").toString(), m_model->midiError());
        QVERIFY(sameColor(line->property("color"), kRed));
    } else {
        QVERIFY(sameColor(dot->property("color"), kGreen));
        QCOMPARE(line->property("text").toString(), u"Virtual MIDI device ready"_s);
        QVERIFY(sameColor(line->property("color"), kGreen));
    }
}

QTEST_MAIN(ConnectorWindowTest)
#include "tst_connectorwindow.moc"
