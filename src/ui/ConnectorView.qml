import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Qt5Compat.GraphicalEffects
import Tarvik.Connector

// The connector's main view: header, mode picker, the connection, set-up, test and script cards,
// and the status bar. Every value comes from the model and every button calls one model action.
Item {
    id: view

    required property ConnectorModel model
    property bool showSettings: false
    property bool showSeratoMappingGuide: false
    property bool showActivity: false
    // The device FORGET asks about: {id, name}, or null.
    property var deviceToForget: null

    signal quitRequested

    LinearGradient {
        anchors.fill: parent
        start: Qt.point(0, 0)
        end: Qt.point(width, height)
        gradient: Gradient {
            GradientStop {
                position: 0
                color: Theme.background
            }
            GradientStop {
                position: 1
                color: Theme.backgroundEnd
            }
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 22
        spacing: 16

        ConnectorHeader {
            Layout.fillWidth: true
            model: view.model
            onSettingsRequested: view.showSettings = true
        }

        ModePickerCard {
            Layout.fillWidth: true
            model: view.model
        }

        ScrollView {
            id: scroller

            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            clip: true

            RowLayout {
                width: scroller.availableWidth
                spacing: 18

                ColumnLayout {
                    Layout.minimumWidth: 390
                    Layout.preferredWidth: 390
                    Layout.maximumWidth: 390
                    Layout.alignment: Qt.AlignTop
                    Layout.bottomMargin: 22
                    spacing: 18

                    ConnectionCard {
                        Layout.fillWidth: true
                        model: view.model
                        onForgetRequested: (id, name) => view.deviceToForget = {id: id, name: name}
                    }

                    SetupCard {
                        Layout.fillWidth: true
                        model: view.model
                        onGuideRequested: view.showSeratoMappingGuide = true
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.alignment: Qt.AlignTop
                    Layout.bottomMargin: 22
                    spacing: 18

                    TestCard {
                        Layout.fillWidth: true
                        model: view.model
                    }

                    ScriptCard {
                        Layout.fillWidth: true
                        model: view.model
                    }
                }
            }
        }

        StatusBar {
            Layout.fillWidth: true
            model: view.model
            onActivityRequested: view.showActivity = true
        }
    }

    QuestionSheet {
        objectName: "forgetDeviceQuestion"
        visible: view.deviceToForget !== null
        title: view.deviceToForget ? "Forget " + view.deviceToForget.name + "?" : ""
        detail: "This device loses control at once and must pair again with the pairing code."
        cancelText: "Cancel"
        acceptText: "Forget"
        onCancelled: view.deviceToForget = null
        onAccepted: {
            view.model.forgetDevice(view.deviceToForget.id);
            view.deviceToForget = null;
        }
    }

    ActivitySheet {
        visible: view.showActivity
        entries: view.model.activityEntries
        logFolderPath: view.model.activityLogFolder
        onClosed: view.showActivity = false
    }

    // Each sheet's view is created when its flag turns true and destroyed when the sheet closes, so
    // it opens in its initial state every time.
    Sheet {
        objectName: "settingsSheet"
        visible: view.showSettings
        onClosed: view.showSettings = false

        contentItem: Loader {
            active: view.showSettings
            sourceComponent: settingsView
        }
    }

    Component {
        id: settingsView

        ConnectorSettingsView {
            model: view.model
            onDismissRequested: view.showSettings = false
            onQuitRequested: view.quitRequested()
        }
    }

    Sheet {
        objectName: "seratoGuideSheet"
        visible: view.showSeratoMappingGuide
        onClosed: view.showSeratoMappingGuide = false

        contentItem: Loader {
            active: view.showSeratoMappingGuide
            sourceComponent: guideView
        }
    }

    Component {
        id: guideView

        SeratoMappingGuideView {
            model: view.model
            onDismissRequested: view.showSeratoMappingGuide = false
        }
    }
}
