import QtQuick
import QtQuick.Controls.Basic
import Qt5Compat.GraphicalEffects

// The card look: a translucent raised fill, a faint outline and a soft shadow below. The content
// goes in as `contentItem`, inset by `padding`.
Control {
    id: card

    property real radius: 20

    padding: 18

    background: Item {
        RectangularGlow {
            anchors.fill: fill
            anchors.topMargin: 10
            anchors.bottomMargin: -10
            glowRadius: 9
            spread: 0
            cornerRadius: card.radius + glowRadius
            color: Qt.rgba(0, 0, 0, 0.3)
        }

        Rectangle {
            id: fill
            anchors.fill: parent
            radius: card.radius
            color: Qt.rgba(Theme.raised.r, Theme.raised.g, Theme.raised.b, 0.94)
            border.width: 1
            border.color: Qt.rgba(1, 1, 1, 0.11)
        }
    }
}
