import QtQuick
import QtQuick.Layouts

// A numbered set-up step: the number in a gold circle, then the step's text.
RowLayout {
    id: row

    required property int number
    required property string text

    spacing: 10

    Rectangle {
        Layout.alignment: Qt.AlignTop
        implicitWidth: 24
        implicitHeight: 24
        radius: 12
        color: Theme.gold

        Text {
            anchors.centerIn: parent
            text: row.number
            color: "black"
            font.family: Theme.fontFamily
            font.pixelSize: Theme.captionSize
            font.weight: Theme.heavy
        }
    }

    Text {
        Layout.fillWidth: true
        Layout.topMargin: 3
        text: row.text
        color: Qt.rgba(1, 1, 1, 0.87)
        font.family: Theme.fontFamily
        font.pixelSize: Theme.calloutSize
        wrapMode: Text.WordWrap
    }
}
