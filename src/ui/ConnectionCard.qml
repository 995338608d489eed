import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Tarvik.Connector

// Connecting a phone or tablet: QR code, pairing code, the paired devices and the manual address.
ConnectorCard {
    id: connectionCard

    required property ConnectorModel model

    // FORGET on a device's row; the view asks before the model forgets it.
    signal forgetRequested(string id, string name)

    objectName: "connectionCard"

    contentItem: ColumnLayout {
        spacing: 12

        SectionTitle {
            title: "CONNECT IPHONE OR IPAD"
            symbol: "iphone.radiowaves.left.and.right"
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 14

            Rectangle {
                objectName: "pairingQRFrame"
                Layout.alignment: Qt.AlignTop
                visible: connectionCard.model.pairingPayload !== ""
                implicitWidth: 146
                implicitHeight: 146
                radius: 14
                color: "white"

                Image {
                    objectName: "pairingQRImage"
                    anchors.centerIn: parent
                    width: 130
                    height: 130
                    // Nearest-neighbour scaling keeps the modules sharp for scanners.
                    smooth: false
                    mipmap: false
                    // Each payload is shown once; superseded codes need not stay in memory.
                    cache: false
                    fillMode: Image.PreserveAspectFit
                    source: connectionCard.model.pairingPayload === "" ? "" : "image://pairingqr/" + encodeURIComponent(connectionCard.model.pairingPayload)
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                spacing: 6

                Text {
                    text: "SCAN TO CONNECT"
                    color: Theme.muted
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.caption2Size
                    font.weight: Theme.heavy
                    font.letterSpacing: 1.5
                }

                TextEdit {
                    objectName: "pairingCode"
                    text: connectionCard.model.pairingCode
                    readOnly: true
                    selectByMouse: true
                    color: Theme.gold
                    selectionColor: Qt.rgba(1, 1, 1, 0.25)
                    selectedTextColor: Theme.gold
                    font.family: Theme.monospacedFontFamily
                    font.pixelSize: 36
                    font.weight: Theme.heavy
                    font.letterSpacing: 4
                }

                Text {
                    Layout.fillWidth: true
                    text: "In Tarvik DJ Remote, tap Scan Connector QR Code. One scan selects " + connectionCard.model.selectedPlatformDisplayName + " and pairs this device."
                    color: Qt.rgba(1, 1, 1, 0.86)
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.captionSize
                    wrapMode: Text.WordWrap
                }
            }
        }

        Divider {}

        RowLayout {
            Layout.fillWidth: true

            Row {
                id: paired

                readonly property color tone: connectionCard.model.pairedDevices > 0 ? Theme.green : Theme.muted

                objectName: "pairedDevices"
                spacing: 6

                Icon {
                    symbol: "checkmark.shield.fill"
                    color: paired.tone
                    height: parent.height
                }

                Text {
                    objectName: "pairedDevicesText"
                    text: connectionCard.model.pairedDevices + " paired"
                    color: paired.tone
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.captionSize
                    font.weight: Theme.heavy
                }
            }

            Item {
                Layout.fillWidth: true
            }

            AbstractButton {
                id: resetPairingButton

                objectName: "resetPairingButton"
                text: "RESET PAIRING"
                onClicked: connectionCard.model.resetPairing()

                contentItem: Text {
                    text: resetPairingButton.text
                    color: Theme.red
                    opacity: resetPairingButton.down ? 0.6 : 1
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.captionSize
                    font.weight: Theme.heavy
                }
            }
        }

        ColumnLayout {
            objectName: "deviceList"
            Layout.fillWidth: true
            visible: connectionCard.model.devices.length > 0
            spacing: 8

            Repeater {
                model: connectionCard.model.devices

                delegate: RowLayout {
                    id: device

                    required property var modelData

                    objectName: "device." + modelData.id
                    Layout.fillWidth: true
                    spacing: 8

                    Rectangle {
                        Layout.alignment: Qt.AlignTop
                        Layout.topMargin: 4
                        implicitWidth: 8
                        implicitHeight: 8
                        radius: 4
                        color: device.modelData.connected ? Theme.green : Qt.rgba(1, 1, 1, 0.25)
                    }

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 1

                        Text {
                            Layout.fillWidth: true
                            text: device.modelData.name
                            color: "white"
                            elide: Text.ElideRight
                            font.family: Theme.fontFamily
                            font.pixelSize: Theme.calloutSize
                            font.weight: Font.Bold
                        }

                        Text {
                            Layout.fillWidth: true
                            objectName: "device." + device.modelData.id + ".presence"
                            text: device.modelData.address + " · " + device.modelData.presence
                            color: device.modelData.connected ? Theme.green : Theme.muted
                            elide: Text.ElideRight
                            font.family: Theme.fontFamily
                            font.pixelSize: Theme.caption2Size
                        }
                    }

                    AbstractButton {
                        id: forgetButton

                        objectName: "device." + device.modelData.id + ".forget"
                        text: "FORGET"
                        onClicked: connectionCard.forgetRequested(device.modelData.id, device.modelData.name)

                        contentItem: Text {
                            text: forgetButton.text
                            color: Theme.red
                            opacity: forgetButton.down ? 0.6 : 1
                            font.family: Theme.fontFamily
                            font.pixelSize: Theme.caption2Size
                            font.weight: Theme.heavy
                        }
                    }
                }
            }
        }

        Divider {}

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4

            Text {
                text: "MANUAL ADDRESS"
                color: Theme.muted
                font.family: Theme.fontFamily
                font.pixelSize: Theme.caption2Size
                font.weight: Theme.heavy
            }

            RowLayout {
                spacing: 8

                TextEdit {
                    objectName: "remoteAddress"
                    text: connectionCard.model.remoteAddress
                    readOnly: true
                    selectByMouse: true
                    color: "white"
                    selectionColor: Qt.rgba(1, 1, 1, 0.25)
                    font.family: Theme.monospacedFontFamily
                    font.pixelSize: Theme.captionSize
                    font.weight: Font.Bold
                }

                AbstractButton {
                    id: copyAddressButton

                    objectName: "copyAddressButton"
                    implicitWidth: 24
                    implicitHeight: 22
                    Accessible.name: "Copy Address"
                    onClicked: connectionCard.model.copyAddress()

                    contentItem: Icon {
                        symbol: "doc.on.doc.fill"
                        color: copyAddressButton.down ? Theme.muted : "white"
                    }
                }
            }

            Text {
                Layout.fillWidth: true
                text: "Manual address is only a backup if QR scanning and automatic discovery are unavailable."
                color: Theme.muted
                font.family: Theme.fontFamily
                font.pixelSize: Theme.caption2Size
                wrapMode: Text.WordWrap
            }
        }
    }
}
