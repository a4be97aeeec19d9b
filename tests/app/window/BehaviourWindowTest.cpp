// The application's window over the real model, whose check, copy and file manager are the
// stage's scripted stand-ins: what Escape closes, what a new check or card does to the preview and
// the search, the grid's page keys, shoots never read, the pictures of files that have none, the
// copy's preview and result, a desktop without a file manager, and quitting without a word from QML.
#include <QApplication>
#include <QDir>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QLineF>
#include <QMap>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSGRendererInterface>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QWheelEvent>

#include <cmath>
#include <memory>

#include "WindowDriver.h"
#include "model/CopySheet.h"
#include "present/Fit.h"
#include "shell/VideoFrames.h"
#include "thumbnail/CardFixtures.h"

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

// The stage's model with this saved check opened, and the window over it.
struct Session : ScriptedSession {
    bool ready = false;
    Session(shell::Present& present, const QString& saved) : ScriptedSession(present, {saved}) {
        ready = shown && stage.openSaved(0);
    }
};

// Whether a popup of the window's (a menu when `name` is empty) is open.
bool isOpen(WindowDriver& w, const QString& name = {}) {
    for (QObject* popup : w.window().findChildren<QObject*>())
        if ((name.isEmpty() ? popup->inherits("QQuickMenu") : popup->objectName() == name) &&
            popup->property("opened").toBool())
            return true;
    return false;
}

// Whether a menu of the window is shown, its opening transition begun or not.
bool menuShown(WindowDriver& w) {
    for (QObject* popup : w.window().findChildren<QObject*>())
        if (popup->inherits("QQuickMenu") && popup->property("visible").toBool()) return true;
    return false;
}

// Every item of that class below `item`. The list is good until the next turn of the event loop
// (an item a view lets go of is deleted there): a case collects again after one.
QList<QQuickItem*> collect(QQuickItem* item, const char* className) {
    QList<QQuickItem*> out;
    if (item->inherits(className)) out << item;
    for (QQuickItem* child : item->childItems()) out << collect(child, className);
    return out;
}

// The tooltip of a plain owner under `at` that is wanted now (its owner hovered), shown or not;
// nullptr when none is. Made when first wanted, it is found by the host that makes it.
QObject* wantedTipAt(WindowDriver& w, QPoint at) {
    for (QQuickItem* host : collect(w.window().contentItem(), "QQuickLoader"))
        if (host->metaObject()->indexOfProperty("tipName") >= 0 && host->property("shown").toBool() &&
            host->contains(host->mapFromScene(at)))
            return host->property("item").value<QObject*>();
    return nullptr;
}

// The text of the window's open tooltip of that name, once the pointer, moved onto the middle of
// `item` from elsewhere, has rested there; "" when none opens (after kHangDetectorMs).
QString tipOver(WindowDriver& w, QQuickItem* item, const QString& name) {
    (void)w.window().grabWindow();
    const QPoint at = item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    QTest::mouseMove(&w.window(), QPoint(5, 5));
    QTest::mouseMove(&w.window(), at);
    QString text;
    WindowDriver::waitFor([&] {
        // A shown tooltip lays its item in the window's overlay.
        for (QQuickItem* popup : collect(w.window().contentItem(), "QQuickPopupItem"))
            if (popup->isVisible() && popup->parent() && popup->parent()->objectName() == name)
                text = popup->parent()->property("text").toString();
        return !text.isEmpty();
    });
    return text;
}

QPoint middleOf(QQuickItem* item) { return item->mapToScene(QPointF(item->width() / 2, 8)).toPoint(); }

// A text as read, without the marks that keep its names in their order (they take no room).
QString unmarked(QString text) {
    static const QRegularExpression marks(QStringLiteral("[\u200E\u2066-\u2069]"));
    return text.remove(marks);
}

// Whether a file name as shown keeps the number and extension of the name it shows.
bool keepsNumber(const QString& shown, const QString& whole) {
    const QString name = unmarked(whole).section(QLatin1Char('/'), -1);
    const present::NameEnds e = present::nameEnds(name);
    return unmarked(shown).contains(name.mid(e.number, e.numberEnd - e.number)) &&
           unmarked(shown).endsWith(name.mid(e.extension));
}

// Whether a text as drawn in `font` keeps its parts in their order left to right, whatever the
// script of each: every "/", "›", "·" and "—" between them, and the dot before a file's extension
// (`fileName`), stands right of everything written before it and left of everything after it.
bool readsInOrder(const QString& shown, const QFont& font, bool fileName) {
    QTextLayout layout(shown, font);
    layout.beginLayout();
    layout.createLine().setLineWidth(1e6);
    layout.endLayout();
    std::vector<QRectF> drawn;  // each character's glyphs; none for a mark
    for (int i = 0; i < shown.size(); ++i) {
        QRectF r;
        for (const QGlyphRun& run : layout.glyphRuns(i, 1)) r |= run.boundingRect();
        drawn.push_back(r);
    }
    std::vector<int> stops;
    for (int i = 0; i < shown.size(); ++i)
        if (QStringView(u"/\u203A\u00B7\u2014").contains(shown.at(i))) stops.push_back(i);
    if (const int dot = int(shown.lastIndexOf(u'.')); fileName && dot > (stops.empty() ? -1 : stops.back()))
        stops.push_back(dot);
    for (int stop : stops)
        for (int i = 0; i < int(shown.size()); ++i) {
            if (i == stop || drawn[size_t(i)].width() <= 0) continue;
            const QRectF& at = drawn[size_t(stop)];
            if (i < stop ? drawn[size_t(i)].right() > at.left() + 0.5
                         : drawn[size_t(i)].left() < at.right() - 0.5)
                return false;
        }
    return true;
}

bool darkish(const QColor& c) { return c.lightnessF() < 0.5; }

// Where the results header's parts and the filter strip below it stand in the window, each by its
// top left corner, after a frame has laid them out. The next-card button, which moves along its
// row as the verify button comes and goes, by its row's height alone.
using Places = QMap<QString, QPointF>;
Places headerPlaces(WindowDriver& w) {
    (void)w.window().grabWindow();
    Places out;
    const auto at = [&](const QString& key, QQuickItem* item, bool heightOnly) {
        if (!item) return;
        const QPointF p = item->mapToScene(QPointF(0, 0));
        out.insert(key, heightOnly ? QPointF(0, p.y()) : p);
    };
    for (const QString form : {"", "compact-", "symbols-"}) {
        at(QStringLiteral("copy"), w.item(form + "copy"), false);
        at(QStringLiteral("nextCard"), w.item(form + "nextCard"), true);
    }
    for (const char* name : {"heroTitle", "coverageRing", "chip-photo", "chip-video", "chip-audio",
                             "chip-other", "photoFormats", "cardContents"})
        at(QLatin1String(name), w.item(QLatin1String(name)), false);
    return out;
}

// What moved from `before` to `after`, or went; "" when nothing did.
QString moved(const Places& before, const Places& after, const QString& when) {
    QStringList out;
    for (auto it = before.begin(); it != before.end(); ++it)
        if (!after.contains(it.key()))
            out << it.key() + QStringLiteral(" went");
        else if (QLineF(it.value(), after[it.key()]).length() > 0.5)
            out << QStringLiteral("%1 moved from %2,%3 to %4,%5")
                       .arg(it.key())
                       .arg(it.value().x())
                       .arg(it.value().y())
                       .arg(after[it.key()].x())
                       .arg(after[it.key()].y());
    return out.isEmpty() ? QString() : when + QStringLiteral(": ") + out.join(QStringLiteral("; "));
}

// Where the item with the keys' focus lies out of sight of a view that scrolls around it: "" when
// it is in sight in every one (or, taller than one, starts at its top).
QString focusOutOfSight(QQuickWindow& window) {
    QQuickItem* item = window.activeFocusItem();
    if (!item || !item->isVisible()) return {};
    for (QQuickItem* view = item->parentItem(); view; view = view->parentItem()) {
        if (!view->inherits("QQuickFlickable")) continue;
        const QRectF r = item->mapRectToItem(view, QRectF(0, 0, item->width(), item->height()));
        const bool inSight = r.top() >= -0.5 && (r.bottom() <= view->height() + 0.5 || r.top() <= 8.5);
        if (!inSight)
            return QStringLiteral("%1 (%2) at %3..%4 of %5 (%6)")
                .arg(item->objectName(), QString::fromLatin1(item->metaObject()->className()))
                .arg(r.top())
                .arg(r.bottom())
                .arg(view->objectName())
                .arg(view->height());
    }
    return {};
}

