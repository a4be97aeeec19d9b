#pragma once
// The application's main window over a stage's model, driven as a user drives it: clicks on
// items found by objectName, keys pressed into the focused item (menu shortcuts included), text
// typed. A case of the end-to-end suite builds a stage, opens a driver on it and walks its road.
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/CopySheet.h"
#include "shell/Look.h"
#include "shell/Present.h"
#include "stage/Stage.h"

namespace halvetrop::thumbs {
class Thumbnailer;
class VideoRanges;
}  // namespace halvetrop::thumbs

namespace halvetrop::test {

class WindowDriver {
public:
    // What every window of a suite shares, set before the first: standard paths in test mode, the
    // US English locale, the Fusion style, the desktop's icons, the native types the views use
    // (drawn in the light appearance, without motion) and the results data.
    static void prepare(shell::Look& look, shell::Present& present);
    // Fails the running test on any binding loop the views report: each suite calls it in init().
    static void failOnBindingLoops();
    // Puts a photo application (digiKam, which runs /bin/true) on the desktop, in `dir` before the
    // machine's own applications; done before anything asks for them.
    static bool addPhotoApp(const QString& dir);
    // Loads MainWindow.qml with the stage's model, history and settings, with the thumbnail
    // helper of the build behind its pictures, and shows it.
    explicit WindowDriver(stage::Stage& stage);
    ~WindowDriver();
    WindowDriver(const WindowDriver&) = delete;
    WindowDriver& operator=(const WindowDriver&) = delete;

    // Whether the window loaded and became the active window.
    bool ready() const { return window_ != nullptr; }
    QQuickWindow& window() { return *window_; }
    AppModel& model() { return stage_.model(); }

    // The shown item of that name in the window (its popups included); nullptr when none is.
    QQuickItem* item(const QString& name) const;
    // Waits for the item to be shown and enabled, then clicks its middle once it stands still.
    bool click(const QString& name, int timeoutMs = kHangDetectorMs);
    // A verdict action ("copy", "eject") in whichever of its forms, full, compact or symbols, the
    // width shows.
    bool clickAction(const QString& name);
    // Gives the window that size (never below its smallest, which the desktop keeps and the
    // offscreen platform does not) and waits until its items have it: the window takes a size at
    // once, its items only once the platform's resize event arrives.
    bool resize(QSize size);
    // Every shown item of that name (below `within` when given), in the order of the rows of a list.
    QList<QQuickItem*> items(const QString& name, QQuickItem* within = nullptr) const;
    // As click, on the first shown item of that name that `pick` accepts (a row by its text, the
    // second of two buttons).
    bool clickWhere(const QString& name, const std::function<bool(QQuickItem*)>& pick,
                    int timeoutMs = kHangDetectorMs);
    // The colour drawn at a point of an item (in its own coordinates), from a frame drawn now.
    QColor colorAt(QQuickItem* item, QPointF point);
    // How far apart two colours are: the sum of their channels' differences, 0 to 3.
    static double colorDistance(const QColor& a, const QColor& b);
    // A key (with modifiers) pressed into the window's focused item, through the shortcut map.
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void type(const QString& text);
    // The text of the shown item of that name ("" when none is shown).
    QString text(const QString& name) const;
    // The text of the shown item of that name below `scope`.
    static QString textIn(QQuickItem* scope, const QString& name);
    // Waits for the shown item of that name at `index` among items(name), then clicks its middle
    // with that button, as click() does.
    bool clickAt(const QString& name, int index, Qt::MouseButton button = Qt::LeftButton,
                 int timeoutMs = kHangDetectorMs);
    // Drags the handle of the vertical scroll bar of the shown view of that name (its own, or one
    // laid beside it) down by that fraction of the bar's length, and waits until the view stands
    // still.
    bool scroll(const QString& name, qreal by);
    // Processes events until `done` holds, however long that takes (false only on a hang). That
    // something does not happen is asserted once what would have made it happen has (a later
    // event that must follow it), never after a time.
    static bool waitFor(const std::function<bool()>& done, int timeoutMs = kHangDetectorMs);
    // Another window of the application (the preview), by objectName, when shown.
    static QQuickWindow* shownWindow(const QString& name);

private:
    void activate();
    // Waits until `find` gives an enabled item, draws a frame, then clicks the item it gives then.
    bool clickFound(const std::function<QQuickItem*()>& find, Qt::MouseButton button, int timeoutMs);

    stage::Stage& stage_;
    std::unique_ptr<thumbs::Thumbnailer> thumbnails_;
    std::unique_ptr<thumbs::Thumbnailer> previews_;
    std::unique_ptr<thumbs::VideoRanges> videoRanges_;
    QQmlApplicationEngine engine_;
    QQuickWindow* window_ = nullptr;
};

// A fresh model on a real stage (the core's verifier, copy runner and volumes) and its window; with
// an ejector, the stage ejects through it, and with a folder picker it asks through that one.
struct WindowSession {
    explicit WindowSession(shell::Present& present, std::unique_ptr<Ejector> ejector = {},
                           std::unique_ptr<FolderPicker> picker = {});
    bool ready() const { return started && window && window->ready(); }
    AppModel& model() { return stage.model(); }
    CopySheet* sheet() { return qobject_cast<CopySheet*>(model().copySheet()); }
    // The card, or backups, chosen as a user does: the File menu's key opens the folder picker,
    // which answers with these paths.
    void chooseCard(const std::string& path);
    void addBackups(const std::vector<std::string>& paths);

    stage::Stage stage;
    bool started = false;
    std::unique_ptr<WindowDriver> window;
};

// A fresh model on a stage with its scripted check and copy, these saved checks in its history
// (newest first, then that many saved checks of other cards), and its window on the start screen.
struct ScriptedSession {
    ScriptedSession(shell::Present& present, const QStringList& saved, int otherChecks = 0);
    AppModel& model() { return stage.model(); }

    stage::Stage stage;
    std::unique_ptr<WindowDriver> window;
    bool shown = false;
};

}  // namespace halvetrop::test
