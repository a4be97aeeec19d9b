// Every state the window has, over the real model whose check and copy are the stage's scripted
// stand-ins: each state is reached as a user reaches it, the window is walked through the sizes a
// user can give it (its smallest to 2560 x 1440, down and up on each axis), the state's content
// changes once (a new check, a copy, Done) and the walk is made again. At every size the state's
// own item is shown and inside the window. Under AddressSanitizer a view that lays out an item Qt
// Quick has freed is caught even where it does not crash.
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>

#include "WindowDriver.h"

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

// The window over these saved results and a sidebar of saved checks of other cards.
using Session = ScriptedSession;
constexpr int kOtherChecks = 9;

// Sizes asked of the window: heights down (past the height where the dialog's own starts to
// follow the window's), widths down at the smallest height, heights up at the smallest width,
// widths up at the largest height, then back through the middle to the usual size.
const QSize kWalk[] = {{1240, 1440}, {1240, 900},  {1240, 760},  {1240, 660}, {1040, 660},
                       {1040, 900},  {1040, 1440}, {2560, 1440}, {1600, 760}, {1240, 800}};

QVariantMap volume(const QString& path, const QString& name, bool card) {
    return {{QStringLiteral("path"), path},       {QStringLiteral("name"), name},
            {QStringLiteral("removable"), card},  {QStringLiteral("card"), card},
            {QStringLiteral("totalBytes"), 64e9}, {QStringLiteral("freeBytes"), 20e9}};
}

// A card and two backups chosen on the start screen.
bool chooseAll(Session& s) {
    stage::Stage& st = s.stage;
    st.setVolumes({volume(QStringLiteral("media/ana/NIKON Z9"), QStringLiteral("NIKON Z9"), true),
                   volume(QStringLiteral("media/ana/Archive 2025"), QStringLiteral("Archive 2025"), false)});
    s.model().setSource(st.folder(QStringLiteral("media/ana/NIKON Z9")).toStdString());
    s.model().addBackups(
        {st.folder(QStringLiteral("media/ana/Archive 2025")).toStdString(),
         st.folder(QStringLiteral("home/ana/Pictures/Cards of the wedding season")).toStdString()});
    return st.settle();
}

bool checking(Session& s, bool cardOnly, const QString& detail) {
    s.model().setCardOnly(cardOnly);
    s.model().check();
    return s.stage.progress(QStringLiteral("comparing"), detail, 1234, 5012);
}

// The newest check finished as that fixture; the byte-by-byte pass it starts is stopped.
bool finished(Session& s, const QString& fixture) {
    if (!s.stage.finishCheck(fixture)) return false;
    s.model().stopDeepVerify();
    return s.stage.settle();
}

// A new check of the shown card, finished so.
bool checkAgain(Session& s, const QString& fixture) {
    const int checks = s.stage.checkCount();
    return s.window->click(QStringLiteral("toolRecheck")) && s.stage.checkCount() == checks + 1 &&
           finished(s, fixture);
}

// The copy of every missing file planned, started and ended so.
bool copyEnded(Session& s, const QString& outcome) {
    if (!s.stage.requestCopy() || !s.window->click(QStringLiteral("copyButton"))) return false;
    return s.stage.copyProgress(0.5) && s.stage.finishCopy(outcome);
}

// The copy's dialog closed with Done; the check it starts finishes as that fixture.
bool done(Session& s, const QString& fixture) {
    return s.window->click(QStringLiteral("copyDone")) && finished(s, fixture);
}

// A copy made and closed with Done.
bool copiedAndDone(Session& s, const QString& fixture) {
    return copyEnded(s, QStringLiteral("copied")) && done(s, fixture);
}

bool filesShown(Session& s, bool grid, int64_t selected, bool inspector) {
    s.model().setMode(AppModel::Mode::Files);
    s.model().setGridView(grid);
    s.model().setShowInspector(inspector);
    s.model().setSelectedFileID(selected);
    return s.stage.settle();
}

// The open popup (dialog, popover, menu) of that name: its own item, which an open popup lays in
// the window's overlay.
QQuickItem* openPopup(QQuickItem* item, const QString& name) {
    if (!item->isVisible()) return nullptr;
    QObject* popup = item->parent();
    if (popup && popup->objectName() == name && popup->property("opened").toBool()) return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* hit = openPopup(child, name)) return hit;
    return nullptr;
}

