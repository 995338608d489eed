#include "support/servicerequirement.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// The id of the viewable top-level window with the title, asked of the X server through xwininfo.
WId viewableWindow()
{
    QProcess xwininfo;
    xwininfo.start(u"xwininfo"_s, {u"-name"_s, u"Tarvik DJ Connector"_s});
    if (!xwininfo.waitForFinished(10'000) || xwininfo.exitCode() != 0)
        return 0;
    const QString output = QString::fromLocal8Bit(xwininfo.readAllStandardOutput());
    const auto match = QRegularExpression(u"Window id: (0x[0-9a-f]+)"_s).match(output);
    return match.hasMatch() && output.contains(u"IsViewable"_s) ? match.captured(1).toULongLong(nullptr, 16)
                                                                : 0;
}

bool xServerAvailable()
{
    return std::system("xdpyinfo >/dev/null 2>&1") == 0;
}

// Two devices paired earlier: the phone that polls during the test and a tablet seen 12 minutes ago.
const QString kPhoneToken = u"6F0C2A51D3B84E0F9A7C1B2D3E4F5A6B"_s;
const QString kTabletToken = u"0A1B2C3D4E5F60718293A4B5C6D7E8F9"_s;

QJsonObject deviceRecord(const QString &token, const QString &name, const QString &address, qint64 seenAgo)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString id = QString::fromLatin1(
        QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex().left(8).toUpper());
    return {{u"id"_s, id},
            {u"name"_s, name},
            {u"pairedFrom"_s, address},
            {u"pairedAt"_s, now.addDays(-2).toString(Qt::ISODateWithMs)},
            {u"lastSeen"_s, now.addSecs(-seenAgo).toString(Qt::ISODateWithMs)},
            {u"lastSeenFrom"_s, address}};
}

void pairDevicesBeforeStart(const QString &home)
{
    QSettings settings(home + u"/.config/Tarvik/DJ Connector.conf"_s, QSettings::IniFormat);
    settings.setValue(u"TarvikDJConnector.serato.pairedTokens"_s, QStringList{kTabletToken, kPhoneToken});
    const QJsonArray records{
        deviceRecord(kPhoneToken, u"Tarvik DJ Remote"_s, u"192.168.1.23"_s, 3600),
        deviceRecord(kTabletToken, u"Tarvik DJ Remote iPad"_s, u"192.168.1.31"_s, 12 * 60)};
    settings.setValue(u"TarvikDJConnector.serato.pairedDevices"_s,
                      QString::fromUtf8(QJsonDocument(records).toJson(QJsonDocument::Compact)));
}

// The phone's status poll over loopback; true when the connector answered 200.
bool pollStatus()
{
    QTcpSocket socket;
    socket.connectToHost(u"127.0.0.1"_s, 53731);
    if (!socket.waitForConnected(5'000))
        return false;
    socket.write("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer "
                 + kPhoneToken.toLatin1() + "\r\nContent-Length: 0\r\n\r\n");
    return socket.waitForReadyRead(5'000) && socket.readAll().startsWith("HTTP/1.1 200");
}

bool near(QRgb pixel, const QColor &expected, int tolerance)
{
    return std::max({std::abs(qRed(pixel) - expected.red()), std::abs(qGreen(pixel) - expected.green()),
                     std::abs(qBlue(pixel) - expected.blue())})
           <= tolerance;
}

} // namespace

// Starts the real application under an X server with two paired devices, one of them polling, grabs
// its window once it has settled and checks what a person would see. The picture stays in the build tree for
// a person to look at.
class ConnectorScreenshotTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void window_showsAtDefaultSizeAndStopsCleanly();
};

void ConnectorScreenshotTest::window_showsAtDefaultSizeAndStopsCleanly()
{
    CONNECTOR_REQUIRE_SERVICE(xServerAvailable(),
                              u"an X server on DISPLAY (tools/services starts Xvfb on :99)"_s);
    QVERIFY2(!viewableWindow(), "another connector window is already open on this display");
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The application chooses its platform itself, as it does when a person starts it.
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.insert(u"HOME"_s, home.path());
    // Mesa's GL driver and libdbus keep one-time allocations past exit, some reported against the
    // unloaded driver where no suppression can name them; tst_connectorwindow leak-checks the window.
    if (environment.contains(u"ASAN_OPTIONS"_s))
        environment.insert(u"ASAN_OPTIONS"_s, environment.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
    // Settings and caches land in the temporary home; the runtime folder must be private, as it is.
    for (const auto variable :
         {"XDG_CONFIG_HOME"_L1, "XDG_DATA_HOME"_L1, "XDG_CACHE_HOME"_L1, "XDG_STATE_HOME"_L1})
        environment.remove(variable);
    environment.insert(u"XDG_RUNTIME_DIR"_s, home.path());
    pairDevicesBeforeStart(home.path());
    QProcess application;
    application.setProcessEnvironment(environment);
    application.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    application.start(QStringLiteral(CONNECTOR_APPLICATION_BINARY), {});
    QVERIFY2(application.waitForStarted(), qPrintable(application.errorString()));
    const auto killed = qScopeGuard([&] {
        application.kill();
        application.waitForFinished();
    });

    WId window = 0;
    QTRY_VERIFY_WITH_TIMEOUT((window = viewableWindow()) != 0, 60'000);
    // Settled once two grabs a second apart agree; the phone polls meanwhile, so it stays connected.
    QImage shot, previous;
    QTRY_VERIFY_WITH_TIMEOUT(pollStatus(), 30'000);
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 pollStatus();
                                 previous = shot;
                                 QTest::qWait(1'000);
                                 shot = QGuiApplication::primaryScreen()->grabWindow(window).toImage();
                                 return !shot.isNull() && shot == previous;
                             }()),
                             60'000);
    const QString artifacts = QStringLiteral(CONNECTOR_ARTIFACTS_DIR);
    QVERIFY(QDir().mkpath(artifacts) && shot.save(QDir(artifacts).filePath(u"connector-window.png"_s)));

    // The default size, the background's dark blue where its gradient starts, and the pairing code's
    // gold digits.
    shot = shot.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(1080, 780));
    QVERIFY(near(shot.pixel(0, 0), QColor::fromRgbF(0.018f, 0.05f, 0.105f), 4));
    int gold = 0;
    // In the header only the connected-devices text is green (the DJ software is not running).
    int headerGreen = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            gold += near(shot.pixel(x, y), QColor::fromRgbF(0.95f, 0.73f, 0.2f), 40);
            headerGreen += y < 100 && near(shot.pixel(x, y), QColor::fromRgbF(0.12f, 0.67f, 0.39f), 40);
        }
    }
    QCOMPARE_GE(gold, 1000);
    QCOMPARE_GE(headerGreen, 100);

    application.terminate();
    QVERIFY(application.waitForFinished(20'000));
    QCOMPARE(application.exitStatus(), QProcess::NormalExit);
    QCOMPARE(application.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!viewableWindow(), 10'000);
}

int main(int argc, char *argv[])
{
    // Without an X server this process falls back to the offscreen platform and the test skips (or
    // fails under CI); asking first keeps QGuiApplication from aborting on a missing display.
    if (!xServerAvailable())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ConnectorScreenshotTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_connectorscreenshot.moc"
