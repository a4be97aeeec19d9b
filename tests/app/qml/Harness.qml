import QtQuick
import Halvetrop
import Halvetrop.Native
import Halvetrop.Stage

// Builds a main window over the real model on a stage and finds what a test needs in it.
QtObject {
    id: harness
    property var testCase

    property Component stageComponent: Component { Stage {} }
    property Component mainWindow: Component { MainWindow {} }

    // Stages (and their models) outlive the windows that bind to them: released after the last
    // test of a case.
    property var stages: []
    function release() {
        for (const s of stages)
            s.destroy()
        stages = []
    }

    // A stage on fresh files; `options` sets its properties (savedChecks, saved, volumes,
    // settingsText, ...) before the model starts.
    function stage(options) {
        const s = stageComponent.createObject(null, Object.assign({ present: Present }, options || {}))
        stages.push(s)
        testCase.verify(s.start(), "the stage started")
        return s
    }

    // The main window over a new stage; `setUp(stage, model)` runs before the window is made.
    function open(options, setUp) {
        const s = stage(options)
        if (setUp)
            setUp(s, s.model)
        const window = testCase.createTemporaryObject(mainWindow, testCase, {
            model: s.model, history: s.history, settingsStore: s.settingsStore
        })
        window.show()
        testCase.waitForRendering(window.contentItem)
        return { stage: s, model: s.model, window: window }
    }

    // A card in its reader and a backup drive, mounted when the model starts.
    readonly property var cardVolumes: [
        { path: "media/ana/CARD", name: "CARD", fileSystem: "exfat", removable: true, card: true,
          totalBytes: 64e9, freeBytes: 12e9 },
        { path: "media/ana/Archive", name: "Archive", totalBytes: 4e12, freeBytes: 1e12 }
    ]
    // Chooses that card, and the backup too when `withBackup`.
    function choose(s, m, withBackup) {
        m.setSourceUrl("file://" + s.folder("media/ana/CARD"))
        if (withBackup)
            m.addBackupUrls(["file://" + s.folder("media/ana/Archive")])
        testCase.verify(s.settle())
    }

    function find(item, name) {
        if (!item)
            return null
        if (item.objectName === name)
            return item
        // `data` also holds non-visual objects such as popups and tooltips.
        const kids = item.data !== undefined ? item.data : item.children !== undefined ? item.children : []
        for (let i = 0; i < kids.length; ++i) {
            const hit = find(kids[i], name)
            if (hit)
                return hit
        }
        if (item.contentItem !== undefined && item.contentItem !== null && item.contentItem !== item) {
            const hit = find(item.contentItem, name)
            if (hit)
                return hit
        }
        // What a Loader made, a popup too.
        if (item.sourceComponent !== undefined && item.item)
            return find(item.item, name)
        return null
    }

    // Every object of that name below `item`, windows and popups too.
    function findEvery(item, name, out) {
        out = out || []
        if (!item || out.indexOf(item) >= 0)
            return out
        if (item.objectName === name)
            out.push(item)
        const kids = item.data !== undefined ? item.data : item.children !== undefined ? item.children : []
        for (let i = 0; i < kids.length; ++i)
            findEvery(kids[i], name, out)
        if (item.contentItem !== undefined && item.contentItem !== null && item.contentItem !== item)
            findEvery(item.contentItem, name, out)
        if (item.sourceComponent !== undefined && item.item)
            findEvery(item.item, name, out)
        return out
    }

    function findAll(item, name, out) {
        out = out || []
        if (!item)
            return out
        if (item.objectName === name)
            out.push(item)
        const kids = item.children !== undefined ? item.children : []
        for (let i = 0; i < kids.length; ++i)
            findAll(kids[i], name, out)
        return out
    }

    // Every menu action, by objectName.
    function actions(window) {
        const out = {}
        const menus = window.menuBar.menus
        for (let m = 0; m < menus.length; ++m)
            for (let i = 0; i < menus[m].count; ++i) {
                const a = menus[m].actionAt(i)
                if (a)
                    out[a.objectName] = a
            }
        return out
    }

    function visibleCount(items) {
        return items.filter(i => i.visible).length
    }
}
