#include "app/qrcodeimage.h"

#include <qrcodegen/qrcodegen.hpp>

#include <QPainter>

#include <vector>

namespace {

constexpr int kQuietZoneModules = 2;
constexpr int kPixelsPerModule = 8;

std::optional<qrcodegen::QrCode> encode(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    const std::vector<std::uint8_t> bytes(utf8.cbegin(), utf8.cend());
    try {
        return qrcodegen::QrCode::encodeBinary(bytes, qrcodegen::QrCode::Ecc::MEDIUM);
    } catch (const qrcodegen::data_too_long &) {
        return std::nullopt;
    }
}

// Whether the module at (x, y) is dark; coordinates include the quiet zone, which is light.
bool isDark(const qrcodegen::QrCode &code, int x, int y)
{
    return code.getModule(x - kQuietZoneModules, y - kQuietZoneModules);
}

} // namespace

QImage renderQRCodeImage(const QString &text)
{
    const std::optional<qrcodegen::QrCode> code = encode(text);
    if (!code)
        return {};

    const int modules = code->getSize() + 2 * kQuietZoneModules;
    QImage image(modules * kPixelsPerModule, modules * kPixelsPerModule, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < modules; ++y) {
        for (int x = 0; x < modules; ++x) {
            if (isDark(*code, x, y))
                painter.fillRect(x * kPixelsPerModule, y * kPixelsPerModule, kPixelsPerModule,
                                 kPixelsPerModule, Qt::black);
        }
    }
    return image;
}

QStringList renderQRCodeText(const QString &text)
{
    const std::optional<qrcodegen::QrCode> code = encode(text);
    if (!code)
        return {};

    const int modules = code->getSize() + 2 * kQuietZoneModules;
    QStringList lines;
    for (int y = 0; y < modules; y += 2) {
        QString line;
        line.reserve(modules);
        for (int x = 0; x < modules; ++x) {
            const bool topLight = !isDark(*code, x, y);
            // An odd count leaves the last line's lower half outside the symbol: draw it dark (blank).
            const bool bottomLight = y + 1 < modules && !isDark(*code, x, y + 1);
            if (topLight && bottomLight)
                line += QChar(0x2588);
            else if (topLight)
                line += QChar(0x2580);
            else if (bottomLight)
                line += QChar(0x2584);
            else
                line += u' ';
        }
        lines << line;
    }
    return lines;
}
