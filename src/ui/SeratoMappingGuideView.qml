pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Tarvik.Connector

// The Serato set-up guide sheet: install the preset, enable the device in Serato, and a fallback
// that sends each control's raw note so it can be mapped by hand. 620 high collapsed, 750 expanded.
Item {
    id: guide

    required property ConnectorModel model
    property bool showManualMappingFallback: false

    signal dismissRequested

    objectName: "seratoMappingGuide"
    implicitWidth: 840
    implicitHeight: showManualMappingFallback ? 750 : 620

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 18

        RowLayout {
            Layout.fillWidth: true
            spacing: 18

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 6

                Text {
                    text: "SERATO SETUP — ABOUT ONE MINUTE"
                    color: "white"
                    font.family: Theme.fontFamily
                    font.pixelSize: 23
                    font.weight: Theme.heavy
                }

                Text {
                    Layout.fillWidth: true
                    text: "The included preset installs Play/Pause, Advance, Stop/Cue, and Load Track for both decks. Serato requires one final enable-and-select step."
                    color: Theme.muted
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.bodySize
                    wrapMode: Text.WordWrap
                }
            }

            ConnectorButton {
                objectName: "guideDoneButton"
                Layout.alignment: Qt.AlignTop
                text: "DONE"
                tint: Theme.gold
                foreground: "black"
                onClicked: guide.dismissRequested()
            }
        }

        ConnectorButton {
            objectName: "guideInstallButton"
            symbol: "square.and.arrow.down.fill"
            text: guide.model.mappingInstalled ? "REINSTALL SERATO PRESET" : "INSTALL SERATO PRESET"
            tint: guide.model.mappingInstalled ? Theme.green : Theme.purple
            onClicked: guide.model.installSeratoMapping()
        }

        Row {
            id: presetState

            readonly property color tone: guide.model.mappingInstalled ? Theme.green : Theme.gold

            spacing: 6

            Icon {
                symbol: guide.model.mappingInstalled ? "checkmark.circle.fill" : "exclamationmark.circle.fill"
                color: presetState.tone
                font.pixelSize: 15
                height: parent.height
            }

            Text {
                objectName: "presetStateText"
                text: guide.model.mappingInstalled ? "Tarvik Remote preset is installed." : "Preset is not installed yet."
                color: presetState.tone
                font.family: Theme.fontFamily
                font.pixelSize: Theme.calloutSize
                font.weight: Font.Bold
            }
        }

        Repeater {
            model: [
                "Keep DJ Connector open, connect the controller, and open Serato DJ Pro.",
                "In Serato, open Setup → MIDI and select Tarvik DJ Connector Serato.",
                "Turn on Enable MIDI Device, choose Tarvik Remote from the MIDI Preset menu, and click Load.",
                "Close Setup and test Play, Advance, Stop, and Load Track."
            ]

            delegate: MappingStep {
                required property int index
                required property string modelData

                Layout.fillWidth: true
                number: index + 1
                text: modelData
            }
        }

        Text {
            Layout.fillWidth: true
            text: "For the REV7, keep Allow Serato Hardware Remapping off. DJ Connector is a separate MIDI device and does not replace or disable the controller."
            color: Theme.gold
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
            font.weight: Font.DemiBold
            wrapMode: Text.WordWrap
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: fallback.implicitHeight + 28
            radius: 12
            color: Qt.rgba(0, 0, 0, 0.24)

            ColumnLayout {
                id: fallback

                anchors.fill: parent
                anchors.margins: 14
                spacing: 12

                AbstractButton {
                    objectName: "manualFallbackToggle"
                    Layout.fillWidth: true
                    text: "MANUAL MAPPING FALLBACK"
                    checked: guide.showManualMappingFallback
                    onClicked: guide.showManualMappingFallback = !guide.showManualMappingFallback

                    contentItem: Row {
                        spacing: 6

                        Icon {
                            symbol: guide.showManualMappingFallback ? "chevron.down" : "chevron.right"
                            color: Theme.cyan
                            font.pixelSize: 16
                            height: parent.height
                        }

                        Text {
                            text: "MANUAL MAPPING FALLBACK"
                            color: Theme.cyan
                            font.family: Theme.fontFamily
                            font.pixelSize: Theme.captionSize
                            font.weight: Theme.heavy
                            height: Math.max(implicitHeight, 18)
                            verticalAlignment: Text.AlignVCenter
                        }
                    }
                }

                RowLayout {
                    Layout.fillWidth: true
                    visible: guide.showManualMappingFallback
                    spacing: 14

                    MappingColumn {
                        objectName: "mappingColumnLeft"
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1
                        model: guide.model
                        deck: "left"
                        tint: Theme.cyan
                    }

                    MappingColumn {
                        objectName: "mappingColumnRight"
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1
                        model: guide.model
                        deck: "right"
                        tint: Theme.purple
                    }
                }
            }
        }

        Item {
            Layout.fillHeight: true
        }
    }
}
