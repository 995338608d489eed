import QtQuick
import QtQuick.Controls.Basic
import Tarvik.Connector

// The connector's one window: dark whatever the system theme, never smaller than 980 × 700.
ApplicationWindow {
    id: window

    required property ConnectorModel model

    objectName: "connectorWindow"
    title: model.productName
    width: 1080
    height: 780
    minimumWidth: 980
    minimumHeight: 700
    color: Theme.background
    font.family: Theme.fontFamily

    palette {
        window: Theme.background
        windowText: "white"
        base: Theme.raised
        text: "white"
        button: Theme.raised
        buttonText: "white"
        highlight: Theme.cyan
        highlightedText: "black"
        placeholderText: Theme.muted
        toolTipBase: Theme.raised
        toolTipText: "white"
    }

    ConnectorView {
        objectName: "connectorView"
        anchors.fill: parent
        model: window.model
    }
}
