import QtQuick
import QtQuick.Layouts

// A thin horizontal rule between sections of a card or sheet.
Rectangle {
    Layout.fillWidth: true
    implicitHeight: 1
    color: Qt.rgba(1, 1, 1, 0.12)
}