// The shown item of that name, or the open popup of that name.
QQuickItem* shown(WindowDriver& w, const QString& name) {
    QQuickItem* item = w.item(name);
    return item ? item : openPopup(w.window().contentItem(), name);
}

bool menuOpen(Session& s, const QString& row, int index, const QString& menu) {
    return s.window->clickAt(row, index, Qt::RightButton) &&
           WindowDriver::waitFor([&] { return shown(*s.window, menu); });
}

bool closedWithEscape(Session& s, const QString& name) {
    s.window->key(Qt::Key_Escape);
    return WindowDriver::waitFor([&] { return !shown(*s.window, name); });
}

bool reopened(Session& s, const QString& button, const QString& popup) {
    return s.window->click(button) && WindowDriver::waitFor([&] { return shown(*s.window, popup); });
}

// What a state's own item must be to count as shown at a size.
enum class Fit {
    origin,  // its top left corner lies in the window
    whole,   // all of it does (dialogs, popovers, menus, banners)
    window,  // it is another window of the application, open beside
};

// One state: how it is reached from the state before it on its road, how its content changes once
// (coming back to the same state), and the item that shows it.
struct State {
    const char* name;
    std::function<bool(Session&)> reach;
    std::function<bool(Session&)> change;
    const char* item;
    Fit fit = Fit::origin;
};

// States a user passes through one after another, from a window over these saved results.
struct Road {
    const char* name;
    QStringList saved;
    std::vector<State> states;
};

const QString kCard = QStringLiteral("media/ana/EOS_DIGITAL");
const QString kLongCard = QStringLiteral("media/ana/EOS_DIGITAL of the best man, borrowed for the evening");

// The banner names the card by its start and end (a long name is cut in its middle) and keeps its
// sentence.
bool inserted(Session& s, const QString& path) {
    const QString name = path.section(u'/', -1);
    s.stage.addVolume(volume(path, name, true));
    return WindowDriver::waitFor([&] {
        const QString title = s.window->text(QStringLiteral("newCardTitle"));
        return title.startsWith(u'“' + name.left(8)) &&
               title.endsWith(name.right(6) + QStringLiteral("” was just inserted"));
    });
}

