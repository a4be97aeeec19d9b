import QtQuick

// A scripted stand-in for AppModel: the same properties the views read, and every invokable the
// views call, recorded in `calls` as "name(arg, ...)".
QtObject {
    id: fake
    property var calls: []
    function record(name, args) {
        const parts = []
        for (let i = 0; i < args.length; ++i)
            parts.push(String(args[i]))
        calls = calls.concat([name + "(" + parts.join(", ") + ")"])
    }
    function called(name) {
        return calls.filter(c => c.startsWith(name + "(")).length
    }

    property string source: ""
    property string sourceName: ""
    property var destinations: []
    property var kinds: ["photo", "video"]
    property int phase: 0
    property string failureText: ""
    property bool hasReport: false
    property int mode: 0
    property bool showInspector: true
    property bool hasCopyRequest: false
    property string copyRequestTitle: ""
    property var newCard: ({})
    property bool hasNotice: false
    property string noticeText: ""
    property bool noticeOk: false
    property bool ejecting: false
    property bool cardOnly: false
    property bool deepVerifying: false
    property bool canCheck: false
    property bool canScan: false
    property bool canEjectSource: false
    property var suggestedCards: []
    property bool copying: false
    property QtObject copySheet: FakeCopySheet {}
    property var lastCopy: undefined
    property var photoApps: []
    property var volumes: ({})
    signal volumeInfoReady(string path)

    function volumeInfo(path) { return volumes[path] !== undefined ? volumes[path] : ({}) }
    function chooseSource(start, autoCheck) { record("chooseSource", arguments) }
    function chooseBackups() { record("chooseBackups", arguments) }
    function setSourceUrl(url) { record("setSourceUrl", arguments); source = url.toString().replace("file://", "") }
    function clearSource() { record("clearSource", arguments); source = "" }
    function addBackupUrls(urls) { record("addBackupUrls", [urls.map(u => u.toString()).join(" ")]) }
    function removeBackupAt(i) { record("removeBackupAt", arguments) }
    function useSuggestedCard(i) { record("useSuggestedCard", arguments) }
    function ejectSource() { record("ejectSource", arguments) }
    function dismissNewCard() { record("dismissNewCard", arguments); newCard = ({}) }
    function dismissNotice() { record("dismissNotice", arguments); hasNotice = false }
    function check(level) { record("check", [level, cardOnly]) }
    function resetResults() { record("resetResults", arguments) }
    function checkAnotherCard(i) { record("checkAnotherCard", arguments) }
    function checkAgainstBackup(adding) { record("checkAgainstBackup", arguments) }
    function showHistory(id) { record("showHistory", arguments) }
    function forget(id) { record("forget", arguments) }
    function clearCopyRequest() { record("clearCopyRequest", arguments); hasCopyRequest = false }
    function exportCSV() { record("exportCSV", arguments) }
    function revealPaths(paths) { record("revealPaths", [paths.join(" ")]) }
    function saveLastCopyCSV() { record("saveLastCopyCSV", arguments) }
    function handOff(i) { record("handOff", arguments) }
    function openFolder(path) { record("openFolder", arguments) }
    function chooseCopyLocation() { record("chooseCopyLocation", arguments) }
    function shutdown() { record("shutdown", arguments) }
}
