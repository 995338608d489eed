#include "server/localaddress.h"
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

#include <cstdlib>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr auto kWindowTitle = "Tarvik DJ Connector"_L1;
const QColor kBackground = QColor::fromRgbF(0.018f, 0.05f, 0.105f);
const QColor kBackgroundEnd = QColor::fromRgbF(0.04f, 0.11f, 0.21f);
const QColor kGold = QColor::fromRgbF(0.95f, 0.73f, 0.2f);

struct WindowInfo
{
    WId id = 0;
    bool viewable = false;
};

// Asks the X server (through xwininfo, from x11-utils) for the top-level window with the title.
std::optional<WindowInfo> findWindow()
{
    QProcess xwininfo;
    xwininfo.start(u"xwininfo"_s, {u"-name"_s, kWindowTitle});
    if (!xwininfo.waitForFinished(10'000) || xwininfo.exitCode() != 0)
        return std::nullopt;
    const QString output = QString::fromLocal8Bit(xwininfo.readAllStandardOutput());
    static const QRegularExpression idLine(u"Window id: (0x[0-9a-f]+)"_s);
    const auto match = idLine.match(output);
    if (!match.hasMatch())
        return std::nullopt;
    return WindowInfo{match.captured(1).toULongLong(nullptr, 16), output.contains(u"IsViewable"_s)};
}

int channelDistance(QRgb pixel, const QColor &expected)
{
    return std::max({std::abs(qRed(pixel) - expected.red()), std::abs(qGreen(pixel) - expected.green()),
                     std::abs(qBlue(pixel) - expected.blue())});
}

// The window background along its top-left to bottom-right diagonal gradient.
QColor backgroundAt(QPoint point, QSize size)
{
    const double w = size.width() - 1;
    const double h = size.height() - 1;
    const double t = (point.x() * w + point.y() * h) / (w * w + h * h);
    auto mix = [t](double from, double to) { return from + (to - from) * t; };
    return QColor::fromRgbF(float(mix(kBackground.redF(), kBackgroundEnd.redF())),
                            float(mix(kBackground.greenF(), kBackgroundEnd.greenF())),
                            float(mix(kBackground.blueF(), kBackgroundEnd.blueF())));
}

// Bounding boxes of the 4-connected regions of gold pixels.
QList<QRect> goldRegions(const QImage &image)
{
    const int width = image.width();
    const int height = image.height();
    QList<bool> gold(qsizetype(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            gold[qsizetype(y) * width + x] = channelDistance(image.pixel(x, y), kGold) <= 40;
    }
    QList<QRect> regions;
    QList<QPoint> stack;
    for (int start = 0; start < gold.size(); ++start) {
        if (!gold[start])
            continue;
        gold[start] = false;
        stack.append(QPoint(start % width, start / width));
        QRect box(stack.last(), QSize(1, 1));
        while (!stack.isEmpty()) {
            const QPoint p = stack.takeLast();
            box |= QRect(p, QSize(1, 1));
            for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                const QPoint q = p + step;
                if (q.x() < 0 || q.y() < 0 || q.x() >= width || q.y() >= height)
                    continue;
                const qsizetype index = qsizetype(q.y()) * width + q.x();
                if (gold[index]) {
                    gold[index] = false;
                    stack.append(q);
                }
            }
        }
        regions.append(box);
    }
    return regions;
}

// The widest run of digit-sized gold glyphs standing side by side on one line: the pairing code
// is six of them, nothing else in the window is more than a few.
int longestGoldDigitRow(const QImage &image)
{
    QList<QRect> digits;
    for (const QRect &region : goldRegions(image)) {
        if (region.height() >= 20 && region.height() <= 40 && region.width() >= 4 && region.width() <= 30)
            digits.append(region);
    }
    int best = 0;
    for (const QRect &first : digits) {
        int inRow = 0;
        for (const QRect &other : digits) {
            if (std::abs(other.top() - first.top()) <= 3
                && std::abs(other.center().x() - first.center().x()) <= 200)
                ++inRow;
        }
        best = std::max(best, inRow);
    }
    return best;
}

} // namespace

// Starts the real application under an X server, grabs its window once it has settled and checks
// what a person would see. The picture stays in the build tree for a person to look at.
class ConnectorScreenshotTest : public QObject
{
    Q_OBJECT

public:
    explicit ConnectorScreenshotTest(bool xServerAvailable)
        : m_xServerAvailable(xServerAvailable)
    {}

private Q_SLOTS:
    void initTestCase();
    void window_hasDefaultSize();
    void window_isDarkGradientInEveryCorner();
    void window_showsPairingCodeInGold();
    void window_qrCodeScansToPairingLink();
    void application_stopsCleanlyOnTerminate();
    void cleanupTestCase();

private:
    bool m_xServerAvailable;
    QTemporaryDir m_home;
    QProcess m_application;
    QImage m_shot;
};

void ConnectorScreenshotTest::initTestCase()
{
    CONNECTOR_REQUIRE_SERVICE(m_xServerAvailable,
                              u"an X server on DISPLAY (tools/services starts Xvfb on :99)"_s);
    QVERIFY2(!findWindow(), "another connector window is already open on this display");
    QVERIFY(m_home.isValid());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The application chooses its platform itself, as it does when a person starts it.
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.insert(u"HOME"_s, m_home.path());
    // Under AddressSanitizer: Mesa's GL driver and libdbus keep one-time allocations past exit, some
    // reported against the unloaded driver, where no suppression can name them. The window's own
    // objects are leak-checked in process by tst_connectorwindow.
    if (environment.contains(u"ASAN_OPTIONS"_s))
        environment.insert(u"ASAN_OPTIONS"_s, environment.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
    for (const auto variable : {"XDG_CONFIG_HOME"_L1, "XDG_DATA_HOME"_L1, "XDG_CACHE_HOME"_L1,
                                "XDG_STATE_HOME"_L1, "XDG_RUNTIME_DIR"_L1}) {
        const QString folder = m_home.filePath(variable);
        QVERIFY(QDir().mkpath(folder));
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        environment.insert(variable, folder);
    }
    m_application.setProcessEnvironment(environment);
    m_application.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_application.start(QStringLiteral(CONNECTOR_APPLICATION_BINARY), {});
    QVERIFY2(m_application.waitForStarted(), qPrintable(m_application.errorString()));

    std::optional<WindowInfo> window;
    QTRY_VERIFY_WITH_TIMEOUT((window = findWindow()) && window->viewable, 60'000);

    // Settled once two grabs a second apart agree.
    QScreen *screen = QGuiApplication::primaryScreen();
    QImage previous;
    m_shot = screen->grabWindow(window->id).toImage();
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 previous = m_shot;
                                 QTest::qWait(1'000);
                                 m_shot = screen->grabWindow(window->id).toImage();
                                 return !m_shot.isNull() && m_shot == previous;
                             }()),
                             60'000);
    QCOMPARE(m_application.state(), QProcess::Running);

    const QString artifacts = QStringLiteral(CONNECTOR_ARTIFACTS_DIR);
    QVERIFY(QDir().mkpath(artifacts));
    const QString pngPath = QDir(artifacts).filePath(u"connector-window.png"_s);
    QVERIFY(m_shot.save(pngPath));
    qInfo("Screenshot: %s", qPrintable(pngPath));
    m_shot = m_shot.convertToFormat(QImage::Format_RGB32);
}

void ConnectorScreenshotTest::window_hasDefaultSize()
{
    QCOMPARE(m_shot.size(), QSize(1080, 780));
}

void ConnectorScreenshotTest::window_isDarkGradientInEveryCorner()
{
    const int right = m_shot.width() - 1;
    const int bottom = m_shot.height() - 1;
    for (const QPoint corner : {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom)}) {
        const QColor expected = backgroundAt(corner, m_shot.size());
        QVERIFY2(channelDistance(m_shot.pixel(corner), expected) <= 4,
                 qPrintable(u"corner %1,%2 is %3, expected about %4"_s.arg(corner.x())
                                .arg(corner.y())
                                .arg(QColor(m_shot.pixel(corner)).name(), expected.name())));
    }
}

void ConnectorScreenshotTest::window_showsPairingCodeInGold()
{
    QCOMPARE_GE(longestGoldDigitRow(m_shot), 6);
}

void ConnectorScreenshotTest::window_qrCodeScansToPairingLink()
{
    const std::optional<QString> address = preferredLocalIPv4Address();
    if (!address)
        QSKIP("this computer has no network address, so the window shows no QR code");
    QProcess zbarimg;
    zbarimg.start(u"zbarimg"_s,
                  {u"--quiet"_s, u"--raw"_s,
                   QDir(QStringLiteral(CONNECTOR_ARTIFACTS_DIR)).filePath(u"connector-window.png"_s)});
    QVERIFY2(zbarimg.waitForFinished(30'000), qPrintable(zbarimg.errorString()));
    const QString payload = QString::fromUtf8(zbarimg.readAllStandardOutput()).trimmed();
    QVERIFY2(payload.startsWith(u"tarvikdjremote://pair?"_s), qPrintable(payload));
    QVERIFY2(payload.contains(u"platform=serato"_s), qPrintable(payload));
    QVERIFY2(payload.contains(u"address=http://"_s + *address + u":53731"_s), qPrintable(payload));
}

void ConnectorScreenshotTest::application_stopsCleanlyOnTerminate()
{
    m_application.terminate();
    QVERIFY(m_application.waitForFinished(20'000));
    QCOMPARE(m_application.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_application.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!findWindow(), 10'000);
}

void ConnectorScreenshotTest::cleanupTestCase()
{
    if (m_application.state() == QProcess::NotRunning)
        return;
    m_application.kill();
    m_application.waitForFinished();
}

int main(int argc, char *argv[])
{
    // Without an X server this process falls back to the offscreen platform and the test skips (or
    // fails under CI); asking first keeps QGuiApplication from aborting on a missing display.
    const bool xServerAvailable = std::system("xdpyinfo >/dev/null 2>&1") == 0;
    if (!xServerAvailable)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ConnectorScreenshotTest test(xServerAvailable);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_connectorscreenshot.moc"
