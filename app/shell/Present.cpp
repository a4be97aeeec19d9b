#include "shell/Present.h"

#include "present/CopyReport.h"

#include <QColor>
#include <QFontMetricsF>
#include <QMap>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTextLayout>

#include <cmath>

#include "present/Files.h"
#include "present/Fit.h"
#include "present/Format.h"
#include "present/Home.h"
#include "present/Paths.h"
#include "present/Sidebar.h"
#include "present/Tokens.h"
#include "shell/HomeRules.h"

namespace halvetrop::shell {

namespace {

QString latin(std::string_view s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

std::optional<VolumeInfo> volumeFrom(const QVariantMap& map) {
    if (map.isEmpty()) return std::nullopt;
    VolumeInfo v;
    v.path = map.value(QStringLiteral("path")).toString().toStdString();
    v.volumePath = map.value(QStringLiteral("volumePath")).toString().toStdString();
    v.name = map.value(QStringLiteral("name")).toString().toStdString();
    // Sizes not known yet (a volume named before it is described) are negative.
    v.freeBytes = map.value(QStringLiteral("freeBytes"), -1).toLongLong();
    v.totalBytes = map.value(QStringLiteral("totalBytes"), -1).toLongLong();
    v.isLikelyCameraCard = map.value(QStringLiteral("isLikelyCameraCard")).toBool();
    v.isNetwork = map.value(QStringLiteral("isNetwork")).toBool();
    v.isInternal = map.value(QStringLiteral("isInternal")).toBool();
    if (map.contains(QStringLiteral("mountRoot")))
        v.mountRoot = map.value(QStringLiteral("mountRoot")).toString().toStdString();
    return v;
}

// Every object of root's window below root: QObject children, and for the window its content
// item's tree. Another window declared inside (the preview) has shortcuts of its own.
void collect(QObject* object, QList<QObject*>& out, const QObject* root) {
    if (!object || out.contains(object)) return;
    if (object != root && object->isWindowType()) return;
    out.append(object);
    for (QObject* child : object->children()) collect(child, out, root);
    if (auto* window = qobject_cast<QQuickWindow*>(object)) collect(window->contentItem(), out, root);
    if (auto* item = qobject_cast<QQuickItem*>(object))
        for (QQuickItem* child : item->childItems()) collect(child, out, root);
}

// The sequences an enabled Shortcut or Action claims, in portable text.
QStringList claimedSequences(QObject* object) {
    const QMetaObject* meta = object->metaObject();
    if (meta->indexOfProperty("enabled") < 0 || !object->property("enabled").toBool()) return {};
    QStringList out;
    auto add = [&out](const QVariant& v) {
        const QKeySequence seq = v.typeId() == QMetaType::Int
                                     ? QKeySequence(QKeySequence::StandardKey(v.toInt()))
                                     : QKeySequence::fromString(v.toString(), QKeySequence::PortableText);
        if (!seq.isEmpty()) out << seq.toString(QKeySequence::PortableText);
    };
    if (object->inherits("QQuickShortcut")) {
        add(object->property("sequence"));
        for (const QVariant& v : object->property("sequences").toList()) add(v);
    } else if (object->inherits("QQuickAction")) {
        add(object->property("shortcut"));
    }
    return out;
}

QMap<QString, int> owners(QObject* root) {
    QList<QObject*> all;
    collect(root, all, root);
    QMap<QString, int> counts;
    for (QObject* object : all)
        for (const QString& seq : claimedSequences(object)) ++counts[seq];
    return counts;
}

}  // namespace

QString Present::byteCount(double bytes) const { return present::byteCount(int64_t(bytes)); }

QString Present::count(double n) const { return present::count(int64_t(n)); }

QString Present::fileCount(double n) const { return present::fileCount(int64_t(n)); }

QString Present::lastCopyLabel(double copied, bool compact) const {
    return present::lastCopyLabel(int64_t(copied), compact);
}

QString Present::copyProgressLine(double filesDone, double filesTotal, double bytesDone,
                                  double bytesTotal) const {
    return present::copyProgressLine(int64_t(filesDone), int64_t(filesTotal), int64_t(bytesDone),
                                     int64_t(bytesTotal));
}

QVariantMap Present::fitActionRow(const QVariantList& widths, double spacing, double available,
                                  int lead) const {
    std::vector<std::array<double, 3>> w;
    for (const QVariant& item : widths) {
        const QVariantList forms = item.toList();
        std::array<double, 3> row{};
        for (size_t f = 0; f < row.size() && f < size_t(forms.size()); ++f)
            row[f] = forms[qsizetype(f)].toDouble();
        w.push_back(row);
    }
    const present::RowFit fit = present::fitRow(
        w, spacing, available, lead >= 0 ? std::optional<size_t>(size_t(lead)) : std::nullopt);
    static const char* const names[] = {"full", "compact", "symbols"};
    return {{QStringLiteral("form"), QString::fromLatin1(names[int(fit.form)])},
            {QStringLiteral("fits"), fit.fits},
            {QStringLiteral("leadFull"), fit.leadFull}};
}

QVariantList Present::cardOnlyActions(const QStringList& backupKeys, const QVariantMap& facts,
                                      bool eject) const {
    QStringList names;
    for (const QString& key : backupKeys)
        if (const std::optional<std::string> path = present::pathOfKey(key))
            names << present::placeName(*path, volumeFrom(facts.value(key).toMap()));
    QVariantList out;
    for (const present::RowItem& i : present::cardOnlyActionItems(names, eject))
        out << QVariantMap{{QStringLiteral("id"), i.id},
                           {QStringLiteral("full"), i.full},
                           {QStringLiteral("compact"), i.compact},
                           {QStringLiteral("symbol"), i.symbol},
                           {QStringLiteral("keepsText"), i.keepsText}};
    return out;
}

namespace {

QVariantMap cutMap(const present::Cut& cut) {
    return {{QStringLiteral("text"), cut.text},
            {QStringLiteral("full"), cut.full},
            {QStringLiteral("cut"), cut.cut}};
}

// How a text is measured for a cut: its width in `font` on one line; laid out over `lines` above
// 1, the lines it takes wrapped within `width`, which then has room for `lines` of them.
struct Room {
    present::Measure measure;
    double room = 0;
};
Room roomFor(const QFont& font, double width, int lines, QTextOption::WrapMode wrap) {
    if (lines <= 1)
        return {[metrics = QFontMetricsF(font)](const QString& s) { return metrics.horizontalAdvance(s); },
                width};
    return {[font, width, wrap](const QString& s) {
                QTextLayout layout(s, font);
                QTextOption option;
                option.setWrapMode(wrap);
                layout.setTextOption(option);
                layout.beginLayout();
                int taken = 0;
                for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                    line.setLineWidth(std::max(width, 0.0));
                    ++taken;
                }
                layout.endLayout();
                return double(taken);
            },
            double(lines)};
}

QVariantMap cutWith(const QString& path, const QFont& font, double width, const QString& separator,
                    present::CutRule rule, int lines = 1) {
    // What is drawn, and measured: the folders `separator` apart, each in its own direction.
    auto shown = [&separator, rule](QString s) {
        return present::isolatedPath(separator == u'/' ? s : s.replace(u'/', separator), rule.fileName);
    };
    const Room room = roomFor(font, width, lines, QTextOption::WrapAnywhere);
    present::Cut cut = present::cutFromStart(
        path, room.room, [&](const QString& s) { return room.measure(shown(s)); }, rule);
    cut.text = shown(cut.text);
    cut.full = shown(cut.full);
    return cutMap(cut);
}

}  // namespace

QVariantMap Present::cutPath(const QString& path, const QFont& font, double width, const QString& separator,
                             int lines) const {
    return cutWith(path, font, width, separator, {}, lines);
}

QVariantMap Present::cutPlace(const QString& path, const QFont& font, double width,
                              const QString& separator) const {
    return cutWith(path, font, width, separator, {.keepFirst = true});
}

QVariantMap Present::cutFilePath(const QString& path, const QFont& font, double width, int lines) const {
    return cutWith(path, font, width, QStringLiteral("/"), {.fileName = true}, lines);
}

QVariantMap Present::cutName(const QString& name, const QFont& font, double width, int lines) const {
    const Room room = roomFor(font, width, lines, QTextOption::WrapAtWordBoundaryOrAnywhere);
    present::Cut cut = present::cutName(
        name, room.room, [&](const QString& s) { return room.measure(present::isolatedName(s)); });
    cut.text = present::isolatedName(cut.text);
    cut.full = present::isolatedName(cut.full);
    return cutMap(cut);
}

namespace {

// The cameras with their file counts, and each chip's width: its name and padding, whole pixels
// where the row is laid out in them.
std::pair<std::vector<present::CameraShare>, std::vector<double>> cameraChips(const QStringList& names,
                                                                              const QVariantList& files,
                                                                              const QFontMetricsF& metrics,
                                                                              double padding,
                                                                              bool wholePixels) {
    std::pair<std::vector<present::CameraShare>, std::vector<double>> out;
    for (qsizetype i = 0; i < names.size(); ++i) {
        out.first.push_back({names[i], i < files.size() ? int64_t(files[i].toDouble()) : 0});
        const double width = metrics.horizontalAdvance(names[i]) + padding;
        out.second.push_back(wholePixels ? std::ceil(width) : width);
    }
    return out;
}

}  // namespace

QVariantMap Present::fitCameraChips(const QStringList& names, const QVariantList& files, const QFont& font,
                                    double padding, double spacing, double available) const {
    const QFontMetricsF metrics(font);
    const auto [chips, widths] = cameraChips(names, files, metrics, padding, false);
    const present::ChipFit fit = present::fitChips(chips, widths, spacing, available, [&](int n) {
        return metrics.horizontalAdvance(u'+' + QString::number(n)) + padding;
    });
    QVariantList shown;
    for (int i : fit.shown) shown << i;
    return {{QStringLiteral("shown"), shown},
            {QStringLiteral("more"), fit.more},
            {QStringLiteral("hidden"), fit.hidden},
            {QStringLiteral("squeezed"), fit.squeezed}};
}

QVariantMap Present::fitEyebrow(const QString& name, const QFont& nameFont, double nameFloor,
                                const QStringList& names, const QVariantList& files, const QFont& font,
                                double padding, double spacing, double available) const {
    const QFontMetricsF metrics(font);
    const auto [chips, widths] = cameraChips(names, files, metrics, padding, true);
    const present::EyebrowFit fit = present::fitEyebrow(
        std::ceil(QFontMetricsF(nameFont).horizontalAdvance(name)), nameFloor, chips, widths, spacing,
        available,
        [&](int n) { return std::ceil(metrics.horizontalAdvance(u'+' + QString::number(n)) + padding); });
    QVariantList shown;
    for (int i : fit.chips.shown) shown << i;
    return {{QStringLiteral("shown"), shown},
            {QStringLiteral("more"), fit.chips.more},
            {QStringLiteral("hidden"), fit.chips.hidden},
            {QStringLiteral("squeezed"), fit.chips.squeezed},
            {QStringLiteral("nameWidth"), fit.nameWidth}};
}

QVariantList Present::fitColumns(const QVariantList& needs, const QVariantList& steps, double available,
                                 int grows) const {
    std::vector<double> widths;
    for (const QVariant& n : needs) widths.push_back(n.toDouble());
    std::vector<present::GiveWay> way;
    for (const QVariant& s : steps) {
        const QVariantList pair = s.toList();
        const int column = pair.value(0).toInt();
        if (column >= 0) way.push_back({size_t(column), pair.value(1).toDouble()});
    }
    QVariantList out;
    for (double w : present::fitColumns(widths, way, available, size_t(std::max(grows, 0)))) out << w;
    return out;
}

QVariantMap Present::fitShootLine(int tiles, double title, double chip, double chipFloor, double spacing,
                                  double gap, double room) const {
    const present::ShootLineFit fit =
        present::fitShootLine(tiles, title, chip, chipFloor, spacing, gap, room);
    return {{QStringLiteral("fan"), fit.fan},
            {QStringLiteral("step"), fit.step},
            {QStringLiteral("title"), fit.title},
            {QStringLiteral("chip"), fit.chip}};
}

QVariantMap Present::fitStatusLine(double lead, double sentence, bool hasLink, double link, double backup,
                                   double backupFloor, double folder, double folderFloor, double spacing,
                                   double room) const {
    const present::StatusLineFit fit = present::fitStatusLine(
        lead, sentence, hasLink, link, backup, backupFloor, folder, folderFloor, spacing, room);
    return {{QStringLiteral("linkBelow"), fit.linkBelow},
            {QStringLiteral("sentence"), fit.sentence},
            {QStringLiteral("backup"), fit.backup},
            {QStringLiteral("folder"), fit.folder}};
}

QString Present::shortenNames(const QString& text, const QFont& font, double width, int lines) const {
    return present::shortenNames(text, [&](const QString& candidate) {
        // Laid out as a wrapping Text lays it out: at word boundaries, or anywhere in a word too long
        // for a line.
        QTextLayout layout(candidate, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        int count = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (++count > lines || line.naturalTextWidth() > width) {
                layout.endLayout();
                return false;
            }
        }
        layout.endLayout();
        return true;
    });
}

int Present::stepSelection(int current, int step, int count, int columns) const {
    return present::stepSelection(current, step, count, columns);
}

int Present::pageSelection(int current, int lines, int count, int columns) const {
    return present::pageSelection(current, lines, count, columns);
}

double Present::pageScroll(double position, int pages, double height, double top, double bottom) const {
    return present::pageScroll(position, pages, height, top, bottom);
}

QVariantMap Present::location(const QString& path, const QVariantMap& volume, bool connected) const {
    const auto look = present::locationLook(path.toStdString(), volumeFrom(volume), connected);
    return {{QStringLiteral("symbol"), latin(look.symbol)},
            {QStringLiteral("name"), look.name},
            {QStringLiteral("detail"), look.detail},
            {QStringLiteral("detailHead"), look.detailHead},
            {QStringLiteral("detailTail"), look.detailTail}};
}

QString Present::volumeSymbol(const QVariantMap& volume) const {
    const auto v = volumeFrom(volume);
    return v ? latin(present::volumeSymbol(*v)) : QStringLiteral("externaldrive.fill");
}

QVariantMap Present::planDrop(bool hasSource, const QList<QUrl>& urls) const {
    std::vector<std::string> folders;
    int ignored = 0;
    for (const QUrl& url : urls) {
        if (auto folder = droppedFolder(url))
            folders.push_back(std::move(*folder));
        else
            ++ignored;
    }
    const auto plan = present::planDrop(hasSource, folders);
    QList<QUrl> backups;
    for (const auto& b : plan.backups) backups << present::fileUrl(b);
    return {{QStringLiteral("source"), plan.source ? present::fileUrl(*plan.source) : QUrl()},
            {QStringLiteral("backups"), QVariant::fromValue(backups)},
            {QStringLiteral("ignored"), ignored}};
}

QString Present::shortcutText(const QString& sequence) const {
    return QKeySequence::fromString(sequence, QKeySequence::PortableText).toString(QKeySequence::NativeText);
}

QStringList Present::ambiguousShortcuts(QObject* root) const {
    QStringList out;
    const auto counts = owners(root);
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it.value() > 1) out << it.key();
    return out;
}

