import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T

// A modal sheet over the window, centred, on the window's background colour; Escape closes it.
Popup {
    parent: T.Overlay.overlay
    anchors.centerIn: parent
    modal: true
    focus: true
    padding: 0
    closePolicy: Popup.CloseOnEscape

    background: Rectangle {
        color: Theme.background
        radius: 14
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 0.11)
    }

    T.Overlay.modal: Rectangle {
        color: Qt.rgba(0, 0, 0, 0.5)
    }
}
