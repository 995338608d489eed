import QtQuick
import QtQuick.Layouts
import Tarvik.Connector

// Deck test buttons for the deck chosen in the picker; the first one pauses a playing deck.
ConnectorCard {
    id: testCard

    required property ConnectorModel model
    // The selected deck counts as playing only on the exact state word.
    readonly property bool selectedDeckPlaying: (model.selectedTestDeck === "left" ? model.leftState : model.rightState) === "playing"

    objectName: "testCard"

    contentItem: ColumnLayout {
        spacing: 14

        RowLayout {
            Layout.fillWidth: true

            SectionTitle {
                title: "TEST DJ CONTROLS"
                symbol: "button.programmable"
            }

            Item {
                Layout.fillWidth: true
            }

            SegmentedControl {
                objectName: "deckPicker"
                Layout.preferredWidth: 230
                label: "Deck"
                options: [
                    { text: "LEFT DECK", value: "left" },
                    { text: "RIGHT DECK", value: "right" }
                ]
                currentValue: testCard.model.selectedTestDeck
                onActivated: value => testCard.model.selectedTestDeck = value
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            TestButton {
                objectName: "testButtonPlayPause"
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                command: testCard.selectedDeckPlaying ? "pause" : "play"
                fill: testCard.selectedDeckPlaying ? Theme.gold : Theme.green
                foreground: testCard.selectedDeckPlaying ? "black" : "white"
                onClicked: testCard.model.sendTestCommand(command)
            }

            TestButton {
                objectName: "testButtonAdvance"
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                command: "advance"
                fill: Theme.purple
                foreground: "white"
                onClicked: testCard.model.sendTestCommand(command)
            }

            TestButton {
                objectName: "testButtonStop"
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                command: "stop"
                fill: Theme.red
                foreground: "white"
                onClicked: testCard.model.sendTestCommand(command)
            }

            TestButton {
                objectName: "testButtonLoad"
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                command: "load"
                fill: Theme.cyan
                foreground: "black"
                onClicked: testCard.model.sendTestCommand(command)
            }
        }

        Text {
            objectName: "expectedState"
            text: (testCard.model.deckStateReported
                   ? "Reported by " + testCard.model.selectedPlatformDisplayName + ": left "
                   : "Expected state: left ") + testCard.model.leftState + ", right " + testCard.model.rightState
            color: Theme.muted
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
        }
    }
}