const Road kRoads[] = {
    {"start and check",
     {},
     {
         {"start, empty", [](Session&) { return true; },
          [](Session& s) {
              // A card comes and goes.
              s.stage.addVolume(volume(kCard, QStringLiteral("EOS_DIGITAL"), true));
              if (!WindowDriver::waitFor([&] { return s.window->item(QStringLiteral("offeredCard")); }))
                  return false;
              s.stage.setVolumes({});
              return WindowDriver::waitFor([&] { return !s.window->item(QStringLiteral("offeredCard")); });
          },
          "cardColumn"},
         {"start, a card offered",
          [](Session& s) {
              s.stage.setVolumes({volume(kCard, QStringLiteral("EOS_DIGITAL"), true)});
              return WindowDriver::waitFor([&] { return s.window->item(QStringLiteral("offeredCard")); });
          },
          [](Session& s) {
              s.stage.setVolumes({volume(kLongCard, kLongCard.section(u'/', -1), true)});
              return WindowDriver::waitFor([&] {
                  return s.window->text(QStringLiteral("offeredCardName"))
                      .contains(QStringLiteral("best man"));
              });
          },
          "offeredCard"},
         {"start, ready", chooseAll,
          [](Session& s) {
              // A check started and stopped; a backup taken away and chosen again.
              if (!checking(s, false, QString())) return false;
              s.model().stopCheck();
              s.model().removeBackupAt(0);
              s.model().addBackups({s.stage.folder(QStringLiteral("media/ana/Archive 2025")).toStdString()});
              return s.stage.settle() && s.model().phase() == AppModel::Phase::Setup;
          },
          "checkButton"},
         {"checking",
          [](Session& s) { return checking(s, false, QStringLiteral("DCIM/100NCZ_9/DSC_1042.NEF")); },
          [](Session& s) {
              s.model().stopCheck();
              return checking(s, false,
                              QStringLiteral("DCIM/100NCZ_9/") + QString(90, u'L') + QStringLiteral(".NEF"));
          },
          "cancelCheck"},
         {"checking, card only",
          [](Session& s) {
              s.model().stopCheck();
              return checking(s, true, QString());
          },
          [](Session& s) {
              s.model().stopCheck();
              return checking(s, true, QStringLiteral("NIKON Z9"));
          },
          "cancelCheck"},
         {"failed",
          [](Session& s) {
              return s.stage.failCheck(s.stage.root() + QStringLiteral("/media/ana/NIKON Z9/DCIM"));
          },
          [](Session& s) {
              const int checks = s.stage.checkCount();
              return s.window->click(QStringLiteral("tryAgain")) && s.stage.checkCount() == checks + 1 &&
                     s.stage.failCheck(s.stage.root() + QStringLiteral("/media/ana/NIKON Z9/DCIM/") +
                                       QString(300, u'D'));
          },
          "tryAgain"},
     }},
    {"a result, its views, popovers, menus and banners",
     {QStringLiteral("missing")},
     {
         {"results, shoots", [](Session& s) { return s.stage.openSaved(0); },
          [](Session& s) { return checkAgain(s, QStringLiteral("missing-long")); }, "shootList"},
         {"results, folder map",
          [](Session& s) {
              return s.window->click(QStringLiteral("mode-Map")) &&
                     s.window->clickAt(QStringLiteral("folderRow"), 1);
          },
          [](Session& s) {
              return checkAgain(s, QStringLiteral("missing")) &&
                     s.window->clickAt(QStringLiteral("folderRow"), 2);
          },
          "folderList"},
         {"popover, card contents",
          [](Session& s) {
              return reopened(s, QStringLiteral("cardContents"), QStringLiteral("contentsPopover"));
          },
          [](Session& s) {
              return closedWithEscape(s, QStringLiteral("contentsPopover")) &&
                     checkAgain(s, QStringLiteral("unreadable")) &&
                     reopened(s, QStringLiteral("cardContents"), QStringLiteral("contentsPopover"));
          },
          "contentsPopover", Fit::whole},
         {"menu, shoot",
          [](Session& s) {
              return closedWithEscape(s, QStringLiteral("contentsPopover")) &&
                     s.window->click(QStringLiteral("mode-Shoots")) &&
                     menuOpen(s, QStringLiteral("shootRow"), 0, QStringLiteral("shootMenu"));
          },
          [](Session& s) {
              return closedWithEscape(s, QStringLiteral("shootMenu")) &&
                     checkAgain(s, QStringLiteral("missing-long")) &&
                     menuOpen(s, QStringLiteral("shootRow"), 1, QStringLiteral("shootMenu"));
          },
          "shootMenu", Fit::whole},
         {"menu, saved check",
          [](Session& s) {
              return closedWithEscape(s, QStringLiteral("shootMenu")) &&
                     menuOpen(s, QStringLiteral("historyRow"), 0, QStringLiteral("recheckSaved"));
          },
          [](Session& s) {
              return closedWithEscape(s, QStringLiteral("recheckSaved")) &&
                     checkAgain(s, QStringLiteral("missing")) &&
                     menuOpen(s, QStringLiteral("historyRow"), 1, QStringLiteral("recheckSaved"));
          },
          "recheckSaved", Fit::whole},
         {"banner, notice",
          [](Session& s) {
              if (!closedWithEscape(s, QStringLiteral("recheckSaved"))) return false;
              s.model().show(QStringLiteral("“EOS_DIGITAL” was ejected. You can remove it now."), true);
              return WindowDriver::waitFor([&] { return s.window->item(QStringLiteral("noticeText")); });
          },
          [](Session& s) {
              const QString longer = QStringLiteral("Couldn’t show “") + QString(200, u'N') +
                                     QStringLiteral("”: no file manager is installed.");
              s.model().show(longer, false);
              // The banner cuts the quoted name, never the sentence around it.
              return WindowDriver::waitFor([&] {
                  const QString shown = s.window->text(QStringLiteral("noticeText"));
                  return shown.startsWith(QStringLiteral("Couldn’t show “")) &&
                         shown.endsWith(QStringLiteral("”: no file manager is installed.")) &&
                         shown.contains(u'…');
              });
          },
          "noticeBanner", Fit::whole},
         {"banner, new card",
          [](Session& s) {
              s.model().dismissNotice();
              return inserted(s, kCard);
          },
          [](Session& s) { return inserted(s, kLongCard); }, "newCardBanner", Fit::whole},
         {"settings",
          [](Session& s) {
              s.window->key(Qt::Key_Comma, Qt::ControlModifier);
              return WindowDriver::waitFor(
                  [] { return WindowDriver::shownWindow(QStringLiteral("settingsWindow")); });
          },
          [](Session& s) {
              s.stage.settingsStore().setRequiredCopies(3);
              s.stage.settingsStore().setIncludeSidecars(false);
              return checkAgain(s, QStringLiteral("missing-long"));
          },
          "settingsWindow", Fit::window},
     }},
    {"a card-only scan, safe and the byte-by-byte pass",
     {QStringLiteral("card-only")},
     {
         {"results, card only", [](Session& s) { return s.stage.openSaved(0); },
          [](Session& s) { return checkAgain(s, QStringLiteral("card-only-long")); }, "cardOnlyTitle"},
         {"results, ready to format",
          [](Session& s) {
              // Compared with two backups chosen now.
              s.model().addBackups({s.stage.folder(QStringLiteral("media/ana/Archive 2025")).toStdString(),
                                    s.stage.folder(QStringLiteral("media/ana/Travel SSD")).toStdString()});
              s.model().setCardOnly(false);
              s.model().check();
              return finished(s, QStringLiteral("safe"));
          },
          // The card shot with eight cameras: the panel's guide is long.
          [](Session& s) { return checkAgain(s, QStringLiteral("safe-cameras")); }, "readyPanel"},
         {"results, byte-by-byte pass",
          [](Session& s) {
              s.model().check(QStringLiteral("verified"));
              return s.model().deepVerifying() &&
                     s.stage.progress(QStringLiteral("comparing"), QString(), 30, 90);
          },
          [](Session& s) { return s.stage.progress(QStringLiteral("comparing"), QString(), 80, 90); },
          "stopPass"},
     }},
    {"files and copies",
     {QStringLiteral("browser")},
     {
         {"files, table", [](Session& s) { return s.stage.openSaved(0) && filesShown(s, false, 0, false); },
          [](Session& s) { return checkAgain(s, QStringLiteral("browser-long-names")); }, "fileTable"},
         {"files, grid", [](Session& s) { return filesShown(s, true, 0, false); },
          [](Session& s) { return checkAgain(s, QStringLiteral("browser")); }, "fileGrid"},
         {"files, inspector", [](Session& s) { return filesShown(s, false, 3, true); },
          [](Session& s) {
              if (!checkAgain(s, QStringLiteral("browser-long-names"))) return false;
              s.model().setSelectedFileID(2);
              return s.stage.settle();
          },
          "inspectorName"},
         {"menu, file",
          [](Session& s) {
              return menuOpen(s, QStringLiteral("fileRow"), 2, QStringLiteral("menuQuickLook"));
          },
          [](Session& s) {
              return closedWithEscape(s, QStringLiteral("menuQuickLook")) &&
                     checkAgain(s, QStringLiteral("browser")) &&
                     menuOpen(s, QStringLiteral("fileRow"), 5, QStringLiteral("menuQuickLook"));
          },
          "menuQuickLook", Fit::whole},
         {"files, preview",
          [](Session& s) {
              if (!closedWithEscape(s, QStringLiteral("menuQuickLook"))) return false;
              s.model().quickLook(0);
              return WindowDriver::waitFor(
                  [] { return WindowDriver::shownWindow(QStringLiteral("previewWindow")); });
          },
          [](Session& s) {
              // A new check closes the preview; another file of the new result is previewed.
              if (!checkAgain(s, QStringLiteral("browser"))) return false;
              s.model().quickLook(8);
              return WindowDriver::waitFor(
                  [] { return WindowDriver::shownWindow(QStringLiteral("previewWindow")); });
          },
          "previewWindow", Fit::window},
         {"copy, planning",
          [](Session& s) {
              s.model().closePreview();
              s.model().setMode(AppModel::Mode::Shoots);
              return s.stage.requestCopy() && s.window->click(QStringLiteral("layout_2"));
          },
          [](Session& s) {
              return s.window->click(QStringLiteral("copyCancel")) && s.stage.requestCopy() &&
                     s.window->click(QStringLiteral("layout_4")) && s.stage.waitForPlan();
          },
          "copySheet", Fit::whole},
         {"copy, running",
          [](Session& s) {
              return s.window->click(QStringLiteral("copyButton")) && s.stage.copyProgress(0.2);
          },
          [](Session& s) { return s.stage.copyProgress(0.7); }, "copySheet", Fit::whole},
         {"copy, done", [](Session& s) { return s.stage.finishCopy(QStringLiteral("copied")); },
          [](Session& s) {
              return done(s, QStringLiteral("browser")) && copyEnded(s, QStringLiteral("copied"));
          },
          "copySheet", Fit::whole},
         // Where the crash after a copy was met: the dialog of a copy into several folders closed
         // with Done, and the window made lower.
         {"results after a copy", [](Session& s) { return done(s, QStringLiteral("browser")); },
          [](Session& s) { return copiedAndDone(s, QStringLiteral("browser")); }, "shootList"},
         {"popover, last copy",
          [](Session& s) {
              return reopened(s, QStringLiteral("lastCopyButton"), QStringLiteral("lastCopyPopover"));
          },
          [](Session& s) {
              return closedWithEscape(s, QStringLiteral("lastCopyPopover")) &&
                     copiedAndDone(s, QStringLiteral("browser-long-names")) &&
                     reopened(s, QStringLiteral("lastCopyButton"), QStringLiteral("lastCopyPopover"));
          },
          "lastCopyPopover", Fit::whole},
         {"copy, stopped",
          [](Session& s) {
              return closedWithEscape(s, QStringLiteral("lastCopyPopover")) &&
                     copyEnded(s, QStringLiteral("stopped"));
          },
          [](Session& s) {
              return done(s, QStringLiteral("browser-long-names")) && copyEnded(s, QStringLiteral("stopped"));
          },
          "copySheet", Fit::whole},
         {"copy, report with failures",
          [](Session& s) {
              return done(s, QStringLiteral("browser-long-names")) &&
                     copyEnded(s, QStringLiteral("problems"));
          },
          [](Session& s) {
              return done(s, QStringLiteral("browser")) && copyEnded(s, QStringLiteral("problems"));
          },
          "failureList"},
     }},
};

}  // namespace

