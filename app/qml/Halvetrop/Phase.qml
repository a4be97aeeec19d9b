pragma Singleton
import QtQuick

// The values of AppModel's Phase and Mode enumerations, in their declaration order (main.cpp
// asserts the order at compile time).
QtObject {
    readonly property int setup: 0
    readonly property int checking: 1
    readonly property int results: 2
    readonly property int failed: 3

    readonly property int shoots: 0
    readonly property int map: 1
    readonly property int files: 2
    readonly property var modeNames: ["Shoots", "Map", "Files"]
}
