#include "app/pairingpayload.h"
#include "app/qrcodeimage.h"
#include "support/servicerequirement.h"

#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Decodes a picture with the real zbar decoder; none when zbarimg finds no symbol.
std::optional<QString> decodeWithZbar(const QImage &image)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"code.png"_s);
    if (!image.save(file))
        return std::nullopt;
    QProcess zbar;
    zbar.start(u"zbarimg"_s, {u"--raw"_s, u"-q"_s, file});
    if (!zbar.waitForFinished(30000) || zbar.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

// Paints terminal lines back into a picture, light where a half block is drawn.
QImage pictureOfTerminalLines(const QStringList &lines)
{
    const int columns = int(lines.constFirst().size());
    QImage image(columns * 8, int(lines.size()) * 16, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    for (int row = 0; row < lines.size(); ++row) {
        for (int column = 0; column < columns; ++column) {
            const QChar c = lines[row][column];
            const bool top = c == QChar(0x2588) || c == QChar(0x2580);
            const bool bottom = c == QChar(0x2588) || c == QChar(0x2584);
            if (top)
                painter.fillRect(column * 8, row * 16, 8, 8, Qt::white);
            if (bottom)
                painter.fillRect(column * 8, row * 16 + 8, 8, 8, Qt::white);
        }
    }
    // A margin of light, as the terminal's own background is dark.
    QImage framed(image.width() + 64, image.height() + 64, QImage::Format_RGB32);
    framed.fill(Qt::white);
    QPainter(&framed).drawImage(32, 32, image);
    return framed;
}

} // namespace

class PairingQRCodeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void payload_matchesTheCompanionAppsForm_data();
    void payload_matchesTheCompanionAppsForm();
    void payload_needsSixCharactersAndAnHttpAddress();
    void image_drawsEightPixelModulesThatZbarReads();
    void text_drawsOnlyHalfBlocksAndReadsBackAsTheSamePayload();
};

void PairingQRCodeTest::payload_matchesTheCompanionAppsForm_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");

    QTest::newRow("serato")
        << DJPlatform::serato << u"http://192.168.1.20:53731"_s
        << u"tarvikdjremote://pair?platform=serato&address=http://192.168.1.20:53731&code=123456"_s;
    QTest::newRow("virtualDJ keeps its capitals")
        << DJPlatform::virtualDJ << u"http://10.0.0.7:53732"_s
        << u"tarvikdjremote://pair?platform=virtualDJ&address=http://10.0.0.7:53732&code=123456"_s;
    // Found by fuzzing: a "%" went in as the start of an escape, so the app read a different address.
    QTest::newRow("a percent sign stays literal")
        << DJPlatform::serato << u"http://h/%41"_s
        << u"tarvikdjremote://pair?platform=serato&address=http://h/%2541&code=123456"_s;
}

void PairingQRCodeTest::payload_matchesTheCompanionAppsForm()
{
    QFETCH(DJPlatform, platform);
    QFETCH(QString, address);
    QFETCH(QString, expected);
    QCOMPARE(pairingPayload(platform, address, u"123456"_s), expected);
}

void PairingQRCodeTest::payload_needsSixCharactersAndAnHttpAddress()
{
    QVERIFY(!pairingPayload(DJPlatform::serato, u"Finding this Mac…"_s, u"123456"_s));
    QVERIFY(!pairingPayload(DJPlatform::serato, u"http://1.2.3.4:53731"_s, u"12345"_s));
    // A six-character placeholder still forms a payload; the code's characters are not judged.
    QVERIFY(pairingPayload(DJPlatform::serato, u"http://1.2.3.4:53731"_s, u"------"_s));
    // A value that needs escaping keeps the query's structure intact.
    QCOMPARE(pairingPayload(DJPlatform::serato, u"http://a&b=c"_s, u"12 456"_s),
             u"tarvikdjremote://pair?platform=serato&address=http://a%26b%3Dc&code=12%20456"_s);
}

void PairingQRCodeTest::image_drawsEightPixelModulesThatZbarReads()
{
    CONNECTOR_REQUIRE_SERVICE(!QStandardPaths::findExecutable(u"zbarimg"_s).isEmpty(), u"zbarimg"_s);
    const QString payload =
        u"tarvikdjremote://pair?platform=serato&address=http://192.168.1.20:53731&code=042042"_s;
    const QImage image = renderQRCodeImage(payload);
    QVERIFY(!image.isNull());
    QCOMPARE(image.width(), image.height());
    QCOMPARE(image.width() % 8, 0);
    // The symbol's modules: version sizes are 21 + 4k, plus a quiet zone of two modules per side.
    QCOMPARE((image.width() / 8 - 4 - 21) % 4, 0);
    QCOMPARE(decodeWithZbar(image), payload);
}

void PairingQRCodeTest::text_drawsOnlyHalfBlocksAndReadsBackAsTheSamePayload()
{
    CONNECTOR_REQUIRE_SERVICE(!QStandardPaths::findExecutable(u"zbarimg"_s).isEmpty(), u"zbarimg"_s);
    const QString payload =
        u"tarvikdjremote://pair?platform=virtualDJ&address=http://10.0.0.7:53732&code=999999"_s;
    const QStringList lines = renderQRCodeText(payload);
    QVERIFY(!lines.isEmpty());
    const int modules = renderQRCodeImage(payload).width() / 8;
    QCOMPARE(lines.size(), (modules + 1) / 2);
    for (const QString &line : lines) {
        QCOMPARE(line.size(), modules);
        for (QChar c : line)
            QVERIFY2(c == u' ' || c == QChar(0x2580) || c == QChar(0x2584) || c == QChar(0x2588),
                     qPrintable(line));
    }
    QCOMPARE(decodeWithZbar(pictureOfTerminalLines(lines)), payload);
}

QTEST_GUILESS_MAIN(PairingQRCodeTest)
#include "tst_pairingqrcode.moc"