int Present::shortcutOwners(QObject* root, const QString& sequence) const {
    return owners(root).value(
        QKeySequence::fromString(sequence, QKeySequence::PortableText).toString(QKeySequence::PortableText));
}

QString Present::symbolSource(const QString& name, const QColor& color) const {
    return QStringLiteral("image://symbol/") + name + QLatin1Char('?') + color.name(QColor::HexArgb);
}

QString Present::statusSymbol(const QString& status) const {
    const auto s = fileStatusFromRaw(status.toStdString());
    return s ? latin(present::statusSymbol(*s)) : QString();
}

QString Present::statusLabel(const QString& status) const {
    const auto s = fileStatusFromRaw(status.toStdString());
    return s ? QString::fromUtf8(halvetrop::label(*s)) : QString();
}

QString Present::statusColorRole(const QString& status) const {
    const auto s = fileStatusFromRaw(status.toStdString());
    return s ? latin(present::roleName(present::statusColor(*s))) : QString();
}

bool Present::takesText(QObject* focused) const {
    return focused && (focused->inherits("QQuickTextInput") || focused->inherits("QQuickTextEdit"));
}

bool Present::keepsReturn(QObject* focused) const {
    return takesText(focused) || (focused && (focused->property("visualFocus").toBool() ||
                                              focused->property("takesReturn").toBool()));
}

QVariantMap Present::copyReport(const QVariant& record) const { return present::copyReportView(record); }

}  // namespace halvetrop::shell
