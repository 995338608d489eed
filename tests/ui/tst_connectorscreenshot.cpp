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

using namespace Qt::StringLiterals;

namespace {

const QColor kBackground = QColor::fromRgbF(0.018f, 0.05f, 0.105f);
const QColor kBackgroundEnd = QColor::fromRgbF(0.04f, 0.11f, 0.21f);
const QColor kGold = QColor::fromRgbF(0.95f, 0.73f, 0.2f);

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

int channelDistance(QRgb pixel, const QColor &expected)
{
    return std::max({std::abs(qRed(pixel) - expected.red()), std::abs(qGreen(pixel) - expected.green()),
                     std::abs(qBlue(pixel) - expected.blue())});
}

// The background along its top-left to bottom-right diagonal gradient.
QColor backgroundAt(QPoint point, QSize size)
{
    const float w = size.width() - 1;
    const float h = size.height() - 1;
    const float t = (point.x() * w + point.y() * h) / (w * w + h * h);
    auto mix = [t](float from, float to) { return from + (to - from) * t; };
    return QColor::fromRgbF(mix(kBackground.redF(), kBackgroundEnd.redF()),
                            mix(kBackground.greenF(), kBackgroundEnd.greenF()),
                            mix(kBackground.blueF(), kBackgroundEnd.blueF()));
}

// The widest run of digit-sized connected gold regions side by side on one line: the pairing code
// is six of them, nothing else in the window is more than a few.
int longestGoldDigitRow(const QImage &image)
{
    const int width = image.width();
    QList<bool> gold(qsizetype(width) * image.height());
    for (qsizetype i = 0; i < gold.size(); ++i)
        gold[i] = channelDistance(image.pixel(int(i % width), int(i / width)), kGold) <= 40;
    QList<QRect> digits;
    for (qsizetype start = 0; start < gold.size(); ++start) {
        if (!gold[start])
            continue;
        gold[start] = false;
        QList<QPoint> stack{QPoint(int(start % width), int(start / width))};
        QRect box(stack.first(), QSize(1, 1));
        while (!stack.isEmpty()) {
            const QPoint p = stack.takeLast();
            box |= QRect(p, QSize(1, 1));
            for (const QPoint q : {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)}) {
                if (image.rect().contains(q) && gold[qsizetype(q.y()) * width + q.x()]) {
                    gold[qsizetype(q.y()) * width + q.x()] = false;
                    stack.append(q);
                }
            }
        }
        if (box.height() >= 20 && box.height() <= 40 && box.width() >= 4 && box.width() <= 30)
            digits.append(box);
    }
    qsizetype best = 0;
    for (const QRect &first : digits) {
        best = std::max(best, std::count_if(digits.begin(), digits.end(), [&](const QRect &other) {
                            return std::abs(other.top() - first.top()) <= 3
                                   && std::abs(other.center().x() - first.center().x()) <= 200;
                        }));
    }
    return int(best);
}

} // namespace

// Starts the real application under an X server, grabs its window once it has settled and checks
// what a person would see. The picture stays in the build tree for a person to look at.
class ConnectorScreenshotTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void window_showsDefaultSizeBackgroundAndGoldPairingCode();
    void application_stopsCleanlyOnTerminate();
    void cleanupTestCase();

private:
    QTemporaryDir m_home;
    QProcess m_application;
    QImage m_shot;
};

void ConnectorScreenshotTest::initTestCase()
{
    CONNECTOR_REQUIRE_SERVICE(xServerAvailable(),
                              u"an X server on DISPLAY (tools/services starts Xvfb on :99)"_s);
    QVERIFY2(!viewableWindow(), "another connector window is already open on this display");
    QVERIFY(m_home.isValid());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The application chooses its platform itself, as it does when a person starts it.
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.insert(u"HOME"_s, m_home.path());
    // Mesa's GL driver and libdbus keep one-time allocations past exit, some reported against the
    // unloaded driver where no suppression can name them; tst_connectorwindow leak-checks the window.
    if (environment.contains(u"ASAN_OPTIONS"_s))
        environment.insert(u"ASAN_OPTIONS"_s, environment.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
    // Settings and caches land in the temporary home; the runtime folder must be private, as it is.
    for (const auto variable :
         {"XDG_CONFIG_HOME"_L1, "XDG_DATA_HOME"_L1, "XDG_CACHE_HOME"_L1, "XDG_STATE_HOME"_L1})
        environment.remove(variable);
    environment.insert(u"XDG_RUNTIME_DIR"_s, m_home.path());
    m_application.setProcessEnvironment(environment);
    m_application.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_application.start(QStringLiteral(CONNECTOR_APPLICATION_BINARY), {});
    QVERIFY2(m_application.waitForStarted(), qPrintable(m_application.errorString()));

    WId window = 0;
    QTRY_VERIFY_WITH_TIMEOUT((window = viewableWindow()) != 0, 60'000);
    // Settled once two grabs a second apart agree.
    QScreen *screen = QGuiApplication::primaryScreen();
    QImage previous;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 previous = m_shot;
                                 QTest::qWait(1'000);
                                 m_shot = screen->grabWindow(window).toImage();
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

void ConnectorScreenshotTest::window_showsDefaultSizeBackgroundAndGoldPairingCode()
{
    QCOMPARE(m_shot.size(), QSize(1080, 780));
    const QPoint far(m_shot.width() - 1, m_shot.height() - 1);
    for (const QPoint corner : {QPoint(0, 0), QPoint(far.x(), 0), QPoint(0, far.y()), far}) {
        const QColor expected = backgroundAt(corner, m_shot.size());
        QVERIFY2(channelDistance(m_shot.pixel(corner), expected) <= 4,
                 qPrintable(QColor(m_shot.pixel(corner)).name() + u" instead of "_s + expected.name()));
    }
    QCOMPARE_GE(longestGoldDigitRow(m_shot), 6);
}

void ConnectorScreenshotTest::application_stopsCleanlyOnTerminate()
{
    m_application.terminate();
    QVERIFY(m_application.waitForFinished(20'000));
    QCOMPARE(m_application.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_application.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!viewableWindow(), 10'000);
}

void ConnectorScreenshotTest::cleanupTestCase()
{
    m_application.kill();
    m_application.waitForFinished();
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