// Shown, not faded out, and of some size.
bool drawn(QQuickItem* item) {
    for (QQuickItem* i = item; i; i = i->parentItem())
        if (!i->isVisible() || i->opacity() < 0.01) return false;
    return item->width() > 0 && item->height() > 0;
}

double real(QObject* o, const char* name) { return o->property(name).toDouble(); }

// Whether the middle of `item` can be brought into the window: every clipping item above it
// holds it, save where a view above it scrolls over what it holds; the view's own place then has
// to be in reach in turn. `why` says which item keeps it out of reach.
bool inReach(QQuickItem* item, const QQuickWindow& window, QString& why) {
    QPointF p(item->width() / 2, item->height() / 2);
    QQuickItem* at = item;
    for (QQuickItem* up = item->parentItem(); up; at = up, up = up->parentItem()) {
        p = at->mapToItem(up, p);
        if (up->inherits("QQuickFlickable")) {
            // `p` lies on the view's content, shown where the content is scrolled to. A view that
            // does not say how wide or tall its content is holds its own width or height.
            const double x = p.x() + real(up, "contentX"), y = p.y() + real(up, "contentY");
            const double top = real(up, "originY") - real(up, "topMargin");
            const double left = real(up, "originX") - real(up, "leftMargin");
            const double high = real(up, "contentHeight") >= 0 ? real(up, "contentHeight") : up->height();
            const double wide = real(up, "contentWidth") >= 0 ? real(up, "contentWidth") : up->width();
            if (y < top - 0.5 || y > top + high + real(up, "topMargin") + real(up, "bottomMargin") + 0.5 ||
                x < left - 0.5 || x > left + wide + real(up, "leftMargin") + real(up, "rightMargin") + 0.5) {
                why = up->objectName() + QStringLiteral(" does not scroll to it");
                return false;
            }
            p = QPointF(std::clamp(p.x(), 0.0, up->width()), std::clamp(p.y(), 0.0, up->height()));
        } else if (up->clip() && !QRectF(-0.5, -0.5, up->width() + 1, up->height() + 1).contains(p)) {
            why = up->objectName() + QStringLiteral(" cuts it off");
            return false;
        }
    }
    if (!QRectF(QPointF(-0.5, -0.5), QSizeF(window.size()) + QSizeF(1, 1)).contains(p)) {
        why = QStringLiteral("out of the window");
        return false;
    }
    return true;
}

