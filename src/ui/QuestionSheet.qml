import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// A modal question over the window with two answers; only the answers close it.
Sheet {
    id: sheet

    property string title
    property string detail
    property string warning
    property bool showWarning: false
    property string cancelText
    property string acceptText

    signal cancelled
    signal accepted

    closePolicy: Popup.NoAutoClose

    contentItem: ColumnLayout {
        spacing: 14

        Text {
            Layout.topMargin: 24
            Layout.leftMargin: 26
            Layout.rightMargin: 26
            text: sheet.title
            color: "white"
            font.family: Theme.fontFamily
            font.pixelSize: Theme.titleSize
            font.weight: Theme.heavy
        }

        Text {
            Layout.leftMargin: 26
            Layout.rightMargin: 26
            Layout.preferredWidth: 420
            visible: sheet.detail !== ""
            text: sheet.detail
            color: Theme.muted
            font.family: Theme.fontFamily
            font.pixelSize: Theme.calloutSize
            wrapMode: Text.WordWrap
        }

        Text {
            objectName: sheet.objectName + ".warning"
            Layout.leftMargin: 26
            Layout.rightMargin: 26
            Layout.preferredWidth: 420
            visible: sheet.showWarning
            text: sheet.warning
            color: Theme.gold
            font.family: Theme.fontFamily
            font.pixelSize: Theme.calloutSize
            wrapMode: Text.WordWrap
        }

        RowLayout {
            Layout.alignment: Qt.AlignRight
            Layout.rightMargin: 26
            Layout.bottomMargin: 24
            spacing: 10

            SystemButton {
                objectName: sheet.objectName + ".cancel"
                text: sheet.cancelText
                onClicked: sheet.cancelled()
            }

            SystemButton {
                objectName: sheet.objectName + ".accept"
                text: sheet.acceptText
                onClicked: sheet.accepted()
            }
        }
    }
}
