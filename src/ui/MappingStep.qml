import QtQuick
import QtQuick.Layouts

// A numbered step of the Serato guide.
RowLayout {
    id: row

    required property int number
    required property string text

    spacing: 10

    Rectangle {
        Layout.alignment: Qt.AlignTop
        implicitWidth: 22
        implicitHeight: 22
        radius: 11
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
        Layout.alignment: Qt.AlignTop
        Layout.topMargin: 2
        text: row.text
        color: "white"
        font.family: Theme.fontFamily
        font.pixelSize: Theme.calloutSize
        wrapMode: Text.WordWrap
    }
}
