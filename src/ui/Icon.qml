import QtQuick
import Tarvik.Connector

// A system symbol, drawn from the bundled icon font.
Text {
    property string symbol

    font.family: Icons.fontFamily
    font.pixelSize: Theme.captionSize + 3
    text: Icons.glyph(symbol)
    verticalAlignment: Text.AlignVCenter
    horizontalAlignment: Text.AlignHCenter
}
