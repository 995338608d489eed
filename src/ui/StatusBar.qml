import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Tarvik.Connector

// The bar closing the window: MIDI dot, server status, the latest message (or, while settings cannot
// be saved, that warning), the way to the activity log (red once the log cannot be written) and the
// version.
Rectangle {
    id: statusBar

    required property ConnectorModel model

    signal activityRequested

    objectName: "statusBar"
    implicitHeight: 38
    color: Qt.rgba(0, 0, 0, 0.26)

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 13
        anchors.rightMargin: 13
        spacing: 10

        Rectangle {
            objectName: "statusDot"
            implicitWidth: 9
            implicitHeight: 9
            radius: 4.5
            color: statusBar.model.midiError !== "" ? Theme.red : Theme.green
        }

        Text {
            objectName: "serverStatus"
            Layout.maximumWidth: 380
            text: statusBar.model.serverStatus
            color: "white"
            elide: Text.ElideRight
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
            font.weight: Font.Bold
        }

        Rectangle {
            implicitWidth: 1
            implicitHeight: 16
            color: Qt.rgba(1, 1, 1, 0.2)
        }

        Text {
            id: settingsWarning

            objectName: "settingsWarning"
            Layout.fillWidth: true
            visible: text !== ""
            text: statusBar.model.settingsWarning
            color: Theme.red
            elide: Text.ElideMiddle
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
            font.weight: Font.Bold
        }

        Text {
            objectName: "lastCommand"
            Layout.fillWidth: true
            visible: !settingsWarning.visible
            text: statusBar.model.lastCommand
            color: Theme.muted
            elide: Text.ElideRight
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
        }

        AbstractButton {
            id: activityButton

            objectName: "activityButton"
            text: "ACTIVITY"
            onClicked: statusBar.activityRequested()

            contentItem: Text {
                text: activityButton.text
                color: statusBar.model.activityLogWarning !== "" ? Theme.red : Theme.cyan
                opacity: activityButton.down ? 0.6 : 1
                font.family: Theme.fontFamily
                font.pixelSize: Theme.caption2Size
                font.weight: Theme.heavy
            }
        }

        Text {
            objectName: "versionText"
            text: "v" + statusBar.model.versionText
            color: "white"
            font.family: Theme.fontFamily
            font.pixelSize: Theme.caption2Size
            font.weight: Font.Bold
        }
    }
}
