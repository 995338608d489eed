import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Qt5Compat.GraphicalEffects
import Tarvik.Connector

// The window's header: logo, product lines, how many devices are connected, the DJ software pill and
// the settings button.
RowLayout {
    id: header

    required property ConnectorModel model

    signal settingsRequested

    spacing: 14

    Item {
        implicitWidth: 62
        implicitHeight: 62

        Rectangle {
            id: logoShape

            anchors.fill: parent
            radius: 14
            visible: false
        }

        Image {
            id: logo

            anchors.fill: parent
            source: "TarvikLogo.png"
            sourceSize: Qt.size(124, 124)
            cache: false
            fillMode: Image.PreserveAspectCrop
            visible: false
        }

        OpacityMask {
            objectName: "logo"
            anchors.fill: parent
            source: logo
            maskSource: logoShape
        }
    }

    ColumnLayout {
        spacing: 2

        Text {
            text: "TARVIK SOFTWARE"
            color: Theme.gold
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
            font.weight: Theme.heavy
            font.letterSpacing: 2.2
        }

        Text {
            text: "DJ Connector"
            color: "white"
            font.family: Theme.fontFamily
            font.pixelSize: 28
            font.weight: Theme.heavy
        }

        Text {
            text: "Connects Tarvik DJ Remote to the DJ software on this computer."
            color: Theme.muted
            font.family: Theme.fontFamily
            font.pixelSize: Theme.calloutSize
        }
    }

    Item {
        Layout.fillWidth: true
    }

    Rectangle {
        objectName: "connectedDevicesPill"
        visible: header.model.connectedDevices > 0
        implicitWidth: connectedText.implicitWidth + 24
        implicitHeight: connectedText.implicitHeight + 18
        radius: height / 2
        color: Qt.rgba(1, 1, 1, 0.07)

        Text {
            id: connectedText

            objectName: "connectedDevicesText"
            anchors.centerIn: parent
            text: header.model.connectedDevices + (header.model.connectedDevices === 1 ? " DEVICE CONNECTED" : " DEVICES CONNECTED")
            color: Theme.green
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
            font.weight: Theme.heavy
        }
    }

    Rectangle {
        objectName: "djSoftwarePill"
        implicitWidth: pill.implicitWidth + 24
        implicitHeight: pill.implicitHeight + 18
        radius: height / 2
        color: Qt.rgba(1, 1, 1, 0.07)

        Row {
            id: pill

            readonly property color tone: header.model.djSoftwareRunning ? Theme.green : Theme.muted

            anchors.centerIn: parent
            spacing: 6

            Icon {
                symbol: header.model.djSoftwareRunning ? "checkmark.circle.fill" : "circle.dashed"
                color: pill.tone
                height: parent.height
            }

            Text {
                objectName: "djSoftwareText"
                text: header.model.djSoftwareRunning ? "DJ SOFTWARE OPEN" : "DJ SOFTWARE CLOSED"
                color: pill.tone
                font.family: Theme.fontFamily
                font.pixelSize: Theme.captionSize
                font.weight: Theme.heavy
            }
        }
    }

    AbstractButton {
        id: settingsButton

        objectName: "settingsButton"
        implicitWidth: 42
        implicitHeight: 42
        Accessible.name: "App Settings"
        onClicked: header.settingsRequested()

        background: Rectangle {
            radius: 21
            color: Qt.rgba(1, 1, 1, settingsButton.down ? 0.14 : 0.08)
        }

        contentItem: Icon {
            symbol: "gearshape.fill"
            color: "white"
            font.pixelSize: Theme.titleSize
        }
    }
}
