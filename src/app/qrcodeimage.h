#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>

// The pairing QR code (level M, byte mode) as a bitmap: black modules of 8 × 8 pixels on white,
// with a two-module quiet zone. A null image when the text cannot be encoded.
QImage renderQRCodeImage(const QString &text);

// The same symbol for a terminal: one line per two module rows, one column per module, drawn with
// "▀", "▄", "█" and spaces. Light modules and the quiet zone are drawn, dark ones left blank, so
// the code reads correctly on the usual light-on-dark terminal. Empty when it cannot be encoded.
QStringList renderQRCodeText(const QString &text);
