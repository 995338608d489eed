#include "support/servicerequirement.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

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

bool near(QRgb pixel, const QColor &colour, int tolerance)
{
    return std::max({std::abs(qRed(pixel) - colour.red()), std::abs(qGreen(pixel) - colour.green()),
                     std::abs(qBlue(pixel) - colour.blue())})
           <= tolerance;
}

} // namespace

// Starts the real application under an X server, grabs its window once it has settled and checks what a
// person would see. The picture stays in the build tree for a person to look at.
class ConnectorScreenshotTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void window_showsAtDefaultSizeAndStopsCleanly()
    {
        // Without an X server this process fell back to the offscreen platform.
        CONNECTOR_REQUIRE_SERVICE(QGuiApplication::platformName() == "xcb"_L1,
                                  u"an X server on DISPLAY (tools/services starts Xvfb on :99)"_s);
        QVERIFY2(!viewableWindow(), "another connector window is already open on this display");
        QTemporaryDir home;
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
        // Settled once two grabs a second apart agree.
        QImage shot, previous;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     previous = shot;
                                     QTest::qWait(1'000);
                                     shot = QGuiApplication::primaryScreen()->grabWindow(window).toImage();
                                     return !shot.isNull() && shot == previous;
                                 }()),
                                 60'000);
        const QString artifacts = QStringLiteral(CONNECTOR_ARTIFACTS_DIR);
        QVERIFY(QDir().mkpath(artifacts) && shot.save(QDir(artifacts).filePath(u"connector-window.png"_s)));

        // The default size, the background's dark blue where its gradient starts, and the pairing code's
        // gold digits right of the QR code (other gold in the window, such as a button's fill, is elsewhere).
        shot = shot.convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shot.size(), QSize(1080, 780));
        QVERIFY(near(shot.pixel(0, 0), QColor::fromRgbF(0.018f, 0.05f, 0.105f), 4));
        const QImage code = shot.copy(190, 270, 230, 60);
        const auto *pixels = reinterpret_cast<const QRgb *>(code.constBits());
        QCOMPARE_GE(
            std::count_if(pixels, pixels + code.width() * code.height(),
                          [](QRgb pixel) { return near(pixel, QColor::fromRgbF(0.95f, 0.73f, 0.2f), 40); }),
            800);

        application.terminate();
        QVERIFY(application.waitForFinished(20'000));
        QCOMPARE(application.exitStatus(), QProcess::NormalExit);
        QCOMPARE(application.exitCode(), 0);
    }
};

QTEST_MAIN(ConnectorScreenshotTest)
#include "tst_connectorscreenshot.moc"
