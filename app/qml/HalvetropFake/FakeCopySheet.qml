import QtQuick

// A scripted stand-in for the copy sheet's model: the properties its view reads and the
// invokables it calls, recorded in `calls`.
QtObject {
    property var calls: []
    function record(name) { calls = calls.concat([name]) }

    property string title: ""
    property string today: "2026-12-06"
    property var backups: []
    property bool hasBackup: true
    property int destination: 0
    property int layout: 0
    property string pathTemplate: "{YYYY}/{date} {camera}"
    property string baseFolder: ""
    property string location: ""
    property string locationLabel: ""
    property string pickError: ""
    property string nameError: ""
    property int phase: 0
    property bool planCurrent: true
    property string planError: ""
    property int planCount: 0
    property double planBytes: 0
    property int renamedForCollision: 0
    property var preview: []
    property var freeBytes: undefined
    property bool canCopy: planCount > 0
    property var progress: ({})
    property var reportView: ({})
    property var details: ["", "", "", "", "", ""]

    function detailText(layout) { return details[layout] }
    function copy() { record("copy") }
    function stop() { record("stop") }
    function pressEscape() { record("pressEscape") }
    function cancel() { record("cancel") }
    function done() { record("done") }
    function pickFolder(path) { record("pickFolder") }
}
