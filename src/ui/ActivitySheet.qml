pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The latest events of the activity log, newest first as given, and the way to the log's folder.
// Done or Escape closes it (Popup's own closed signal follows).
Sheet {
    id: sheet

    // {time, kind, message, device}, the time already formatted for display.
    property var entries: []
    property string logFolderPath

    objectName: "activitySheet"

    contentItem: ColumnLayout {
        spacing: 14

        Text {
            Layout.topMargin: 24
            Layout.leftMargin: 26
            Layout.rightMargin: 26
            text: "ACTIVITY"
            color: "white"
            font.family: Theme.fontFamily
            font.pixelSize: Theme.titleSize
            font.weight: Theme.heavy
        }

        Text {
            objectName: "activityEmpty"
            Layout.leftMargin: 26
            Layout.rightMargin: 26
            visible: sheet.entries.length === 0
            text: "Nothing has happened yet."
            color: Theme.muted
            font.family: Theme.fontFamily
            font.pixelSize: Theme.calloutSize
        }

        ListView {
            objectName: "activityList"
            Layout.leftMargin: 26
            Layout.rightMargin: 26
            Layout.preferredWidth: 640
            Layout.preferredHeight: 420
            visible: sheet.entries.length > 0
            clip: true
            spacing: 8
            boundsBehavior: Flickable.StopAtBounds
            model: sheet.entries
            ScrollBar.vertical: ScrollBar {}

            delegate: entryDelegate
        }

        RowLayout {
            Layout.alignment: Qt.AlignRight
            Layout.rightMargin: 26
            Layout.bottomMargin: 24
            spacing: 10

            SystemButton {
                objectName: "activitySheet.openLogFolder"
                enabled: sheet.logFolderPath !== ""
                symbol: "doc.text.fill"
                text: "Open log folder"
                // Each path segment is percent-encoded so spaces and '#' survive as a file URL.
                onClicked: Qt.openUrlExternally("file://" + sheet.logFolderPath.split("/").map(encodeURIComponent).join("/"))
            }

            SystemButton {
                objectName: "activitySheet.done"
                text: "Done"
                onClicked: sheet.close()
            }
        }
    }

    Component {
        id: entryDelegate

        ColumnLayout {
            id: entry

            required property var modelData

            width: ListView.view.width - 12
            spacing: 2

            RowLayout {
                Layout.fillWidth: true
                spacing: 8

                Text {
                    text: entry.modelData.time
                    color: Theme.muted
                    font.family: Theme.monospacedFontFamily
                    font.pixelSize: Theme.captionSize
                }

                Text {
                    text: entry.modelData.kind.toUpperCase()
                    color: Theme.gold
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.caption2Size
                    font.weight: Theme.heavy
                    font.letterSpacing: 1.2
                }

                Text {
                    Layout.fillWidth: true
                    text: entry.modelData.device
                    color: Theme.muted
                    elide: Text.ElideRight
                    horizontalAlignment: Text.AlignRight
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.captionSize
                }
            }

            Text {
                Layout.fillWidth: true
                text: entry.modelData.message
                color: "white"
                wrapMode: Text.Wrap
                font.family: Theme.fontFamily
                font.pixelSize: Theme.calloutSize
            }
        }
    }
}