// Every control the window shows (buttons, fields, Tab stops) can be brought into reach, and
// every list has room to show what it holds (a few rows at least) where it has them to show.
QStringList outOfReach(QQuickWindow& window) {
    QStringList out;
    const std::function<void(QQuickItem*)> visit = [&](QQuickItem* item) {
        if (!item->isVisible() || item->opacity() < 0.01) return;
        const bool control = item->activeFocusOnTab() || item->inherits("QQuickAbstractButton") ||
                             item->inherits("QQuickTextInput");
        QString why;
        const QString name = item->objectName().isEmpty()
                                 ? QString::fromLatin1(item->metaObject()->className())
                                 : item->objectName();
        if (control && item->isEnabled() && drawn(item) && !inReach(item, window, why))
            out << name + QStringLiteral(": ") + why;
        if (item->inherits("QQuickFlickable") && drawn(item)) {
            const double holds =
                real(item, "contentHeight") + real(item, "topMargin") + real(item, "bottomMargin");
            if (item->height() + 0.5 < std::min(holds, 120.0))
                out << name + QStringLiteral(" shows %1 of %2").arg(item->height()).arg(holds);
            else if (!inReach(item, window, why))
                out << name + QStringLiteral(": ") + why;
        }
        for (QQuickItem* child : item->childItems()) visit(child);
    };
    visit(window.contentItem());
    return out;
}

