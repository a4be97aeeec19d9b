import QtQuick
import Halvetrop
import HalvetropFake
import HalvetropFake.Native

// Builds a main window over a scripted model and finds what a test needs in it.
QtObject {
    id: harness
    property var testCase

    property Component fakeModel: Component { FakeModel {} }
    property Component mainWindow: Component { MainWindow {} }

    // Models outlive the windows that bind to them: released after the last test of a case.
    property var models: []
    function release() {
        for (const m of models)
            m.destroy()
        models = []
    }

    function open(historyCount, setUp) {
        const model = fakeModel.createObject(null)
        models.push(model)
        if (setUp)
            setUp(model)
        const history = Fixtures.history(historyCount)
        const window = testCase.createTemporaryObject(mainWindow, testCase, {
            model: model, history: history, settingsStore: Fixtures.settingsStore("")
        })
        window.show()
        testCase.waitForRendering(window.contentItem)
        return { model: model, window: window, history: history }
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
        return null
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
