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
    property var notConnectedBackups: []
    property bool copying: false
    property QtObject copySheet: FakeCopySheet {}
    property var lastCopy: undefined
    property var photoApps: []
    property var volumes: ({})
    // The results screen: a report fixture (ReportFixtures.make) and what the screen writes.
    property var report: null
    property string photoFormats: "all"
    property var progress: ({ stage: "scanningSource", detail: "", done: 0, total: 0 })
    property var deepProgress: ({})
    property string selectedFolder: ""
    property string folderFilter: ""
    property string groupFilter: ""
    property int filter: 0
    signal volumeInfoReady(string path)
    signal backupPresenceChanged

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
    function stopCheck() { record("stopCheck", arguments) }
    function checkAnotherCard(i) { record("checkAnotherCard", arguments) }
    function checkNewCard() { record("checkNewCard", arguments) }
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
    function requestCopyAllMissing() { record("requestCopyAllMissing", arguments) }
    property var lastCopyIDs: []
    function requestCopy(ids, title) { lastCopyIDs = ids; record("requestCopy", [ids.length, title]) }
    function showFiles(id, onlyMissing) { record("showFiles", arguments) }
    function stopDeepVerify() { record("stopDeepVerify", arguments); deepVerifying = false }

    // The file browser and the inspector.
    property var files: null
    property string search: ""
    property bool gridView: false
    readonly property int visibleFileCount: files ? files.count : 0
    property double selectedFileID: -1
    property string shootChipText: ""
    property bool hasFolderFilter: false
    property bool reportCardOnly: false
    property var copyable: []
    property bool previewOpen: false
    property var previewUrls: []
    function quickLook(id) { record("quickLook", arguments); previewOpen = !previewOpen }
    function closePreview() { record("closePreview", arguments); previewOpen = false }
    function revealFiles(ids, onBackup) { record("revealFiles", [ids.join(" "), onBackup]) }
    function copyableIDs(ids) { return ids.filter(i => copyable.indexOf(i) >= 0) }
    function backToShoots() { record("backToShoots", arguments) }
    function clearFolderFilter() { record("clearFolderFilter", arguments); hasFolderFilter = false }
}
