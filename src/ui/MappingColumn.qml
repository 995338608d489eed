pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Layouts
import Tarvik.Connector

// One deck's column of the Serato guide's fallback: a button per command that sends its raw note
// pulse, so each control can be mapped by hand in Serato. Buttons are named
// "<objectName>.<command>".
Rectangle {
    id: column

    required property ConnectorModel model
    // The deck's raw value, "left" or "right".
    required property string deck
    required property color tint

    implicitWidth: content.implicitWidth + 32
    implicitHeight: content.implicitHeight + 32
    radius: 16
    color: Qt.rgba(1, 1, 1, 0.06)

    ColumnLayout {
        id: content

        anchors.fill: parent
        anchors.margins: 16
        spacing: 10

        Row {
            spacing: 6

            Icon {
                symbol: column.deck === "left" ? "arrow.left.circle.fill" : "arrow.right.circle.fill"
                color: column.tint
                font.pixelSize: 15
                height: parent.height
            }

            Text {
                text: Vocabulary.deckDisplayName(column.deck).toUpperCase() + " DECK"
                color: column.tint
                font.family: Theme.fontFamily
                font.pixelSize: Theme.captionSize
                font.weight: Theme.heavy
                height: Math.max(implicitHeight, 16)
                verticalAlignment: Text.AlignVCenter
            }
        }

        Repeater {
            model: [
                { text: "MAP PLAY / PAUSE", command: "play", fill: Theme.green, foreground: "white" },
                { text: "MAP ADVANCE", command: "advance", fill: Theme.purple, foreground: "white" },
                { text: "MAP STOP / CUE", command: "stop", fill: Theme.red, foreground: "white" },
                { text: "MAP LOAD TRACK", command: "load", fill: Theme.cyan, foreground: "black" }
            ]

            delegate: ConnectorButton {
                required property var modelData

                objectName: column.objectName + "." + modelData.command
                Layout.fillWidth: true
                text: modelData.text
                tint: modelData.fill
                foreground: modelData.foreground
                onClicked: column.model.sendSeratoMappingPulse(modelData.command, column.deck)
            }
        }
    }
}
