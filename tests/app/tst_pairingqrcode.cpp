#include "app/qrcodeimage.h"
#include "support/servicerequirement.h"

#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Decodes a picture with the real zbar decoder; empty when zbarimg finds no symbol.
QString decodeWithZbar(const QImage &image)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"code.png"_s);
    QProcess zbar;
    if (image.save(file))
        zbar.start(u"zbarimg"_s, {u"--raw"_s, u"-q"_s, file});
    if (!zbar.waitForFinished(30000) || zbar.exitCode() != 0)
        return {};
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

// Paints terminal lines back into a picture, dark where a half block is drawn (the terminal shows
// them light on dark), within a light margin.
QImage pictureOfTerminalLines(const QStringList &lines)
{
    QImage image(int(lines.constFirst().size()) * 8 + 64, int(lines.size()) * 16 + 64, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.fillRect(0, 0, image.width(), 32, Qt::white);
    painter.fillRect(0, image.height() - 32, image.width(), 32, Qt::white);
    painter.fillRect(0, 0, 32, image.height(), Qt::white);
    painter.fillRect(image.width() - 32, 0, 32, image.height(), Qt::white);
    for (int row = 0; row < lines.size(); ++row) {
        for (int column = 0; column < lines[row].size(); ++column) {
            const QChar c = lines[row][column];
            if (c == QChar(0x2588) || c == QChar(0x2580))
                painter.fillRect(32 + column * 8, 32 + row * 16, 8, 8, Qt::white);
            if (c == QChar(0x2588) || c == QChar(0x2584))
                painter.fillRect(32 + column * 8, 32 + row * 16 + 8, 8, 8, Qt::white);
        }
    }
    return image;
}

} // namespace

// The pairing code as the window draws it and as the terminal prints it, read by a real decoder.
class PairingQRCodeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void imageAndText_readBackAsThePayload()
    {
        CONNECTOR_REQUIRE_SERVICE(!QStandardPaths::findExecutable(u"zbarimg"_s).isEmpty(), u"zbarimg"_s);
        const QString payload =
            u"tarvikdjremote://pair?platform=virtualDJ&address=http://10.0.0.7:53732&code=042042"_s;
        const QImage image = renderQRCodeImage(payload);
        QCOMPARE(image.width(), image.height());
        QCOMPARE(image.width() % 8, 0);
        QCOMPARE(decodeWithZbar(image), payload);

        const QStringList lines = renderQRCodeText(payload);
        QCOMPARE(lines.size(), (image.width() / 8 + 1) / 2);
        for (const QString &line : lines) {
            QCOMPARE(line.size(), image.width() / 8);
            QVERIFY2(QString(line).remove(QRegularExpression(u"[ \u2580\u2584\u2588]"_s)).isEmpty(),
                     qPrintable(line));
        }
        QCOMPARE(decodeWithZbar(pictureOfTerminalLines(lines)), payload);
    }
};

QTEST_GUILESS_MAIN(PairingQRCodeTest)
#include "tst_pairingqrcode.moc"
