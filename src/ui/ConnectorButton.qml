import QtQuick
import QtQuick.Controls.Basic

// The filled, rounded, upper-case action button. While pressed its fill dims to 68 % and it
// shrinks to 98 % about its centre.
Button {
    id: button

    required property color tint
    property color foreground: "white"
    property string symbol

    implicitHeight: Math.max(40, implicitContentHeight + topPadding + bottomPadding)
    leftPadding: 14
    rightPadding: 14
    topPadding: 6
    bottomPadding: 6
    scale: down ? 0.98 : 1
    font.family: Theme.fontFamily
    font.pixelSize: 12
    font.weight: Theme.heavy

    contentItem: Item {
        implicitWidth: label.implicitWidth
        implicitHeight: label.implicitHeight

        Row {
            id: label

            anchors.centerIn: parent
            spacing: 6

            Icon {
                visible: button.symbol !== ""
                symbol: button.symbol
                color: button.foreground
                font.pixelSize: 15
                height: parent.height
            }

            Text {
                text: button.text
                font: button.font
                color: button.foreground
                height: implicitHeight
                verticalAlignment: Text.AlignVCenter
            }
        }
    }

    background: Rectangle {
        objectName: "fill"
        radius: 12
        color: button.tint
        opacity: button.down ? 0.68 : 1
    }
}
