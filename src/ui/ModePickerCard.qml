import QtQuick
import QtQuick.Layouts
import Tarvik.Connector

// The choice of DJ software mode; choosing hands the platform to the model, which switches the
// running connector.
ConnectorCard {
    id: modeCard

    required property ConnectorModel model

    radius: 16
    padding: 14

    contentItem: ColumnLayout {
        spacing: 8

        Text {
            text: "DJ SOFTWARE MODE"
            color: Theme.muted
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
            font.weight: Theme.heavy
            font.letterSpacing: 1.5
        }

        SegmentedControl {
            objectName: "modePicker"
            Layout.fillWidth: true
            Layout.maximumWidth: 520
            label: "DJ software mode"
            options: [
                { text: "SERATO DJ PRO", value: "serato" },
                { text: "VIRTUALDJ", value: "virtualDJ" }
            ]
            currentValue: modeCard.model.selectedPlatform
            onActivated: value => modeCard.model.choosePlatform(value)
        }

        Text {
            text: "Only the selected connector mode runs."
            color: "white"
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
        }
    }
}
