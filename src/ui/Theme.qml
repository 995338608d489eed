pragma Singleton

import QtQuick

// The one dark palette, with the type sizes and faces the screens use. Sizes are in points
// (logical pixels).
QtObject {
    readonly property color background: Qt.rgba(0.018, 0.05, 0.105, 1)
    readonly property color raised: Qt.rgba(0.045, 0.11, 0.2, 1)
    readonly property color gold: Qt.rgba(0.95, 0.73, 0.2, 1)
    readonly property color cyan: Qt.rgba(0.2, 0.77, 0.93, 1)
    readonly property color purple: Qt.rgba(0.52, 0.3, 0.94, 1)
    readonly property color green: Qt.rgba(0.12, 0.67, 0.39, 1)
    readonly property color red: Qt.rgba(0.86, 0.2, 0.22, 1)
    readonly property color muted: Qt.rgba(1, 1, 1, 0.62)
    // Where the window's background gradient ends, at the bottom-trailing corner.
    readonly property color backgroundEnd: Qt.rgba(0.04, 0.11, 0.21, 1)

    readonly property string fontFamily: "DejaVu Sans"
    readonly property string monospacedFontFamily: "DejaVu Sans Mono"
    // DejaVu's heaviest face stands in for the black weight.
    readonly property int heavy: Font.Bold

    readonly property int caption2Size: 10
    readonly property int captionSize: 11
    readonly property int calloutSize: 12
    readonly property int bodySize: 13
    readonly property int titleSize: 22
}
