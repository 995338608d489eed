import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Tarvik.Connector

// The settings sheet: product and version, the update check, the download and support links, and
// quitting the connector (closing the window leaves it running).
Item {
    id: settings

    required property ConnectorModel model

    signal dismissRequested
    signal quitRequested

    objectName: "connectorSettings"
    implicitWidth: 470
    implicitHeight: content.implicitHeight + 52

    ColumnLayout {
        id: content

        anchors.fill: parent
        anchors.margins: 26
        spacing: 18

        RowLayout {
            Layout.fillWidth: true

            ColumnLayout {
                spacing: 4

                Text {
                    text: "APP SETTINGS"
                    color: Theme.gold
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.captionSize
                    font.weight: Theme.heavy
                    font.letterSpacing: 1.5
                }

                Text {
                    text: settings.model.productName
                    color: "white"
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.titleSize
                    font.weight: Theme.heavy
                }
            }

            Item {
                Layout.fillWidth: true
            }

            SystemButton {
                objectName: "settingsDoneButton"
                Layout.alignment: Qt.AlignTop
                text: "Done"
                onClicked: settings.dismissRequested()
            }
        }

        Divider {}

        RowLayout {
            Layout.fillWidth: true

            Text {
                text: "Version"
                color: "white"
                font.family: Theme.fontFamily
                font.pixelSize: Theme.bodySize
            }

            Item {
                Layout.fillWidth: true
            }

            Text {
                objectName: "versionValue"
                text: settings.model.versionText
                color: Theme.muted
                font.family: Theme.fontFamily
                font.pixelSize: Theme.bodySize
            }
        }

        SystemButton {
            objectName: "checkForUpdatesButton"
            text: "Check for Updates"
            symbol: "arrow.triangle.2.circlepath"
            enabled: !settings.model.isCheckingForUpdates
            onClicked: settings.model.checkForUpdates()
        }

        Text {
            objectName: "updateMessage"
            Layout.fillWidth: true
            text: settings.model.updateMessage
            color: Theme.muted
            font.family: Theme.fontFamily
            font.pixelSize: Theme.calloutSize
            wrapMode: Text.WordWrap
        }

        SystemButton {
            objectName: "downloadUpdateButton"
            visible: settings.model.downloadUpdateURL.toString() !== ""
            text: "Download Latest Update"
            onClicked: Qt.openUrlExternally(settings.model.downloadUpdateURL)
        }

        Divider {}

        SystemButton {
            objectName: "contactSupportButton"
            text: "Contact Tarvik Support"
            symbol: "envelope.fill"
            onClicked: Qt.openUrlExternally(settings.model.supportURL)
        }

        Text {
            Layout.fillWidth: true
            text: "This free connector contains no payment, licensing, browser remote, advertising, analytics, or tracking. It accepts paired commands only on your private local network."
            color: Theme.muted
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
            wrapMode: Text.WordWrap
        }

        Divider {}

        SystemButton {
            objectName: "quitButton"
            text: "Quit DJ Connector"
            symbol: "power"
            onClicked: settings.quitRequested()
        }
    }
}
