import QtQuick

// The title every card opens with: a symbol and upper-case words in gold.
Row {
    required property string title
    required property string symbol

    spacing: 7

    Icon {
        symbol: parent.symbol
        color: Theme.gold
        font.pixelSize: 15
        height: parent.height
    }

    Text {
        text: parent.title
        color: Theme.gold
        font.family: Theme.fontFamily
        font.pixelSize: Theme.captionSize
        font.weight: Theme.heavy
        font.letterSpacing: 1.2
        height: Math.max(implicitHeight, 16)
        verticalAlignment: Text.AlignVCenter
    }
}
