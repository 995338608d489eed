import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Tarvik.Connector

// The wedding script editor. Edits change the model's text only; SAVE & SYNC stores and sends it.
ConnectorCard {
    id: scriptCard

    required property ConnectorModel model

    objectName: "scriptCard"

    contentItem: ColumnLayout {
        spacing: 12

        RowLayout {
            Layout.fillWidth: true

            SectionTitle {
                title: "WEDDING SCRIPT SYNC"
                symbol: "doc.text.fill"
            }

            Item {
                Layout.fillWidth: true
            }

            ConnectorButton {
                objectName: "saveScriptButton"
                text: "SAVE & SYNC"
                tint: Theme.gold
                foreground: "black"
                onClicked: scriptCard.model.saveWeddingScript()
            }
        }

        Text {
            Layout.fillWidth: true
            text: "Scripts stay on this computer and paired devices. Use [CUE] before a line where the DJ should tap Advance."
            color: Theme.muted
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
            wrapMode: Text.WordWrap
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: Math.max(180, editor.implicitHeight + 20)
            radius: 12
            color: Qt.rgba(0, 0, 0, 0.28)
            border.width: 1
            border.color: Qt.rgba(1, 1, 1, 0.11)

            TextArea {
                id: editor

                objectName: "weddingScriptEditor"
                anchors.fill: parent
                anchors.margins: 10
                padding: 0
                background: null
                text: scriptCard.model.weddingScript
                color: "white"
                selectionColor: Qt.rgba(1, 1, 1, 0.25)
                selectedTextColor: "white"
                font.family: Theme.monospacedFontFamily
                font.pixelSize: Theme.bodySize
                wrapMode: TextEdit.Wrap
                // Hands the user's edits to the model; the model's own text echoing back is no edit.
                onTextChanged: {
                    if (text !== scriptCard.model.weddingScript)
                        scriptCard.model.weddingScript = text;
                }
            }
        }
    }
}
