import QtQuick
import QtQuick.Layouts
import Tarvik.Connector

// Setting up the DJ software: the steps of the selected mode, install and open buttons, the MIDI
// state.
ConnectorCard {
    id: setupCard

    required property ConnectorModel model
    readonly property bool seratoMode: model.selectedPlatform === "serato"

    signal guideRequested

    objectName: "setupCard"

    contentItem: ColumnLayout {
        spacing: 12

        SectionTitle {
            title: "COMPUTER SETUP"
            symbol: "desktopcomputer"
        }

        Repeater {
            model: setupCard.seratoMode ? [
                "Click Install Preset to add Play/Pause, Advance, Stop, and Load Track for both decks.",
                "In Setup → MIDI, enable Tarvik DJ Connector Serato, choose Tarvik Remote, and click Load.",
                "Close Setup and test both decks below before the event."
            ] : [
                "Install the included VirtualDJ controller definition and mapper.",
                "Quit and reopen VirtualDJ once after installation.",
                "Test both decks below before the event."
            ]

            delegate: SetupRow {
                required property int index
                required property string modelData

                objectName: "setupStep" + number
                Layout.fillWidth: true
                number: index + 1
                text: modelData
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            ConnectorButton {
                objectName: "installButton"
                Layout.fillWidth: true
                symbol: "square.and.arrow.down.fill"
                text: setupCard.seratoMode ? (setupCard.model.mappingInstalled ? "REINSTALL PRESET" : "INSTALL PRESET") : (setupCard.model.mappingInstalled ? "REINSTALL MAPPING" : "INSTALL MAPPING")
                tint: setupCard.model.mappingInstalled ? Theme.green : Theme.purple
                onClicked: setupCard.seratoMode ? setupCard.model.installSeratoMapping() : setupCard.model.installVirtualDJMapping()
            }

            ConnectorButton {
                objectName: "openButton"
                Layout.fillWidth: true
                symbol: "arrow.up.forward.app.fill"
                text: "OPEN " + setupCard.model.selectedPlatformShortName
                tint: Theme.cyan
                foreground: "black"
                onClicked: setupCard.model.launchDJSoftware()
            }
        }

        ConnectorButton {
            objectName: "openGuideButton"
            Layout.fillWidth: true
            visible: setupCard.seratoMode
            symbol: "checklist"
            text: "OPEN SERATO SETUP GUIDE"
            tint: Qt.rgba(1, 1, 1, 0.1)
            onClicked: setupCard.guideRequested()
        }

        Row {
            id: midiLine

            readonly property bool failed: setupCard.model.midiError !== ""
            readonly property string answerText: setupCard.model.djSoftwareAnswering
                ? setupCard.model.selectedPlatformDisplayName + " is sending deck state."
                : "No deck state from " + setupCard.model.selectedPlatformDisplayName + " yet: reinstall the "
                  + (setupCard.model.selectedPlatform === "serato" ? "preset" : "mapping")
                  + " and enable the device's MIDI output."

            objectName: "midiLine"
            Layout.fillWidth: true
            spacing: 6

            Icon {
                symbol: midiLine.failed ? "exclamationmark.triangle.fill" : "checkmark.circle.fill"
                color: midiLine.failed ? Theme.red : Theme.green
            }

            Text {
                objectName: "midiLineText"
                width: midiLine.width - 24
                text: midiLine.failed ? setupCard.model.midiError
                                      : "Virtual MIDI device ready. " + midiLine.answerText
                color: midiLine.failed ? Theme.red : Theme.green
                font.family: Theme.fontFamily
                font.pixelSize: Theme.captionSize
                font.weight: Font.Bold
                wrapMode: Text.WordWrap
            }
        }
    }
}
