#include "core/djplatform.h"
#include "router/paireddevice.h"
#include "support/connectorprocess.h"
#include "support/servicerequirement.h"

#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

const QString kPhoneToken = u"6F0C2A51D3B84E0F9A7C1B2D3E4F5A6B"_s;

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

// Two devices paired two days ago: the phone that polls during the test and a tablet seen 12 minutes ago.
void pairDevicesBeforeStart(const QString &home)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch(), pairedAt = now - 2 * 86'400'000;
    const QString tabletToken = u"0A1B2C3D4E5F60718293A4B5C6D7E8F9"_s, phone = u"192.168.1.23"_s,
                  tablet = u"192.168.1.31"_s;
    QSettings settings(home + u"/.config/Tarvik/DJ Connector.conf"_s, QSettings::IniFormat);
    const QString prefix = defaultsPrefix(DJPlatform::serato);
    settings.setValue(prefix + u".pairedTokens"_s, QStringList{kPhoneToken, tabletToken});
    settings.setValue(
        prefix + u".pairedDevices"_s,
        encodePairedDevices(
            {{deviceId(kPhoneToken), u"Tarvik DJ Remote"_s, phone, pairedAt, now - 3'600'000, phone},
             {deviceId(tabletToken), u"Tarvik DJ Remote iPad"_s, tablet, pairedAt, now - 720'000, tablet}}));
}

// How many pixels within the band are close to the colour.
int pixelsNear(const QImage &image, const QColor &colour, int height)
{
    int count = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            count += std::max({std::abs(qRed(pixel) - colour.red()), std::abs(qGreen(pixel) - colour.green()),
                               std::abs(qBlue(pixel) - colour.blue())})
                     <= 40;
        }
    }
    return count;
}

} // namespace

// Starts the real application under an X server with two paired devices, one of them polling, grabs its
// window once it has settled and checks what a person would see. The picture stays in the build tree for
// a person to look at.
class ConnectorScreenshotTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void window_showsAtDefaultSizeAndStopsCleanly()
    {
        CONNECTOR_REQUIRE_SERVICE(xServerAvailable(),
                                  u"an X server on DISPLAY (tools/services starts Xvfb on :99)"_s);
        QVERIFY2(!viewableWindow(), "another connector window is already open on this display");
        QTemporaryDir home;
        pairDevicesBeforeStart(home.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // The application chooses its platform itself, as it does when a person starts it. Settings and
        // caches land in the temporary home; the runtime folder must be private, as it is.
        for (const auto variable : {"QT_QPA_PLATFORM"_L1, "XDG_CONFIG_HOME"_L1, "XDG_DATA_HOME"_L1,
                                    "XDG_CACHE_HOME"_L1, "XDG_STATE_HOME"_L1})
            environment.remove(variable);
        environment.insert(u"HOME"_s, home.path());
        environment.insert(u"XDG_RUNTIME_DIR"_s, home.path());
        // Mesa's GL driver and libdbus keep one-time allocations past exit, some reported against the
        // unloaded driver where no suppression can name them; tst_connectorwindow leak-checks the window.
        if (environment.contains(u"ASAN_OPTIONS"_s))
            environment.insert(u"ASAN_OPTIONS"_s,
                               environment.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
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
        const auto poll = [] {
            return loopbackRequest(53731, "GET /api/status", {}, kPhoneToken).status == 200;
        };
        QTRY_VERIFY_WITH_TIMEOUT(poll(), 30'000);
        QImage shot, previous;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     poll();
                                     previous = shot;
                                     QTest::qWait(1'000);
                                     shot = QGuiApplication::primaryScreen()->grabWindow(window).toImage();
                                     return !shot.isNull() && shot == previous;
                                 }()),
                                 60'000);
        const QString artifacts = QStringLiteral(CONNECTOR_ARTIFACTS_DIR);
        QVERIFY(QDir().mkpath(artifacts) && shot.save(QDir(artifacts).filePath(u"connector-window.png"_s)));

        // The default size, the pairing code's gold digits, and in the header the connected-devices text,
        // its only green (the DJ software is not running).
        shot = shot.convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shot.size(), QSize(1080, 780));
        QCOMPARE_GE(pixelsNear(shot, QColor::fromRgbF(0.95f, 0.73f, 0.2f), shot.height()), 1000);
        QCOMPARE_GE(pixelsNear(shot, QColor::fromRgbF(0.12f, 0.67f, 0.39f), 100), 100);

        application.terminate();
        QVERIFY(application.waitForFinished(20'000));
        QCOMPARE(application.exitStatus(), QProcess::NormalExit);
        QCOMPARE(application.exitCode(), 0);
    }
};

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
