import QtQuick
import QtQuick.Controls.Basic

// A plain push button for the settings sheet, with an optional leading symbol.
Button {
    id: button

    property string symbol

    leftPadding: 12
    rightPadding: 12
    topPadding: 6
    bottomPadding: 6
    font.family: Theme.fontFamily
    font.pixelSize: Theme.bodySize

    contentItem: Row {
        spacing: 6

        Icon {
            visible: button.symbol !== ""
            symbol: button.symbol
            color: label.color
            font.pixelSize: 15
            height: parent.height
        }

        Text {
            id: label

            text: button.text
            font: button.font
            color: button.enabled ? "white" : Qt.rgba(1, 1, 1, 0.35)
        }
    }

    background: Rectangle {
        implicitHeight: 28
        radius: 7
        color: Qt.rgba(1, 1, 1, button.down ? 0.2 : 0.12)
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 0.14)
    }
}