class EveryStateWindowTest : public QObject {
    Q_OBJECT

    shell::Look look_;
    shell::Present present_;
    QTemporaryDir desktop_;

    // Whether the state's item is shown, inside the window as it must be; where it lies.
    static bool fits(WindowDriver& w, const State& state, QRectF& rect) {
        QQuickItem* item = shown(w, QLatin1String(state.item));
        if (!item) return false;
        rect = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        const QRectF inside(QPointF(0, 0), QSizeF(w.window().size()));
        return state.fit == Fit::whole ? inside.contains(rect.adjusted(1, 1, -1, -1))
                                       : inside.contains(rect.topLeft());
    }

    // The window walked through every size; at each the state's item is shown as it must be (a
    // banner that moves in is waited for).
    static void walk(WindowDriver& w, const State& state, const char* pass) {
        QQuickWindow& window = w.window();
        for (const QSize& asked : kWalk) {
            // The size the window takes, for the messages.
            const QSize size = asked.expandedTo(window.minimumSize());
            QVERIFY(w.resize(size));
            // A frame lays out and draws what the size changed.
            (void)window.grabWindow();
            const QString at =
                QStringLiteral("%1, %2: %3 at %4x%5")
                    .arg(QLatin1String(state.name), QLatin1String(pass), QLatin1String(state.item))
                    .arg(size.width())
                    .arg(size.height());
            if (state.fit == Fit::window) {
                QVERIFY2(WindowDriver::shownWindow(QLatin1String(state.item)),
                         qPrintable(at + " is not open"));
                continue;
            }
            QRectF rect;
            QVERIFY2(WindowDriver::waitFor([&] { return fits(w, state, rect); }),
                     qPrintable(at + QStringLiteral(" lies at %1,%2 %3x%4")
                                         .arg(rect.x())
                                         .arg(rect.y())
                                         .arg(rect.width())
                                         .arg(rect.height())));
            // What moves in (a banner) is looked at where it comes to rest.
            QStringList unreachable;
            WindowDriver::waitFor([&] { return (unreachable = outOfReach(window)).isEmpty(); });
            QVERIFY2(unreachable.isEmpty(), qPrintable(at + QStringLiteral(", out of reach: ") +
                                                       unreachable.join(QStringLiteral("; "))));
        }
    }

private slots:
    void init() { WindowDriver::failOnBindingLoops(); }

    void initTestCase() {
        // A photo application on the desktop, so a copy's result offers it.
        QVERIFY(WindowDriver::addPhotoApp(desktop_.path()));
        WindowDriver::prepare(look_, present_);
    }

    void everyStateEverySize_data() {
        QTest::addColumn<int>("road");
        for (int i = 0; i < int(std::size(kRoads)); ++i) QTest::newRow(kRoads[i].name) << i;
    }
    void everyStateEverySize() {
        QFETCH(int, road);
        Session s(present_, kRoads[road].saved, kOtherChecks);
        QVERIFY(s.shown);
        for (const State& state : kRoads[road].states) {
            QVERIFY2(state.reach(s),
                     qPrintable(QStringLiteral("%1 was not reached").arg(QLatin1String(state.name))));
            walk(*s.window, state, "as reached");
            if (QTest::currentTestFailed()) return;
            QVERIFY2(state.change(s),
                     qPrintable(QStringLiteral("%1 did not change").arg(QLatin1String(state.name))));
            walk(*s.window, state, "changed");
            if (QTest::currentTestFailed()) return;
        }
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    EveryStateWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "EveryStateWindowTest.moc"