// The WCAG 2 contrast ratio of two colours.
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) {
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

class BehaviourWindowTest : public QObject {
    Q_OBJECT

    shell::Look look_;
    shell::Present present_;
    QTemporaryDir desktop_;

private slots:
    void init() { WindowDriver::failOnBindingLoops(); }

    void initTestCase() {
        // A photo application on the desktop, beside the machine's, before anything asks for them.
        QVERIFY(WindowDriver::addPhotoApp(desktop_.path()));
        WindowDriver::prepare(look_, present_);
        // The pointer lights what it rests on, as on a desktop (the offscreen platform says not).
        QGuiApplication::styleHints()->setUseHoverEffects(true);
    }

    // The copy dialog's layout choices stand out from the sheet in the dark looks, the chosen one
    // an accent ring around a dot. A name too long for the backup, refused while planning, comes
    // back in the result once, cut, with why.
    void theCopyDialogInTheDarkAndALongName() {
        Session s(present_, QStringLiteral("missing-unbroken"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.clickAction(QStringLiteral("copy")) && s.stage.waitForPlan());
        QVERIFY(!w.text(QStringLiteral("refusedNote")).isEmpty());
        for (const auto appearance : {present::Appearance::dark, present::Appearance::hcDark}) {
            look_.set(appearance, true);
            auto* chosen = w.item(QStringLiteral("layout_0"))->property("indicator").value<QQuickItem*>();
            auto* other = w.item(QStringLiteral("layout_3"))->property("indicator").value<QQuickItem*>();
            const QColor sheet = w.colorAt(chosen, {-4, chosen->height() / 2});
            for (QQuickItem* mark : {chosen, other}) {
                const QColor ring =
                    mark->property("border").value<QObject*>()->property("color").value<QColor>();
                QVERIFY2(contrast(ring, sheet) >= 3, qPrintable(ring.name() + " on " + sheet.name()));
            }
            const QColor dot = w.colorAt(chosen, {chosen->width() / 2, chosen->height() / 2});
            QVERIFY2(contrast(dot, sheet) >= 3, qPrintable(dot.name() + " on " + sheet.name()));
            QVERIFY(w.colorDistance(w.colorAt(other, {other->width() / 2, other->height() / 2}), sheet) <
                    0.05);
        }
        look_.set(present::Appearance::light, true);
        QVERIFY(w.click(QStringLiteral("copyButton")) && s.stage.finishCopy(QStringLiteral("problems")));
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("failureLine")); }));
        const QString line = w.text(QStringLiteral("failureLine"));
        QVERIFY2(line.count(QStringLiteral("Свадьба")) <= 6 &&
                     line.contains(QStringLiteral(": Its name is longer than")),
                 qPrintable(line));
    }

    // Escape closes the card's contents, the copy's result (which is Done: the card is checked
    // again), the last copy and the Settings window; a menu closed so leaves no title lit and the
    // menu bar as it was. The result offers the photo application, saying what it is given.
    void escapeClosesWhatIsOpen() {
        Session s(present_, QStringLiteral("missing"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.click(QStringLiteral("cardContents")));
        QVERIFY(WindowDriver::waitFor([&] { return isOpen(w, QStringLiteral("contentsPopover")); }));
        w.key(Qt::Key_Escape);
        QVERIFY(WindowDriver::waitFor([&] { return !isOpen(w, QStringLiteral("contentsPopover")); }));

        QVERIFY(w.clickAction(QStringLiteral("copy")));
        QVERIFY(s.stage.waitForPlan() && w.click(QStringLiteral("copyButton")));
        QVERIFY(s.stage.finishCopy(QStringLiteral("copied")));
        QQuickItem* handOff = w.item(QStringLiteral("handOff"));
        QVERIFY(handOff);
        QCOMPARE(handOff->property("text").toString(), QStringLiteral("Add to digiKam"));
        QCOMPARE(handOff->property("symbol").toString(), QStringLiteral("photo.on.rectangle.angled"));
        const int copied =
            present_.copyReport(s.model().lastCopy()).value(QStringLiteral("copiedCount")).toInt();
        QCOMPARE(
            handOff->findChild<QObject*>(QStringLiteral("handOffHelp"))->property("text").toString(),
            QStringLiteral("Open the %1 new %2 in digiKam").arg(copied).arg(copied == 1 ? "file" : "files"));
        const int checks = s.stage.checkCount();
        w.key(Qt::Key_Escape);
        QVERIFY(WindowDriver::waitFor([&] { return !isOpen(w, QStringLiteral("copySheet")); }));
        QCOMPARE(s.stage.checkCount(), checks + 1);
        QVERIFY(s.stage.finishCheck(QStringLiteral("missing")));

        QVERIFY(w.click(QStringLiteral("lastCopyButton")));
        QVERIFY(WindowDriver::waitFor([&] { return isOpen(w, QStringLiteral("lastCopyPopover")); }));
        w.key(Qt::Key_Escape);
        QVERIFY(WindowDriver::waitFor([&] { return !isOpen(w, QStringLiteral("lastCopyPopover")); }));

        w.key(Qt::Key_Comma, Qt::ControlModifier);
        QQuickWindow* settings = nullptr;
        QVERIFY(
            WindowDriver::waitFor([&] { return settings = WindowDriver::shownWindow("settingsWindow"); }));
        QVERIFY(QTest::qWaitForWindowActive(settings, kHangDetectorMs));
        QTest::keyClick(settings, Qt::Key_Escape);
        QVERIFY(WindowDriver::waitFor([] { return !WindowDriver::shownWindow("settingsWindow"); }));

        // A menu opened with the pointer on its title, which stays there while Escape closes it.
        const auto titles = [&] { return collect(w.window().contentItem(), "QQuickMenuBarItem"); };
        QCOMPARE(titles().size(), 2);
        const QPoint first = middleOf(titles()[0]), second = middleOf(titles()[1]);
        QTest::mouseMove(&w.window(), first);
        QTest::mouseClick(&w.window(), Qt::LeftButton, Qt::NoModifier, first);
        QVERIFY(WindowDriver::waitFor([&] { return isOpen(w); }));
        w.key(Qt::Key_Escape);
        QVERIFY(WindowDriver::waitFor([&] { return !isOpen(w); }));
        QTest::mouseMove(&w.window(), middleOf(w.item(QStringLiteral("mode-Map"))));
        for (QQuickItem* title : titles())
            QVERIFY2(!title->property("highlighted").toBool(), "a title stays lit");
        QTest::mouseMove(&w.window(), second);
        // The hover has reached the title, where a menu would open with it.
        QVERIFY(WindowDriver::waitFor([&] { return titles()[1]->property("hovered").toBool(); }));
        QVERIFY2(!isOpen(w) && !menuShown(w), "a menu opens on a mere hover");
        QTest::mouseClick(&w.window(), Qt::LeftButton, Qt::NoModifier, first);
        QVERIFY2(WindowDriver::waitFor([&] { return isOpen(w); }), "the click only closed");
    }

    // Drawn in software, nothing of the results page is left over the menus and the toolbar as
    // the wheel scrolls it: "Safe to format" for a card of eight cameras, whose header ten notches
    // over the Files view take wholly out of the page, in the default window. The window's own
    // pixels there (which a frame draws only where something changed) stay as they were.
    void aScrolledPageStaysUnderTheBars() {
        Session s(present_, QStringLiteral("safe-cameras"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QQuickWindow& window = w.window();
        QCOMPARE(window.rendererInterface()->graphicsApi(), QSGRendererInterface::Software);
        QVERIFY(w.resize({1240, 800}) && w.click(QStringLiteral("mode-Files")));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), QStringLiteral("Safe to format"));
        QQuickItem* detail = w.item(QStringLiteral("detail"));
        QVERIFY(detail);
        const int barsHeight = int(detail->mapToScene(QPointF(0, 0)).y());
        const auto bars = [&] {
            return window.screen()->grabWindow(window.winId(), 0, 0, window.width(), barsHeight).toImage();
        };
        // The pointer rests where the wheel turns, off the toolbar; the bars' symbols have loaded.
        const QPoint at = detail->mapToScene(QPointF(detail->width() / 2, detail->height() / 2)).toPoint();
        QTest::mouseMove(&window, at);
        QList<QQuickItem*> symbols;
        for (const char* bar : {"menuBar", "header"})
            symbols << collect(window.property(bar).value<QQuickItem*>(), "QQuickImage");
        QVERIFY(WindowDriver::waitFor([&] {
            return std::none_of(symbols.begin(), symbols.end(),
                                [](QQuickItem* i) { return i->property("status").toInt() == 2; });  // loading
        }));
        (void)window.grabWindow();  // the whole window drawn
        const QImage before = bars();
        for (int notch = 0; notch < 10; ++notch) {
            QWheelEvent wheel(at, window.mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QSignalSpy drawn(&window, &QQuickWindow::frameSwapped);  // each notch drawn as it comes
            QGuiApplication::sendEvent(&window, &wheel);
            window.update();
            QVERIFY(WindowDriver::waitFor([&] { return drawn.count() > 0; }));
        }
        // The header's ring lies wholly above the page, where none of it is to be seen.
        QQuickItem* ring = w.item(QStringLiteral("coverageRing"));
        QVERIFY(ring && ring->mapToScene(QPointF(0, ring->height())).y() <= barsHeight);
        QVERIFY2(bars() == before, "the page drew over the menus or the toolbar");
    }

    // A check started with a file in the preview closes the preview and forgets it: the results
    // that come back do not open it again.
    void aNewCheckClosesThePreview() {
        Session s(present_, QStringLiteral("browser"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.click(QStringLiteral("mode-Files")) && w.click(QStringLiteral("fileRow")));
        w.key(Qt::Key_Space);
        QVERIFY(WindowDriver::waitFor([] { return WindowDriver::shownWindow("previewWindow"); }));
        const int checks = s.stage.checkCount();
        w.key(Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(WindowDriver::waitFor([&] { return s.stage.checkCount() > checks; }));
        QVERIFY(WindowDriver::waitFor([] { return !WindowDriver::shownWindow("previewWindow"); }));
        QVERIFY(!s.model().previewOpen() && s.model().previewUrls().isEmpty());
        QVERIFY(s.stage.finishCheck(QStringLiteral("browser")));
        // The results are in the window, a frame of them drawn: the preview would be back by now.
        (void)w.window().grabWindow();
        QVERIFY(!s.model().previewOpen() && s.model().previewUrls().isEmpty());
        QVERIFY(!WindowDriver::shownWindow("previewWindow"));
    }

    // A tooltip goes when what it tells of moves under the pointer: a shoot's, as the wheel moves
    // the page a little; the header's, as Page Down moves it away or the window is made wider.
    void aTooltipGoesWhenItsItemMoves() {
        Session s(present_, QStringLiteral("missing"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.resize({1040, 660}));
        // A shown tooltip lays its item in the window's overlay.
        const auto tipShown = [&] {
            const QList<QQuickItem*> popups = collect(w.window().contentItem(), "QQuickPopupItem");
            return std::any_of(popups.begin(), popups.end(), [](QQuickItem* i) {
                return i->isVisible() && i->parent() && i->parent()->inherits("QQuickToolTip");
            });
        };
        // The item is read before the pointer moves, which turns the event loop.
        const auto hover = [&](QQuickItem* item, qreal y) {
            (void)w.window().grabWindow();
            const QPoint at = item->mapToScene(QPointF(item->width() / 2, y)).toPoint();
            QTest::mouseMove(&w.window(), QPoint(5, 5));
            QTest::mouseMove(&w.window(), at);
            return WindowDriver::waitFor(tipShown) ? at : QPoint();
        };
        QQuickItem* row = w.item(QStringLiteral("shootRow"));
        QVERIFY(row);
        const QPoint at = hover(row, 10);
        QVERIFY2(!at.isNull(), "no tooltip over the shoot");
        QWheelEvent wheel(at, w.window().mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        wheel.setTimestamp(1000);
        QGuiApplication::sendEvent(&w.window(), &wheel);
        QVERIFY2(WindowDriver::waitFor([&] { return !tipShown(); }),
                 "the shoot's tooltip stays as the page moves");
        // Nor does one come for what now lies under the resting pointer, until the pointer moves:
        // once that has the hover (a frame drawn after the page moved gives it), its tooltip is
        // wanted but not armed to show.
        QObject* resting = nullptr;
        QVERIFY(WindowDriver::waitFor([&] {
            (void)w.window().grabWindow();
            resting = wantedTipAt(w, at);
            return resting != nullptr;
        }));
        QVERIFY2(!resting->property("armed").toBool() && !tipShown(),
                 "a tooltip comes under the resting pointer");
        QTest::mouseMove(&w.window(), at + QPoint(1, 0));
        QVERIFY2(WindowDriver::waitFor(tipShown), "no tooltip once the pointer moves");

        const auto button = [&] {
            QQuickItem* b = w.item(QStringLiteral("nextCardPrimary"));
            return b ? b : w.item(QStringLiteral("compact-nextCardPrimary"));
        };
        w.key(Qt::Key_PageUp);
        QVERIFY2(!hover(button(), button()->height() / 2).isNull(), "no tooltip over the button");
        w.key(Qt::Key_PageDown);
        QVERIFY2(WindowDriver::waitFor([&] { return !tipShown(); }), "the tooltip stays after Page Down");
        w.key(Qt::Key_PageUp);
        QVERIFY2(!hover(button(), button()->height() / 2).isNull(), "no tooltip over the button");
        QVERIFY(w.resize({1600, 660}));
        QVERIFY2(WindowDriver::waitFor([&] { return !tipShown(); }), "the tooltip stays after a resize");
    }

    // In the dark look the preview's page buttons are dark, as the main window's buttons are.
    void thePreviewTakesTheLook() {
        Session s(present_, QStringLiteral("browser"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.click(QStringLiteral("mode-Files")) && w.click(QStringLiteral("fileRow")));
        w.key(Qt::Key_Space);
        QQuickWindow* preview = nullptr;
        QVERIFY(WindowDriver::waitFor([&] { return preview = WindowDriver::shownWindow("previewWindow"); }));
        look_.set(present::Appearance::dark, true);
        const QImage frame = preview->grabWindow();
        look_.set(present::Appearance::light, true);
        for (const char* name : {"previewPrevious", "previewNext"}) {
            const QList<QQuickItem*> buttons = collect(preview->contentItem(), "QQuickButton");
            QQuickItem* button = nullptr;
            for (QQuickItem* b : buttons)
                if (b->objectName() == QLatin1String(name)) button = b;
            QVERIFY2(button, name);
            // The face beside the arrow.
            const QPointF at =
                button->mapToScene(QPointF(5, button->height() / 2)) * preview->effectiveDevicePixelRatio();
            QVERIFY2(darkish(frame.pixelColor(at.toPoint())), name);
        }
    }

    // A full-range clip, as phones write it, plays in its range where the preview is drawn in
    // software, as its still shows it: a 75% white and a colour, not stretched as if its samples
    // were limited. A limited one, as most cameras write it, plays in its own.
    void aClipPlaysInItsRange_data() {
        QTest::addColumn<int>("matrix");
        QTest::addColumn<bool>("fullRange");
        QTest::newRow("full, BT.709") << int(test::VideoColour::Matrix::bt709) << true;
        QTest::newRow("limited, BT.601") << int(test::VideoColour::Matrix::bt601) << false;
    }
    void aClipPlaysInItsRange() {
        QFETCH(int, matrix);
        QFETCH(bool, fullRange);
        Session s(present_, QStringLiteral("browser"));
        QVERIFY(s.ready);
        AppModel& m = s.model();
        const auto& files = m.report()->files;
        const auto clip = std::find_if(files.begin(), files.end(),
                                       [](const FileResult& f) { return f.name.ends_with(".MP4"); });
        QVERIFY(clip != files.end());
        // The card's clip made a real one: its left half a 75% white, its right half a colour.
        const QColor halves[] = {QColor(191, 191, 191), QColor(40, 150, 200)};
        QString why;
        if (!test::writeVideo(QString::fromStdString(m.report()->absolutePath(*clip)), {320, 240}, halves[0],
                              2.0, &why, {test::VideoColour::Matrix(matrix), fullRange}, halves[1]))
            QSKIP(qPrintable(why));
        m.quickLook(int64_t(clip->id));
        QQuickWindow* preview = nullptr;
        QVERIFY(WindowDriver::waitFor([&] { return preview = WindowDriver::shownWindow("previewWindow"); }));
        const auto named = [&](const char* name) {
            return s.window->items(name, preview->contentItem()).value(0);
        };
        auto* frames = qobject_cast<shell::VideoFrames*>(named("previewFrames"));
        QQuickItem* still = named("previewImage");
        QQuickItem* play = named("previewPlay");
        QVERIFY(frames && still && play);
        QVERIFY(WindowDriver::waitFor([&] { return still->implicitWidth() > 0; }));
        for (const char* shown : {"still", "playing"}) {
            if (shown == QLatin1String("playing")) {
                QTest::mouseClick(preview, Qt::LeftButton, Qt::NoModifier,
                                  play->mapToScene(QPointF(play->width() / 2, play->height() / 2)).toPoint());
                QVERIFY(WindowDriver::waitFor([&] { return frames->videoSink()->videoFrame().isValid(); }));
            }
            // The middle of each half of the picture, as large as fits in the middle of the item.
            const QImage drawn = preview->grabWindow();
            QSizeF picture(320, 240);
            picture.scale(frames->size(), Qt::KeepAspectRatio);
            for (int half = 0; half < 2; ++half) {
                const QPointF at(frames->width() / 2 + (half - 0.5) * picture.width() / 2,
                                 frames->height() / 2);
                const QColor c = drawn.pixelColor(
                    (frames->mapToScene(at) * preview->effectiveDevicePixelRatio()).toPoint());
                QVERIFY2(WindowDriver::colorDistance(c, halves[half]) < 12 / 255.0,
                         qPrintable(QStringLiteral("%1: %2").arg(shown, c.name())));
            }
        }
        m.closePreview();
    }

    // Words typed into the browser's search for one card are not the next card's: it starts with
    // an empty search and shows its files.
    void aNewCardStartsWithAnEmptySearch() {
        Session s(present_, QStringLiteral("browser"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.click(QStringLiteral("mode-Files")) && w.click(QStringLiteral("searchField")));
        w.type(QStringLiteral("zzz"));
        QTRY_COMPARE(w.text(QStringLiteral("fileCount")), QStringLiteral("0 files"));
        s.stage.pickFolders({s.stage.folder(QStringLiteral("media/ana/NEXT"))});
        w.key(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(s.model().search(), QString());
        w.key(Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(s.stage.finishCheck(QStringLiteral("browser")));
        QVERIFY(w.click(QStringLiteral("mode-Files")));
        QCOMPARE(w.text(QStringLiteral("searchField")), QString());
        QCOMPARE(w.text(QStringLiteral("fileCount")), QStringLiteral("12 files"));
    }

    // Page Down and Page Up move the grid's selection by whole lines, in its column.
    void theGridPages() {
        Session s(present_, QStringLiteral("browser"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.click(QStringLiteral("mode-Files")) && w.click(QStringLiteral("segment-square.grid.2x2")));
        QVERIFY(w.click(QStringLiteral("fileTile")));
        // The tile is read before the key: the grid may let it go as it scrolls.
        QQuickItem* first = w.item(QStringLiteral("fileTile"));
        const qint64 firstID = first->property("fileId").toLongLong();
        const QPointF firstAt(first->x(), first->y());
        QCOMPARE(s.model().selectedFileID(), firstID);
        w.key(Qt::Key_PageDown);
        QQuickItem* below = nullptr;
        for (QQuickItem* tile : w.items(QStringLiteral("fileTile")))
            if (tile->property("fileId").toLongLong() == s.model().selectedFileID()) below = tile;
        QVERIFY(below && s.model().selectedFileID() != firstID);
        QVERIFY(below->x() == firstAt.x() && below->y() > firstAt.y());
        w.key(Qt::Key_PageUp);
        QCOMPARE(s.model().selectedFileID(), firstID);
    }

    // Page Down and Page Up scroll the start screen and the shoots list by what they show, from
    // wherever the keys are, as the browser's table and grid page by their own keys. Where the
    // results page scrolls around the list (its header is too tall for the smallest window), Page
    // Down moves the page first, until the list has all its room, and Page Up last, once the list
    // is at its top.
    void pageKeysScrollTheScreens() {
        for (const char* saved : {"", "missing", "safe-cameras"}) {
            stage::Stage stage;
            stage.setPresent(&present_);
            stage.setSavedChecks(12);
            if (*saved) stage.setSaved({QLatin1String(saved)});
            QVERIFY(stage.start());
            WindowDriver w(stage);
            QVERIFY(w.ready() && (!*saved || stage.openSaved(0)));
            QVERIFY(w.resize({1040, 660}));
            QQuickItem* view = w.item(QLatin1String(*saved ? "shootList" : "homeScroll"));
            if (view && !*saved) view = view->property("contentItem").value<QQuickItem*>();
            QVERIFY2(view, saved);
            QVERIFY(WindowDriver::waitFor([&] {
                return view->property("contentHeight").toReal() > view->height() + view->height() / 2;
            }));
            const auto y = [](QQuickItem* f) { return f->property("contentY").toReal(); };
            const qreal top = y(view);
            QQuickItem* page = *saved ? w.item(QStringLiteral("resultsPage")) : nullptr;
            if (page) {
                QVERIFY2(WindowDriver::waitFor([&] { return !page->property("atEnd").toBool(); }), saved);
                for (int k = 0; k < 10 && !page->property("atEnd").toBool(); ++k) {
                    const qreal before = y(page);
                    w.key(Qt::Key_PageDown);
                    QVERIFY2(y(page) > before && y(view) == top, saved);
                }
                QVERIFY2(page->property("atEnd").toBool(), saved);
            }
            w.key(Qt::Key_PageDown);
            const qreal down = y(view);
            QVERIFY2(down > top + view->height() / 2, saved);
            w.key(Qt::Key_PageDown);
            QVERIFY2(y(view) > down || view->property("atYEnd").toBool(), saved);
            // Back up: the list to its top, and only then the page.
            const qreal pageEnd = page ? y(page) : 0;
            for (int k = 0; k < 10 && y(view) > top; ++k) {
                w.key(Qt::Key_PageUp);
                if (page) QVERIFY2(y(page) == pageEnd, saved);
            }
            QCOMPARE(y(view), top);
            for (int k = 0; page && k < 10 && y(page) > 0; ++k) w.key(Qt::Key_PageUp);
            if (page) QCOMPARE(y(page), 0.0);
            QCOMPARE(y(view), top);
            QCOMPARE(present_.ambiguousShortcuts(&w.window()), QStringList());
        }
    }

    // At the smallest window a card of eight cameras makes the results page taller than the
    // screen: the wheel over the shoots moves the page first, then the list, and back; the ready
    // panel's buttons, reached by Tab, come into sight; each has its room in the window; the day
    // pinned over the scrolled shoots hides them, beside the list's scroll bar.
    void theResultsPageScrolls() {
        Session s(present_, QStringLiteral("safe-cameras"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.resize({1040, 660}));
        QQuickItem* page = w.item(QStringLiteral("resultsPage"));
        QQuickItem* list = w.item(QStringLiteral("shootList"));
        QVERIFY(page && list);
        const auto y = [](QQuickItem* f) { return f->property("contentY").toReal(); };
        // Near the page's foot: over the panel at first, over the shoots once they come up.
        const auto wheel = [&](int notches) {
            (void)w.window().grabWindow();
            const QPoint at = page->mapToScene(QPointF(page->width() / 2, page->height() - 30)).toPoint();
            QWheelEvent event(at, w.window().mapToGlobal(at), QPoint(), QPoint(0, -120 * notches),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            // A turn of the wheel a moment after the last, as a hand turns it.
            static ulong time = 1000;
            event.setTimestamp(time += 100);
            QGuiApplication::sendEvent(&w.window(), &event);
            QCoreApplication::processEvents();
        };
        // The panel's rows are laid out a frame or more after the resize on a busy machine.
        QVERIFY(WindowDriver::waitFor([&] { return !page->property("atEnd").toBool(); }));
        const qreal top = y(list);
        for (int k = 0; k < 40 && !page->property("atEnd").toBool(); ++k) {
            wheel(1);
            QCOMPARE(y(list), top);
        }
        QVERIFY2(page->property("atEnd").toBool(), "the wheel did not bring the page to its end");
        wheel(2);
        QVERIFY(WindowDriver::waitFor([&] { return y(list) > top; }));
        // Back up: the list to its top, then the page, a turn at a time as each moves.
        QVERIFY(WindowDriver::waitFor([&] {
            if (y(page) > 0) wheel(-1);
            return y(page) <= 0;
        }));
        QCOMPARE(y(page), 0.0);
        QVERIFY(WindowDriver::waitFor([&] { return y(list) <= top; }));

        // Tab from the header walks into the ready panel: its buttons come into sight.
        const QRectF shown(page->mapToScene(QPointF(0, 0)), page->size());
        w.item(QStringLiteral("heroTitle"))->forceActiveFocus(Qt::TabFocusReason);
        for (const char* name : {"ejectCard", "eraseInstead"}) {
            QQuickItem* button = w.item(QLatin1String(name));
            QVERIFY2(button, name);
            for (int k = 0; k < 30 && w.window().activeFocusItem() != button; ++k) w.key(Qt::Key_Tab);
            QCOMPARE(w.window().activeFocusItem(), button);
            const QRectF at = button->mapRectToScene(QRectF(0, 0, button->width(), button->height()));
            QVERIFY2(shown.contains(at), name);
        }

        // The shoots scrolled, the page at its end: the day pinned at the list's top hides the
        // rows that pass under it, and its count ends before the scroll bar begins.
        page->setProperty("contentY", page->property("end"));
        list->setProperty("contentY", list->property("contentY").toReal() + 90);
        (void)w.window().grabWindow();
        QQuickItem* pinned = nullptr;
        for (QQuickItem* header : w.items(QStringLiteral("dayHeaderBar"), list))
            if (!pinned || std::abs(header->mapToItem(list, QPointF()).y()) <
                               std::abs(pinned->mapToItem(list, QPointF()).y()))
                pinned = header;
        QVERIFY(pinned);
        QQuickItem* title = w.items(QStringLiteral("dayHeader"), pinned).value(0);
        QQuickItem* count = w.items(QStringLiteral("dayCount"), pinned).value(0);
        QVERIFY(title && count);
        const QColor ground = pinned->property("color").value<QColor>();
        const qreal from = title->x() + title->width() + 8, to = count->x() - 8;
        QVERIFY(to > from);
        for (qreal x = from; x < to; x += 6)
            for (qreal down = 4; down < pinned->height() - 4; down += 6) {
                const QColor seen = w.colorAt(pinned, {x, down});
                QVERIFY2(WindowDriver::colorDistance(seen, ground) < 0.02,
                         qPrintable(
                             QStringLiteral("%1 at %2,%3 under the day").arg(seen.name()).arg(x).arg(down)));
            }
        QQuickItem* bar = w.item(QStringLiteral("shootListBar"));
        QVERIFY(bar);
        QVERIFY2(count->mapToScene(QPointF(count->width(), 0)).x() <= bar->mapToScene(QPointF()).x(),
                 "the scroll bar lies over the day's count");
    }

    // A location removed from the keyboard leaves the keys in the sidebar: a backup's on the
    // backup that takes its place, the last one's on "Add another backup…", the card's on "Choose
    // card or folder…"; by Delete, by its remove button and by its menu alike.
    void removingFromTheKeyboardKeepsTheKeys() {
        stage::Stage stage;
        stage.setPresent(&present_);
        QVERIFY(stage.start());
        AppModel& m = stage.model();
        WindowDriver w(stage);
        QVERIFY(w.ready());
        QQuickItem* sidebar = w.item(QStringLiteral("sidebar"));
        auto rows = [&] { return w.items(QStringLiteral("backupRow"), sidebar); };
        auto keys = [&] { return w.window().activeFocusItem(); };
        auto named = [&](QQuickItem* row) {
            return WindowDriver::textIn(row, QStringLiteral("locationName"));
        };
        const std::string card = stage.folder(QStringLiteral("card")).toStdString();
        std::vector<std::string> backups;
        for (const char* name : {"a", "b", "c", "d"})
            backups.push_back(stage.folder(QLatin1String(name)).toStdString());
        m.setSource(card);
        m.addBackups(backups);
        QVERIFY(WindowDriver::waitFor([&] { return rows().size() == 4; }));

        // Delete on the first backup.
        rows()[0]->forceActiveFocus(Qt::TabFocusReason);
        w.key(Qt::Key_Delete);
        QVERIFY(WindowDriver::waitFor([&] { return rows().size() == 3 && keys() == rows()[0]; }));
        QCOMPARE(named(keys()), QStringLiteral("b"));
        // Its remove button, reached by Tab and pressed with Space.
        w.key(Qt::Key_Tab);
        QCOMPARE(keys()->objectName(), QStringLiteral("removeButton"));
        w.key(Qt::Key_Space);
        QVERIFY(WindowDriver::waitFor([&] { return rows().size() == 2 && keys() == rows()[0]; }));
        QCOMPARE(named(keys()), QStringLiteral("c"));
        // Its menu, opened and chosen from the keyboard, on the last backup.
        rows()[1]->forceActiveFocus(Qt::TabFocusReason);
        w.key(Qt::Key_Menu);
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("removeLocation")) != nullptr; }));
        w.key(Qt::Key_Down);
        w.key(Qt::Key_Down);
        w.key(Qt::Key_Return);
        QVERIFY(WindowDriver::waitFor(
            [&] { return rows().size() == 1 && keys() && keys()->objectName() == "addBackup"; }));
        QCOMPARE(named(rows()[0]), QStringLiteral("c"));
        QCOMPARE(m.destinations(), std::vector<std::string>{backups[2]});

        // The card's row.
        w.items(QStringLiteral("cardRow"), sidebar).value(0)->forceActiveFocus(Qt::TabFocusReason);
        w.key(Qt::Key_Delete);
        QVERIFY(WindowDriver::waitFor([&] { return keys() && keys()->objectName() == "chooseCard"; }));
        QVERIFY(!m.source());
    }

    // A shoot none of whose files could be read says so, in the warning colour, not "missing".
    void aShootNeverReadSaysSo() {
        Session s(present_, QStringLiteral("unread-clips"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QQuickItem* sentence = nullptr;
        QVERIFY(WindowDriver::waitFor([&] {
            for (QQuickItem* row : w.items(QStringLiteral("shootRow")))
                if (row->property("title").toString() == QStringLiteral("Video clips"))
                    sentence = w.items(QStringLiteral("shootSentence"), row).value(0);
            return sentence != nullptr;
        }));
        QCOMPARE(sentence->property("text").toString(), QStringLiteral("12 couldn't be read"));
        QCOMPARE(sentence->property("color").value<QColor>(), look_.textColor(QStringLiteral("partial")));
    }

    // In a shoot's stack, a RAW file without a preview shows its kind's symbol on the light ground
    // the browser shows it on; a JPEG beside it, its picture on the dark one.
    void filesWithoutAPictureShowTheirKind() {
        Session s(present_, QStringLiteral("browser"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        w.window().resize(w.window().width(), 1300);  // every shoot in view
        // The shoot's stack of two, found again after every turn of the event loop: the rows are
        // made anew as the list lays itself out.
        const auto stack = [&] {
            for (QQuickItem* row : w.items(QStringLiteral("shootRow")))
                if (w.items(QStringLiteral("stackTile"), row).size() == 2) return w.items("stackTile", row);
            return QList<QQuickItem*>();
        };
        // Both wait for the helper's answer.
        QVERIFY(WindowDriver::waitFor([&] {
            QList<QQuickItem*> images;
            for (QQuickItem* tile : stack()) images << collect(tile, "QQuickImage");
            return !images.isEmpty() && std::all_of(images.begin(), images.end(), [](QQuickItem* i) {
                return i->property("status").toInt() != 2;  // not loading
            });
        }));
        const QList<QQuickItem*> tiles = stack();
        QCOMPARE(tiles.size(), 2);
        QVERIFY(w.items(QStringLiteral("kindSymbol"), tiles[0]).isEmpty());
        QVERIFY(darkish(tiles[0]->property("color").value<QColor>()));
        QCOMPARE(w.items(QStringLiteral("kindSymbol"), tiles[1]).size(), 1);
        // Its right part, which the first tile does not cover, and its symbol there.
        QVERIFY(!darkish(w.colorAt(tiles[1], {tiles[1]->width() - 6, tiles[1]->height() / 2})));
        QQuickItem* symbol = w.items(QStringLiteral("kindSymbol"), tiles[1])[0];
        const qreal covered = tiles[0]->mapToItem(tiles[1], QPointF(tiles[0]->width(), 0)).x();
        QVERIFY2(symbol->mapToItem(tiles[1], QPointF(0, 0)).x() >= covered,
                 qPrintable(QStringLiteral("the symbol under the picture before it, up to %1").arg(covered)));
    }

    // Nothing under the pointer moves as the byte-by-byte pass starts, runs and ends, nor when
    // its Stop takes the strip away: the verdict's copy button and its row, the title, the ring,
    // the kind chips and "Card contents" stand where they stood, at the smallest window, the
    // default one with the inspector and a wide one.
    void theHeaderStandsStillThroughThePass_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("inspector");
        QTest::newRow("1040x660") << QSize(1040, 660) << false;
        QTest::newRow("1040x660, inspector") << QSize(1040, 660) << true;
        QTest::newRow("1240x800, inspector") << QSize(1240, 800) << true;
        QTest::newRow("1920x1080, inspector") << QSize(1920, 1080) << true;
    }
    void theHeaderStandsStillThroughThePass() {
        QFETCH(QSize, size);
        QFETCH(bool, inspector);
        // A result with files to copy whose pass ends by itself; a covered one whose pass is
        // stopped.
        for (const bool stopped : {false, true}) {
            Session s(present_, stopped ? QStringLiteral("stopped-pass") : QStringLiteral("missing"));
            QVERIFY(s.ready);
            WindowDriver& w = *s.window;
            AppModel& m = s.model();
            m.setShowInspector(inspector);
            QVERIFY(w.resize(size));
            const Places before = headerPlaces(w);
            QCOMPARE(before.contains(QStringLiteral("copy")), !stopped);
            QVERIFY(w.clickAction(QStringLiteral("verify")));
            QVERIFY(m.deepVerifying());
            QVERIFY(s.stage.progress(QStringLiteral("comparing"), QString(), 30, 90));
            QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("stopPass")); }));
            const Places running = headerPlaces(w);
            QVERIFY2(moved(before, running, "as it started").isEmpty(),
                     qPrintable(moved(before, running, "as it started")));
            if (stopped)
                QVERIFY(w.click(QStringLiteral("stopPass")));
            else
                QVERIFY(s.stage.finishCheck(QStringLiteral("missing")));
            QVERIFY(WindowDriver::waitFor(
                [&] { return !m.deepVerifying() && !w.item(QStringLiteral("stopPass")); }));
            const Places after = headerPlaces(w);
            QVERIFY2(moved(running, after, "as it ended").isEmpty(),
                     qPrintable(moved(running, after, "as it ended")));
        }
    }

    // The file table at the smallest window, the usual one and a wide one, each with the
    // inspector open, over short names, names of 120 characters and more (some without a space)
    // in five scripts, names with markup, names of one length as cameras write them, the last
    // ones drawn wider, and clips' sidecars that differ only in the clip's number beside a long
    // name: no name, folder or backup place is cut while any column keeps room beyond what it
    // shows (names of one length are whole alike), no day or size is ever cut, nor a status's
    // name, a folder cut keeps at least its last part's end, and a file's name cut keeps its
    // number and extension, in the backup's place too.
    void namesGetTheirColumnsRoom_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QSize>("size");
        for (const char* fixture :
             {"browser-short-names", "browser", "browser-long-names", "camera-names", "camera-sidecars"})
            for (const QSize size : {QSize(1040, 660), QSize(1240, 800), QSize(1920, 1080)})
                QTest::addRow("%s, %dx%d", fixture, size.width(), size.height()) << QString(fixture) << size;
    }
    void namesGetTheirColumnsRoom() {
        QFETCH(QString, fixture);
        QFETCH(QSize, size);
        Session s(present_, fixture);
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        s.model().setShowInspector(true);
        s.model().setMode(AppModel::Mode::Files);
        QVERIFY(w.resize(size));
        // The names of one length drawn widest come last: first in sight.
        if (fixture == QLatin1String("camera-names"))
            s.model().property("files").value<QObject*>()->setProperty(
                "order", QVariantMap{{QStringLiteral("column"), QStringLiteral("name")},
                                     {QStringLiteral("ascending"), false}});
        (void)w.window().grabWindow();
        const QList<QQuickItem*> rows = w.items(QStringLiteral("fileRow"));
        QVERIFY(rows.size() >= 6);
        // Per column: the room it keeps beyond the widest thing it shows; and what was cut.
        QMap<QString, double> room;
        QStringList cut;
        for (QQuickItem* row : rows) {
            for (const char* name :
                 {"nameCell", "statusCell", "dayCell", "folderCell", "sizeCell", "backupCell"}) {
                const QList<QQuickItem*> found = w.items(QLatin1String(name), row);
                if (found.isEmpty()) continue;
                QQuickItem* cell = found.front();
                const QString shown = cell->property("text").toString();
                const QVariant whole = cell->property("whole");
                const QString full = whole.isValid() ? whole.toString() : shown;
                if (full.isEmpty()) continue;
                const QFontMetricsF metrics(cell->property("font").value<QFont>());
                const double space = cell->width() - cell->property("rightPadding").toDouble();
                const double left = space - metrics.horizontalAdvance(full);
                room[name] = std::min(room.value(name, left), left);
                const bool truncated = cell->property("truncated").toBool() || shown != full;
                if (!truncated) continue;
                QVERIFY2(QLatin1String(name) != "dayCell" && QLatin1String(name) != "sizeCell" &&
                             QLatin1String(name) != "statusCell",
                         qPrintable(QStringLiteral("%1 cut: %2").arg(name, full)));
                if (QLatin1String(name) == "folderCell") {
                    const QString end = unmarked(full).section(QLatin1Char('/'), -1).right(3);
                    QVERIFY2(unmarked(shown).endsWith(end),
                             qPrintable(shown + QStringLiteral(" for ") + full));
                }
                if (QLatin1String(name) == "nameCell" || QLatin1String(name) == "backupCell")
                    QVERIFY2(keepsNumber(shown, full), qPrintable(shown + QStringLiteral(" for ") + full));
                cut << QStringLiteral("%1 (%2)").arg(full, name);
            }
        }
        // Its header is shown too, with room for the sort's arrow.
        const QList<QQuickItem*> headers = w.items(QStringLiteral("columnHeader"));
        const char* cells[] = {"",           "nameCell", "statusCell", "dayCell",
                               "folderCell", "sizeCell", "backupCell"};
        QCOMPARE(headers.size(), qsizetype(std::size(cells)));
        for (qsizetype i = 1; i < headers.size(); ++i) {
            const QString title = headers[i]->property("title").toString() + QStringLiteral(" \u25B2");
            const QQuickItem* text = headers[i]->childItems().front();
            const double left = headers[i]->width() - 4 -
                                QFontMetricsF(text->property("font").value<QFont>()).horizontalAdvance(title);
            room[cells[i]] = std::min(room.value(cells[i], left), left);
        }
        if (cut.isEmpty()) return;
        for (auto it = room.begin(); it != room.end(); ++it)
            QVERIFY2(it.value() <= 2, qPrintable(QStringLiteral("%1 keeps %2 px while %3 is cut")
                                                     .arg(it.key())
                                                     .arg(it.value())
                                                     .arg(cut.join(QStringLiteral(", ")))));
    }

    // A cell cut in the table tells its whole text in its tooltip once the pointer moves onto
    // it: a name's, with its status, a folder's and a backup place's.
    void aCutCellTellsItsWholeText() {
        Session s(present_, QStringLiteral("browser-long-names"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        s.model().setShowInspector(true);
        s.model().setMode(AppModel::Mode::Files);
        QVERIFY(w.resize({1920, 1080}));
        (void)w.window().grabWindow();
        QQuickItem* list = w.item(QStringLiteral("fileTableList"));
        const QRectF inSight = list->mapRectToScene(QRectF(0, 0, list->width(), list->height()));
        for (const auto& [cell, tip] :
             {std::pair{"nameCell", "nameTip"}, std::pair{"folderCell", "folderTip"},
              std::pair{"backupCell", "backupTip"}}) {
            QQuickItem* cut = nullptr;  // one in sight
            for (QQuickItem* item : w.items(QLatin1String(cell)))
                if (!cut && item->property("text").toString() != item->property("whole").toString() &&
                    !item->property("whole").toString().isEmpty() &&
                    inSight.contains(item->mapToScene(QPointF(item->width() / 2, item->height() / 2))))
                    cut = item;
            QVERIFY2(cut, cell);
            const QString whole = cut->property("whole").toString();
            const QString told = tipOver(w, cut, QLatin1String(tip));
            QVERIFY2(told.startsWith(whole), qPrintable(QStringLiteral("%1: %2").arg(whole, told)));
        }
    }

    // Names and paths in Arabic and Hebrew keep their order, each name read in its own direction:
    // a card folder, a backup and its folders, files, in the table's cells, the inspector, the
    // map's places and the copy preview. A path's folders run left to right, a name's extension
    // stays at its end.
    void namesAndPathsReadInTheirOrder() {
        Session s(present_, QStringLiteral("browser-long-names"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        QVERIFY(w.resize({1920, 1080}));
        m.setShowInspector(true);
        m.setMode(AppModel::Mode::Files);
        // A file in the Arabic folder, its first copy on the Hebrew backup.
        m.setSelectedFileID(8);
        (void)w.window().grabWindow();
        const auto inOrder = [&](const QList<QQuickItem*>& items, bool fileName, const char* what) {
            QVERIFY2(!items.isEmpty(), what);
            for (QQuickItem* item : items) {
                const QString shown = item->property("text").toString();
                QVERIFY2(readsInOrder(shown, item->property("font").value<QFont>(), fileName),
                         qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(what), shown)));
            }
        };
        inOrder(w.items(QStringLiteral("nameCell")), true, "a name");
        inOrder(w.items(QStringLiteral("folderCell")), false, "a folder");
        inOrder(w.items(QStringLiteral("backupCell")), true, "a backup's place");
        inOrder(w.items(QStringLiteral("inspectorName")), true, "the inspector's name");
        inOrder(w.items(QStringLiteral("inspectorOnCard")), false, "the inspector's folder");
        inOrder(w.items(QStringLiteral("copyPlace")), true, "a copy's place");
        QVERIFY(
            unmarked(w.text(QStringLiteral("inspectorOnCard"))).startsWith(QStringLiteral("صور الزفاف/")));

        m.setMode(AppModel::Mode::Map);
        m.setSelectedFolder(QStringLiteral("صور الزفاف"));
        (void)w.window().grabWindow();
        inOrder(w.items(QStringLiteral("placeTitle")), false, "a place");
        inOrder(w.items(QStringLiteral("placeDetail")), false, "a place's backup");

        // A copy to the Hebrew backup, by the card's folders.
        QVERIFY(s.stage.requestCopy());
        auto* sheet = qobject_cast<CopySheet*>(m.copySheet());
        sheet->chooseDestinationRow(1);
        sheet->chooseLayout(CopySheet::Layout::card);
        QVERIFY(s.stage.waitForPlan());
        (void)w.window().grabWindow();
        inOrder(w.items(QStringLiteral("planRowText")), false, "a folder of the preview");
        inOrder(w.items(QStringLiteral("locationLabel")), false, "where the copies go");
        const QList<QQuickItem*> picker = w.items(QStringLiteral("backupPicker"));
        QVERIFY(!picker.isEmpty());
        QVERIFY2(readsInOrder(picker.front()->property("displayText").toString(),
                              picker.front()->property("font").value<QFont>(), false),
                 qPrintable(picker.front()->property("displayText").toString()));
    }

    // A long name in the inspector keeps its number and extension where it takes more than its
    // three lines, and so does a copy's place: cut in their middle, never at their end, the whole
    // in their tooltips.
    void theInspectorKeepsANamesNumber() {
        Session s(present_, QStringLiteral("browser-long-names"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        // The narrowest inspector, tall enough for both copies.
        QVERIFY(w.resize({1132, 900}));
        m.setShowInspector(true);
        m.setMode(AppModel::Mode::Files);
        m.setSelectedFileID(0);
        (void)w.window().grabWindow();
        const QString name = QString::fromStdString(m.report()->files.front().name);
        QList<QQuickItem*> texts = w.items(QStringLiteral("inspectorName"));
        texts << w.items(QStringLiteral("copyPlace"));
        QCOMPARE(texts.size(), 3);
        for (QQuickItem* text : texts) {
            const QString shown = text->property("text").toString();
            const QString full = text->property("cut").toMap().value(QStringLiteral("full")).toString();
            QVERIFY2(text->property("cut").toMap().value(QStringLiteral("cut")).toBool(), qPrintable(shown));
            QVERIFY2(!text->property("truncated").toBool(), qPrintable(shown));
            QVERIFY2(keepsNumber(shown, name), qPrintable(shown));
            const QString tip = tipOver(
                w, text,
                text == texts.front() ? QStringLiteral("inspectorNameTip") : QStringLiteral("copyPlaceTip"));
            QCOMPARE(tip, full);
            QVERIFY2(unmarked(full).endsWith(name), qPrintable(full));
        }
    }

    // The copy preview keeps a drive's short name in front of its folders, each row cut from
    // the start of the folders between, its last folder whole, and the preview's figures whole,
    // at the smallest window and a wide one.
    void thePreviewKeepsADrivesShortName() {
        for (const QSize size : {QSize(1040, 660), QSize(1920, 1080)}) {
            Session s(present_, QStringLiteral("missing-deep"));
            QVERIFY(s.ready);
            WindowDriver& w = *s.window;
            QVERIFY(w.resize(size));
            QVERIFY(w.clickAction(QStringLiteral("copy")) && s.stage.waitForPlan());
            (void)w.window().grabWindow();
            const QList<QQuickItem*> rows = w.items(QStringLiteral("planRowText"));
            QVERIFY(!rows.isEmpty());
            for (QQuickItem* row : rows) {
                const QString shown = row->property("text").toString();
                const QString full = row->property("cut").toMap().value(QStringLiteral("full")).toString();
                QVERIFY2(shown.startsWith(QStringLiteral("SSD1 / ")) &&
                             shown.endsWith(full.section(QStringLiteral(" / "), -1)),
                         qPrintable(shown + QStringLiteral(" for ") + full));
                QVERIFY(row->property("contentWidth").toReal() <= row->width() + 0.5);
            }
            QVERIFY2(!w.item(QStringLiteral("planSummary"))->property("truncated").toBool(),
                     qPrintable(w.text(QStringLiteral("planSummary"))));
        }
    }

    // Counts of a thousand files and more are grouped as the locale groups them: a shoot's copy
    // button, the map's folder list, the copy preview's rows, the copy report's folders and the
    // last copy's button.
    void countsOfFilesAreGrouped() {
        Session s(present_, QStringLiteral("missing-many"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.resize({1920, 1080}));
        const QRegularExpression grouped(QStringLiteral("\\b\\d{1,3}(,\\d{3})+\\b"));
        const auto texts = [&](const QString& name) {
            (void)w.window().grabWindow();
            QStringList out;
            for (QQuickItem* item : w.items(name)) out << item->property("text").toString();
            return out;
        };
        QVERIFY2(texts(QStringLiteral("shootCopy")).contains(QStringLiteral("Copy 1,234\u2026")),
                 qPrintable(texts(QStringLiteral("shootCopy")).join(u'|')));
        QVERIFY(w.click(QStringLiteral("mode-Map")));
        QStringList counts;
        QVERIFY(WindowDriver::waitFor([&] {
            counts.clear();
            for (QQuickItem* row : w.items(QStringLiteral("folderRow")))
                counts << row->property("countsText").toString();
            return counts.contains(QStringLiteral("0/1,234"));
        }));
        QVERIFY2(counts.filter(grouped).size() >= 3,
                 qPrintable(counts.join(u'|')));  // the card, DCIM, 102MSDCF
        QVERIFY(w.clickAction(QStringLiteral("copy")) && s.stage.waitForPlan());
        QVERIFY2(texts(QStringLiteral("planRowCount")).contains(QStringLiteral("1,234")),
                 qPrintable(texts(QStringLiteral("planRowCount")).join(u'|')));
        QVERIFY(w.click(QStringLiteral("copyButton")) && s.stage.finishCopy(QStringLiteral("copied")));
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("copiedFolderCount")); }));
        QVERIFY2(
            texts(QStringLiteral("copiedFolderCount")).filter(QStringLiteral("1,234 new files")).size() == 1,
            qPrintable(texts(QStringLiteral("copiedFolderCount")).join(u'|')));
        w.key(Qt::Key_Escape);
        QVERIFY(s.stage.finishCheck(QStringLiteral("missing-many")));
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("lastCopyButton")); }));
        const QString label = w.text(QStringLiteral("lastCopyButton"));
        QVERIFY2(label.startsWith(QStringLiteral("Last Copy (")) && label.contains(grouped),
                 qPrintable(label));
    }

    // A copy's report is shown over its own check's result only. The last copy's popover, left
    // open, closes as the card is checked again. The dialog left open on a copy's report, its card
    // pulled out, does not come back over the result of the next check, the card's against
    // another backup, over which no last copy is offered either.
    void aCopyReportStaysWithItsCheck() {
        Session s(present_, QStringLiteral("missing"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        const auto copyAll = [&] {
            return w.clickAction(QStringLiteral("copy")) && s.stage.waitForPlan() &&
                   w.click(QStringLiteral("copyButton")) && s.stage.finishCopy(QStringLiteral("copied"));
        };
        const auto popoverOpen = [&] { return isOpen(w, QStringLiteral("lastCopyPopover")); };
        QVERIFY(copyAll());
        w.key(Qt::Key_Escape);
        QVERIFY(s.stage.finishCheck(QStringLiteral("missing")) && w.click(QStringLiteral("lastCopyButton")));
        QVERIFY(WindowDriver::waitFor(popoverOpen));
        const int checks = s.stage.checkCount();
        w.key(Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(WindowDriver::waitFor([&] { return s.stage.checkCount() > checks; }));
        QVERIFY2(WindowDriver::waitFor([&] { return !popoverOpen(); }), "the popover stays over the check");
        QVERIFY(s.stage.finishCheck(QStringLiteral("missing")));
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("lastCopyButton")); }) &&
                !popoverOpen());

        QVERIFY(copyAll() && WindowDriver::waitFor([&] { return w.item(QStringLiteral("copyReport")); }));
        const std::vector<std::string> backups = m.destinations();
        const std::string card = *m.source();
        s.stage.removeVolume(QString::fromStdString(card));
        QVERIFY(WindowDriver::waitFor([&] { return m.phase() == AppModel::Phase::Setup; }));
        m.setSource(card);
        for (const std::string& b : backups) m.removeBackup(b);
        m.addBackups({s.stage.folder(QStringLiteral("media/ana/Other Backup")).toStdString()});
        w.key(Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(s.stage.finishCheck(QStringLiteral("missing")));
        QVERIFY(WindowDriver::waitFor([&] { return m.phase() == AppModel::Phase::Results; }));
        (void)w.window().grabWindow();
        QVERIFY2(!isOpen(w, QStringLiteral("copySheet")) && !m.hasCopyRequest(), "the report came back");
        QVERIFY2(!w.item(QStringLiteral("lastCopyButton")),
                 "the last copy is offered over another backup's check");
    }

    // Tab walks the start screen of a card and four backups over recent cards, and a result with
    // the inspector open, at the smallest window: every control it lands on is in sight in every
    // view that scrolls around it, the pages following the keys down and back up.
    void theKeysFocusStaysInSight() {
        ScriptedSession s(present_, {QStringLiteral("missing")}, 8);
        QVERIFY(s.shown);
        WindowDriver& w = *s.window;
        QVERIFY(w.resize({1040, 660}));
        s.model().setSource(s.stage.folder(QStringLiteral("media/ana/NIKON Z9")).toStdString());
        std::vector<std::string> backups;
        for (const char* b : {"Archive 2025", "Travel SSD", "Studio RAID", "Offsite"})
            backups.push_back(s.stage.folder(QStringLiteral("media/ana/") + QLatin1String(b)).toStdString());
        s.model().addBackups(backups);
        QVERIFY(s.stage.settle());
        const auto walk = [&](const QString& page, int steps, bool scrolls) {
            qreal deepest = 0;
            for (int i = 0; i < steps; ++i) {
                w.key(i < steps / 2 ? Qt::Key_Tab : Qt::Key_Backtab,
                      i < steps / 2 ? Qt::NoModifier : Qt::ShiftModifier);
                QString out;
                WindowDriver::waitFor([&] { return (out = focusOutOfSight(w.window())).isEmpty(); });
                if (!out.isEmpty()) return QStringLiteral("step %1: %2").arg(i).arg(out);
                if (QQuickItem* view = w.item(page)) {
                    QQuickItem* flick = view->inherits("QQuickFlickable")
                                            ? view
                                            : view->property("contentItem").value<QQuickItem*>();
                    if (flick) deepest = std::max(deepest, flick->property("contentY").toReal());
                }
            }
            return deepest > 0 || !scrolls ? QString() : page + QStringLiteral(" never scrolled");
        };
        const QString home = walk(QStringLiteral("homeScroll"), 60, true);
        QVERIFY2(home.isEmpty(), qPrintable(home));

        QVERIFY(s.stage.openSaved(0));
        s.model().setShowInspector(true);
        s.model().setMode(AppModel::Mode::Files);
        s.model().setSelectedFileID(s.model().report()->files.front().id);
        QVERIFY(s.stage.settle());
        const QString results = walk(QStringLiteral("resultsPage"), 120, false);
        QVERIFY2(results.isEmpty(), qPrintable(results));
    }

    // After a copy and its check, while the pass runs (its verify button held back), the verdict's
    // copy button at the smallest window keeps its full words in the room the row has for them.
    void theCopyButtonSaysAllItHasRoomFor() {
        for (const bool inspector : {false, true}) {
            Session s(present_, QStringLiteral("missing"));
            QVERIFY(s.ready);
            WindowDriver& w = *s.window;
            s.model().setShowInspector(inspector);
            QVERIFY(w.resize({1040, 660}));
            QVERIFY(w.clickAction(QStringLiteral("copy")));
            QVERIFY(s.stage.waitForPlan() && w.click(QStringLiteral("copyButton")));
            QVERIFY(s.stage.finishCopy(QStringLiteral("copied")));
            w.key(Qt::Key_Escape);
            QVERIFY(s.stage.finishCheck(QStringLiteral("missing")));
            QVERIFY(WindowDriver::waitFor([&] { return s.model().deepVerifying(); }));
            QVERIFY(w.item(QStringLiteral("lastCopyButton")));
            QQuickItem* copy = w.item(QStringLiteral("compact-copy"));
            QVERIFY(copy);
            QCOMPARE(copy->property("text").toString(), QStringLiteral("Copy 7 to Backup\u2026"));
            QQuickItem* row = copy->parentItem();
            QVERIFY(row->childrenRect().right() <= w.item(QStringLiteral("heroActions"))->width());
        }
    }

    // The copy preview marks a folder the copy makes apart from one already on the backup.
    void theCopyPreviewMarksNewFolders() {
        Session s(present_, QStringLiteral("missing"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.clickAction(QStringLiteral("copy")) && s.stage.waitForPlan());
        const auto symbolsFor = [&](const QString& layout) {
            QStringList out;
            if (!w.click(layout) || !s.stage.waitForPlan()) return out;
            (void)w.window().grabWindow();
            for (QQuickItem* symbol : w.items(QStringLiteral("planFolderSymbol")))
                out << symbol->property("name").toString();
            return out;
        };
        QCOMPARE(symbolsFor(QStringLiteral("layout_0")), QStringList{QStringLiteral("folder.badge.plus")});
        const CopyPlan* plan = qobject_cast<CopySheet*>(s.model().copySheet())->plan();
        QVERIFY(plan && QDir().mkpath(QString::fromStdString(plan->items.front().destDir)));
        QCOMPARE(symbolsFor(QStringLiteral("layout_3")), QStringList{QStringLiteral("folder.badge.plus")});
        QCOMPARE(symbolsFor(QStringLiteral("layout_0")), QStringList{QStringLiteral("folder.fill")});
    }

    // With no file manager and nothing that opens folders, Show in Files says so.
    void showingWithoutAFileManager() {
        Session s(present_, QStringLiteral("missing"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        s.stage.setFileManager(false);
        QVERIFY(w.clickAt(QStringLiteral("cardRow"), 0, Qt::RightButton) &&
                w.click(QStringLiteral("showInFiles")));
        QVERIFY(WindowDriver::waitFor([&] { return !w.text(QStringLiteral("noticeText")).isEmpty(); }));
        QCOMPARE(w.text(QStringLiteral("noticeText")),
                 QStringLiteral("Couldn't show “SONY A7IV”: no file manager is installed."));
    }

    // One name for one drive: the sidebar, the card's picker and the checking screen's picture and
    // first line name the card and the backup as their volumes are named, not by the folders they
    // are mounted on; the copy report's section label keeps the backup's name as it is written.
    void aDriveHasOneNameEverywhere() {
        ScriptedSession s(present_, {});
        QVERIFY(s.shown);
        stage::Stage& st = s.stage;
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        auto volume = [](const QString& path, const QString& name, bool card) {
            return QVariantMap{{QStringLiteral("path"), path},       {QStringLiteral("name"), name},
                               {QStringLiteral("removable"), card},  {QStringLiteral("card"), card},
                               {QStringLiteral("totalBytes"), 64e9}, {QStringLiteral("freeBytes"), 20e9}};
        };
        st.setVolumes({volume(QStringLiteral("media/u/ws-card12"), QStringLiteral("ws-12"), true),
                       volume(QStringLiteral("media/u/ws-b2"), QStringLiteral("wsB2"), false)});
        m.setSource(st.folder(QStringLiteral("media/u/ws-card12")).toStdString());
        m.addBackups({st.folder(QStringLiteral("media/u/ws-b2")).toStdString()});
        // Both drives' names are known before the check starts, as they are on a desktop.
        QVERIFY(WindowDriver::waitFor([&] {
            return WindowDriver::textIn(w.item(QStringLiteral("cardRow")), QStringLiteral("locationName")) ==
                       QStringLiteral("ws-12") &&
                   WindowDriver::textIn(w.item(QStringLiteral("backupRow")),
                                        QStringLiteral("locationName")) == QStringLiteral("wsB2");
        }));
        m.checkAgainstBackup(false);
        QCOMPARE(st.pickerTitle(st.pickerQuestions() - 1),
                 QStringLiteral("Choose the backup to check ws-12 against"));
        m.check();
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("cardToDrive")); }));
        QQuickItem* picture = w.item(QStringLiteral("cardToDrive"));
        QCOMPARE(picture->property("cardName").toString(), QStringLiteral("ws-12"));
        QCOMPARE(picture->property("driveName").toString(), QStringLiteral("wsB2"));
        QCOMPARE(w.text(QStringLiteral("stageDetail")), QStringLiteral("ws-12"));

        QVERIFY(st.finishCheck(QStringLiteral("missing")));
        m.stopDeepVerify();
        QVERIFY(st.requestCopy() && w.click(QStringLiteral("copyButton")) &&
                st.finishCopy(QStringLiteral("copied")));
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("foldersHeadline")); }));
        QQuickItem* headline = w.item(QStringLiteral("foldersHeadline"));
        const QString written = headline->property("text").toString();
        const bool capitals =
            headline->property("font").value<QFont>().capitalization() == QFont::AllUppercase;
        const QString shown = capitals ? written.toUpper() : written;
        const QString drive = QString::fromStdString(m.report()->destinations.front().name);
        QVERIFY2(shown == QStringLiteral("COPIED INTO 1 FOLDER ON ") + drive, qPrintable(shown));
        QVERIFY(drive != drive.toUpper());
    }

    // Closing the window while a copy runs asks whether to stop it; the question goes when the copy
    // ends, and the window stays with the copy's result.
    void theQuitQuestionGoesWithTheCopy() {
        Session s(present_, QStringLiteral("missing"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.clickAction(QStringLiteral("copy")) && s.stage.waitForPlan() &&
                w.click(QStringLiteral("copyButton")) && s.stage.copyProgress(0.5));
        // The window's close button: the copy dialog holds the menu's keys meanwhile.
        w.window().close();
        QVERIFY(WindowDriver::waitFor([&] { return isOpen(w, QStringLiteral("quitDialog")); }));
        QVERIFY(s.stage.finishCopy(QStringLiteral("copied")));
        QVERIFY2(WindowDriver::waitFor([&] { return !isOpen(w, QStringLiteral("quitDialog")); }),
                 "\"A copy is running\" stays after the copy ended");
        QVERIFY(w.window().isVisible() && w.item(QStringLiteral("copyReport")));
    }

    // The new-card banner keeps its words on every frame it is drawn while it leaves after Check
    // Card, never "“” was just inserted".
    void theNewCardBannerKeepsItsWordsAsItGoes() {
        Session s(present_, QStringLiteral("missing"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        s.stage.addVolume({{QStringLiteral("path"), QStringLiteral("media/ana/EOS_DIGITAL")},
                           {QStringLiteral("name"), QStringLiteral("EOS_DIGITAL")},
                           {QStringLiteral("removable"), true},
                           {QStringLiteral("card"), true}});
        const QString title = QStringLiteral("\u201cEOS_DIGITAL\u201d was just inserted");
        QVERIFY(WindowDriver::waitFor([&] { return w.text(QStringLiteral("newCardTitle")) == title; }));
        const QPointer<QQuickItem> banner = w.item(QStringLiteral("newCardBanner"));
        const QPointer<QQuickItem> words = w.item(QStringLiteral("newCardTitle"));
        // Come to rest from below the window's edge, where a user can press it.
        QVERIFY(WindowDriver::waitFor([&] {
            return banner->opacity() == 1.0 &&
                   banner->mapToScene(QPointF(0, banner->height())).y() < w.window().height();
        }));
        QStringList drawn;
        const int checks = s.stage.checkCount();
        const QMetaObject::Connection frames = connect(&w.window(), &QQuickWindow::afterAnimating, this, [&] {
            if (s.stage.checkCount() > checks && banner && banner->isVisible())
                drawn << words->property("text").toString();
        });
        QVERIFY(w.click(QStringLiteral("newCardCheck")));
        QVERIFY(WindowDriver::waitFor([&] { return banner && !banner->isVisible(); }));
        disconnect(frames);
        QVERIFY2(!drawn.isEmpty(), "no frame was drawn while the banner left");
        QCOMPARE(drawn, QStringList(drawn.size(), title));
    }

    // The "Copy to" list opens on the chosen backup, lit under the pointer, not on the first one.
    void theBackupListOpensOnTheChosenBackup() {
        Session s(present_, QStringLiteral("missing"));
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.clickAction(QStringLiteral("copy")) && s.stage.waitForPlan());
        auto* sheet = qobject_cast<CopySheet*>(s.model().copySheet());
        QQuickItem* picker = w.item(QStringLiteral("backupPicker"));
        QVERIFY(sheet && picker);
        QObject* list = picker->property("popup").value<QObject*>();
        const auto opened = [&] { return list->property("opened").toBool(); };
        // The rows lit once the list is open and a frame has been drawn under the pointer.
        const auto lit = [&] {
            QStringList out;
            if (!WindowDriver::waitFor(opened)) return out;
            (void)w.window().grabWindow();
            for (QQuickItem* row : w.items(QStringLiteral("backupPickerRow")))
                if (row->parentItem()->property("highlighted").toBool())
                    out << row->property("text").toString();
            return out;
        };
        const QStringList backups = sheet->backupTexts();
        QVERIFY(backups.size() >= 2);
        QVERIFY(w.click(QStringLiteral("backupPicker")));
        QCOMPARE(lit(), QStringList{backups[0]});
        QVERIFY(w.clickAt(QStringLiteral("backupPickerRow"), 1));
        QVERIFY(WindowDriver::waitFor([&] { return sheet->destinationRow() == 1 && !opened(); }));
        QVERIFY(w.click(QStringLiteral("backupPicker")));
        QCOMPARE(lit(), QStringList{backups[1]});
    }

    // The application, started on a desktop of its own and quitting once its first frame is
    // drawn, says nothing from QML.
    void quitsWithoutAWordFromQml() {
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* dir :
             {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
            env.insert(QString::fromLatin1(dir), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HALVETROP_MEASURE_START"), QStringLiteral("1"));
        QProcess app;
        app.setProcessEnvironment(env);
        app.start(qEnvironmentVariable("HALVETROP_BUILD_DIR") + QStringLiteral("/app/halvetrop"), {});
        QVERIFY(app.waitForFinished(kHangDetectorMs) && app.exitCode() == 0);
        const QStringList said = QString::fromUtf8(app.readAllStandardError()).split(u'\n');
        const QStringList fromQml = said.filter(QStringLiteral(".qml:"));
        QVERIFY2(fromQml.isEmpty(), qPrintable(fromQml.join(u'\n')));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BehaviourWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BehaviourWindowTest.moc"
