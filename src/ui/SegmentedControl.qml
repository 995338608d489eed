pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// A segmented choice among a few values. It shows `currentValue` and reports a choice through
// `activated`; whoever owns the value decides what happens. Each segment is named
// "<objectName>.<value>".
Rectangle {
    id: control

    // [{ text: "LABEL", value: "raw value" }, …]
    required property var options
    required property string currentValue
    // The control's accessible label; not shown.
    property string label

    signal activated(string value)

    implicitHeight: 30
    implicitWidth: 260
    radius: 8
    color: Qt.rgba(1, 1, 1, 0.08)
    border.width: 1
    border.color: Qt.rgba(1, 1, 1, 0.1)
    Accessible.role: Accessible.PageTabList
    Accessible.name: label

    RowLayout {
        anchors.fill: parent
        anchors.margins: 2
        spacing: 2

        Repeater {
            model: control.options

            delegate: AbstractButton {
                id: segment

                required property var modelData

                objectName: control.objectName + "." + modelData.value
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.preferredWidth: 1
                checkable: false
                checked: modelData.value === control.currentValue
                text: modelData.text
                Accessible.role: Accessible.PageTab
                onClicked: control.activated(modelData.value)

                contentItem: Text {
                    text: segment.text
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.captionSize
                    font.weight: Theme.heavy
                    color: segment.checked ? "white" : Theme.muted
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                }

                background: Rectangle {
                    radius: 6
                    color: segment.checked ? Qt.rgba(1, 1, 1, 0.2) : (segment.down ? Qt.rgba(1, 1, 1, 0.06) : "transparent")
                }
            }
        }
    }
}
