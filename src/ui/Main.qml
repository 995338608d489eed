import QtQuick
import QtQuick.Controls.Basic
import Tarvik.Connector

// The connector's one window: dark whatever the system theme, never smaller than 980 × 700.
ApplicationWindow {
    id: window

    required property ConnectorModel model
    required property DesktopSession session

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
        onQuitRequested: window.session.requestQuit()
    }

    QuestionSheet {
        objectName: "keepRunningQuestion"
        visible: window.session.keepRunningQuestionShown
        title: "Keep DJ Connector running?"
        detail: "Paired devices keep control while the window is closed. Open DJ Connector again to bring the window back."
        warning: "Paired devices lose control until DJ Connector runs again."
        showWarning: window.session.devicesLoseControl
        cancelText: "Quit"
        acceptText: "Keep Running"
        onCancelled: window.session.quit()
        onAccepted: window.session.keepRunning()
    }

    QuestionSheet {
        objectName: "quitConfirmation"
        visible: window.session.quitConfirmationShown
        title: "Quit DJ Connector?"
        detail: "Paired devices lose control until DJ Connector runs again."
        cancelText: "Cancel"
        acceptText: "Quit"
        onCancelled: window.session.cancelQuit()
        onAccepted: window.session.quit()
    }
}
