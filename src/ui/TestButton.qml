import QtQuick
import QtQuick.Controls.Basic
import Tarvik.Connector

// A deck test button: the command's symbol above its name, on a soft gradient of its colour.
AbstractButton {
    id: button

    // The command's raw value ("play", "advance", …).
    required property string command
    required property color fill
    required property color foreground

    implicitHeight: Math.max(70, implicitContentHeight + topPadding + bottomPadding)
    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    padding: 10
    text: Vocabulary.commandDisplayName(command)
    opacity: down ? 0.8 : 1

    contentItem: Column {
        spacing: 4

        Icon {
            anchors.horizontalCenter: parent.horizontalCenter
            symbol: Vocabulary.commandSymbol(button.command)
            color: button.foreground
            font.pixelSize: Theme.titleSize + 4
        }

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: button.text
            color: button.foreground
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
            font.weight: Theme.heavy
        }
    }

    background: Rectangle {
        radius: 14
        gradient: Gradient {
            GradientStop {
                position: 0
                color: Qt.lighter(button.fill, 1.15)
            }
            GradientStop {
                position: 1
                color: Qt.darker(button.fill, 1.1)
            }
        }
    }
}
