#include "present/Fit.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

#include "present/Format.h"

namespace halvetrop::present {

namespace {

const QString ellipsis = QStringLiteral("\u2026");

// Where each character a reader sees as one starts, and the text's end.
std::vector<qsizetype> graphemeStarts(const QString& text) {
    std::vector<qsizetype> starts;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype at = 0; at >= 0 && at < text.size(); at = graphemes.toNextBoundary()) starts.push_back(at);
    starts.push_back(text.size());
    return starts;
}

// `text` cut to `kept` of its characters as read (`starts`, its graphemeStarts), its first and
// last ones kept and "…" between them.
QString keepEnds(const QString& text, const std::vector<qsizetype>& starts, int kept) {
    const int all = int(starts.size()) - 1;
    if (kept >= all) return text;
    const int head = (kept + 1) / 2, tail = kept - head;
    return text.left(starts[size_t(head)]) + ellipsis + text.mid(starts[size_t(all - tail)]);
}

}  // namespace

QString lastCopyLabel(int64_t copied, bool compact, const QLocale& locale) {
    if (compact) return QStringLiteral("Last Copy");
    return QStringLiteral("Last Copy (") + count(copied, locale) + u')';
}

std::vector<RowItem> heroActionItems(const HeroActions& actions, int64_t lastCopyCount,
                                     const QLocale& locale) {
    std::vector<RowItem> items;
    if (actions.copyable >= 1)
        items.push_back({QStringLiteral("copy"), copyButtonText(actions.copyable, false, locale),
                         copyButtonText(actions.copyable, true, locale),
                         QStringLiteral("arrow.down.doc.fill"), true});
    if (actions.verify)
        items.push_back({QStringLiteral("verify"), QStringLiteral("Verify Every Byte"),
                         QStringLiteral("Verify All"), QStringLiteral("checkmark.seal")});
    if (actions.lastCopy)
        items.push_back({QStringLiteral("lastCopy"), lastCopyLabel(lastCopyCount, false, locale),
                         lastCopyLabel(lastCopyCount, true, locale), QStringLiteral("folder.badge.plus")});
    items.push_back({QStringLiteral("nextCard"), QStringLiteral("Check Another Card"),
                     QStringLiteral("Next Card"), QStringLiteral("sdcard")});
    if (actions.eject)
        items.push_back({QStringLiteral("eject"), QStringLiteral("Eject"), QStringLiteral("Eject"),
                         QStringLiteral("eject.fill")});
    return items;
}

std::vector<RowItem> cardOnlyActionItems(const QStringList& backups, bool eject, const QLocale& locale) {
    std::vector<RowItem> items;
    if (backups.isEmpty())
        items.push_back({QStringLiteral("compare"), QStringLiteral("Choose a Backup and Check…"),
                         QStringLiteral("Choose a Backup…"), QStringLiteral("externaldrive.badge.checkmark"),
                         true});
    else
        items.push_back({QStringLiteral("compare"), compareTitle(backups, locale),
                         backups.size() == 1 ? QStringLiteral("Check Against Backup")
                                             : QStringLiteral("Check Against Backups"),
                         QStringLiteral("externaldrive.badge.checkmark"), true});
    if (!backups.isEmpty())
        items.push_back({QStringLiteral("otherBackup"), QStringLiteral("Other Backup…"),
                         QStringLiteral("Other Backup…"), QStringLiteral("externaldrive")});
    items.push_back({QStringLiteral("scanAnother"), QStringLiteral("Scan Another Card"),
                     QStringLiteral("Next Card"), QStringLiteral("sdcard")});
    if (eject)
        items.push_back({QStringLiteral("cardOnlyEject"), QStringLiteral("Eject"), QStringLiteral("Eject"),
                         QStringLiteral("eject.fill")});
    return items;
}

QString itemText(const RowItem& item, RowForm form) {
    switch (form) {
        case RowForm::full:
            return item.full;
        case RowForm::compact:
            return item.compact;
        case RowForm::symbols:
            return item.keepsText ? item.compact : QString();
    }
    return item.full;
}

RowFit fitRow(const std::vector<std::array<double, 3>>& widths, double spacing, double available,
              std::optional<size_t> lead) {
    // An index past the row is no lead.
    const size_t led = lead.value_or(widths.size());
    const size_t symbols = size_t(RowForm::symbols);
    const double gaps = widths.empty() ? 0 : spacing * double(widths.size() - 1);
    for (size_t f = 0; f < rowForms.size(); ++f) {
        const RowForm form = rowForms[f];
        double total = gaps;
        for (size_t i = 0; i < widths.size(); ++i)
            total += i == led && form == RowForm::compact ? widths[i][symbols] : widths[i][f];
        if (total > available) continue;
        RowFit fit{form, true};
        // The lead's full text in place of its compact one, where the row still has room for it.
        if (led < widths.size() && form == RowForm::compact)
            fit.leadFull = total - widths[led][symbols] + widths[led][size_t(RowForm::full)] <= available;
        return fit;
    }
    return {RowForm::symbols, false};
}

namespace {

// `text` cut in its middle to the most of its characters as read that fit `width`, its first and
// last ones kept; "…" alone where none do.
QString middleCut(const QString& text, double width, const Measure& measure) {
    const std::vector<qsizetype> starts = graphemeStarts(text);
    const int all = int(starts.size()) - 1;
    int lo = 0, hi = all - 1;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (measure(keepEnds(text, starts, mid)) <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    return keepEnds(text, starts, std::max(lo, 0));
}

// Where a name's number and extension lie, for any text whose characters `at` gives.
template <class At>
NameEnds endsOf(qsizetype size, qsizetype dot, At at) {
    NameEnds e{size, size, size};
    const auto letterOrDigit = [&](qsizetype i) { return at(i).isLetterOrNumber(); };
    if (dot > 0 && size - dot - 1 >= 1 && size - dot - 1 <= 8) {
        qsizetype i = dot + 1;
        while (i < size && letterOrDigit(i)) ++i;
        if (i == size) e.extension = dot;
    }
    qsizetype end = e.extension;
    while (end > 0 && !at(end - 1).isDigit()) --end;
    qsizetype start = end;
    for (;;) {
        while (start > 0 && at(start - 1).isDigit()) --start;
        // One or two letters between this run and digits before it join them into one number.
        qsizetype letters = start;
        while (letters > 0 && start - letters < 2 && at(letters - 1).isLetter()) --letters;
        if (letters == start || letters == 0 || !at(letters - 1).isDigit()) break;
        start = letters;
    }
    if (start < end) {
        e.number = start;
        e.numberEnd = end;
    } else {
        e.number = e.numberEnd = e.extension;
    }
    return e;
}

// A name that does not fit `width`, cut as cutName cuts it.
QString cutNameWithin(const QString& name, double width, const Measure& measure) {
    if (measure(ellipsis) > width) return {};
    const std::vector<qsizetype> starts = graphemeStarts(name);
    const int all = int(starts.size()) - 1;
    // The character as read that holds a position.
    const auto at = [&](qsizetype pos) {
        return int(std::upper_bound(starts.begin(), starts.end(), pos) - starts.begin()) - 1;
    };
    const NameEnds ends = nameEnds(name);
    const int ext = at(ends.extension), number = at(ends.number), numberEnd = at(ends.numberEnd);
    // Before the number, and between it and the extension, give way in proportion to their lengths.
    const auto piece = [&](int from, int to) {
        return name.mid(starts[size_t(from)], starts[size_t(to)] - starts[size_t(from)]);
    };
    const QString before = piece(0, number), between = piece(numberEnd, ext);
    const QString kept = piece(number, numberEnd), extension = piece(ext, all);
    const std::vector<qsizetype> beforeStarts = graphemeStarts(before),
                                 betweenStarts = graphemeStarts(between);
    const int nb = int(beforeStarts.size()) - 1, nm = int(betweenStarts.size()) - 1;
    const auto form = [&](int k) {
        int kb = nb + nm == 0 ? 0 : std::min(nb, int(std::lround(double(k) * nb / (nb + nm))));
        const int km = std::min(nm, k - kb);
        kb = std::min(nb, k - km);
        return keepEnds(before, beforeStarts, kb) + kept + keepEnds(between, betweenStarts, km) + extension;
    };
    // Nothing to keep: cut as any text. Too narrow for what must be kept: the ellipsis alone, never
    // a number cut.
    if (number == numberEnd && ext == all) return middleCut(name, width, measure);
    if (nb + nm == 0 || measure(form(0)) > width) return ellipsis;
    int lo = 0, hi = nb + nm - 1;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (measure(form(mid)) <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    return form(lo);
}

}  // namespace

NameEnds nameEnds(QStringView name) {
    return endsOf(name.size(), name.lastIndexOf(u'.'), [&](qsizetype i) { return name.at(i); });
}

NameEnds nameEnds(std::string_view ascii) {
    const size_t dot = ascii.rfind('.');
    return endsOf(qsizetype(ascii.size()), dot == std::string_view::npos ? -1 : qsizetype(dot),
                  [&](qsizetype i) { return QChar(static_cast<unsigned char>(ascii[size_t(i)])); });
}

QString nameFloor(QStringView name) {
    const NameEnds e = nameEnds(name);
    QString out = ellipsis;
    if (e.number < e.numberEnd) {
        out += name.mid(e.number, e.numberEnd - e.number);
        if (e.numberEnd < e.extension) out += ellipsis;
    }
    out += name.mid(e.extension);
    return out;
}

Cut cutName(const QString& name, double width, const Measure& measure) {
    if (measure(name) <= width) return {name, name, false};
    return {cutNameWithin(name, width, measure), name, true};
}

Cut cutFromStart(const QString& path, double width, const Measure& measure, CutRule rule) {
    Cut out{path, path, false};
    if (measure(path) <= width) return out;
    out.cut = true;
    // Every shorter form holds the ellipsis: where that alone does not fit (a cell before its
    // width is known), nothing does.
    if (measure(ellipsis) > width) {
        out.text = QString();
        return out;
    }
    // Whole names only behind "…/", as many trailing ones as fit: a name cut at its start could
    // be read as another folder's.
    qsizetype last = -1;  // where the last name starts
    for (qsizetype slash = path.indexOf(u'/'); slash >= 0; slash = path.indexOf(u'/', slash + 1)) {
        if (slash + 1 >= path.size() || path.at(slash + 1) == u'/') continue;
        last = slash + 1;
    }
    // The trailing names from each slash on, the most first, behind `lead`.
    const auto trailing = [&](qsizetype from, const QString& lead) -> std::optional<QString> {
        for (qsizetype slash = path.indexOf(u'/', from); slash >= 0 && slash < last;
             slash = path.indexOf(u'/', slash + 1)) {
            if (path.at(slash + 1) == u'/') continue;
            if (QString tail = lead + path.mid(slash); measure(tail) <= width) return tail;
        }
        return std::nullopt;
    };
    if (const qsizetype first = path.indexOf(u'/'); rule.keepFirst && first > 0)
        if (auto kept = trailing(first + 1, path.left(first + 1) + ellipsis)) {
            out.text = *kept;
            return out;
        }
    if (auto kept = trailing(0, ellipsis)) {
        out.text = *kept;
        return out;
    }
    // The last name whole behind the ellipsis, else cut in its middle, its first and last
    // characters kept as they are read (a file's number and extension too).
    const QString name = path.mid(std::max<qsizetype>(last, 0));
    if (last > 0 && measure(ellipsis + name) <= width) {
        out.text = ellipsis + name;
        return out;
    }
    out.text = rule.fileName ? cutNameWithin(name, width, measure) : middleCut(name, width, measure);
    return out;
}

namespace {

// Whether a text holds anything that reads right to left or sets a direction of its own.
bool turns(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
        switch (QChar::direction(c)) {
            case QChar::DirR:
            case QChar::DirAL:
            case QChar::DirAN:
            case QChar::DirLRE:
            case QChar::DirLRO:
            case QChar::DirRLE:
            case QChar::DirRLO:
            case QChar::DirPDF:
            case QChar::DirLRI:
            case QChar::DirRLI:
            case QChar::DirFSI:
            case QChar::DirPDI:
                return true;
            default:
                break;
        }
    }
    return false;
}

constexpr QChar firstStrong(0x2068), popIsolate(0x2069);
// A left-to-right mark, then a left-to-right isolate: a view that takes a line's direction from
// its first letter without passing over isolates (a text document's block) reads the mark.
const QString leftToRight = QStringLiteral("\u200E\u2066");

// `part` onto `out`, isolated where it turns; spaces at its ends stay outside.
void addIsolated(QString& out, QStringView part) {
    qsizetype from = 0, to = part.size();
    while (from < to && part.at(from).isSpace()) ++from;
    while (to > from && part.at(to - 1).isSpace()) --to;
    const QStringView core = part.mid(from, to - from);
    out.append(part.left(from));
    if (turns(core))
        out.append(firstStrong).append(core).append(popIsolate);
    else
        out.append(core);
    out.append(part.mid(to));
}

void addName(QString& out, QStringView name) {
    const qsizetype extension = nameEnds(name).extension;
    addIsolated(out, name.left(extension));
    if (extension >= name.size()) return;
    out.append(u'.');
    addIsolated(out, name.mid(extension + 1));
}

}  // namespace

QString isolated(const QString& name) {
    if (!turns(name)) return name;
    QString out;
    addIsolated(out, name);
    return out;
}

QString isolatedName(const QString& name) {
    if (!turns(name)) return name;
    QString out(leftToRight);
    addName(out, name);
    return out.append(popIsolate);
}

QString isolatedPath(const QString& path, bool fileName) {
    if (!turns(path)) return path;
    QString out(leftToRight);
    qsizetype from = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path.at(i) != u'/' && path.at(i) != u'\u203A') continue;
        addIsolated(out, QStringView(path).mid(from, i - from));
        out.append(path.at(i));
        from = i + 1;
    }
    const QStringView last = QStringView(path).mid(from);
    if (fileName)
        addName(out, last);
    else
        addIsolated(out, last);
    return out.append(popIsolate);
}

std::vector<CameraShare> cameraShares(const std::vector<ShootGroup>& groups) {
    std::map<std::string, int64_t> files;
    for (const ShootGroup& g : groups)
        if (!g.camera.empty()) files[g.camera] += int64_t(g.fileIDs.size());
    std::vector<CameraShare> out;
    for (const auto& [name, n] : files) out.push_back({displayText(name), n});
    return out;
}

ChipFit fitChips(const std::vector<CameraShare>& chips, const std::vector<double>& widths, double spacing,
                 double available, const std::function<double(int)>& moreWidth) {
    const int n = int(std::min(chips.size(), widths.size()));
    if (n == 0) return {};
    auto rowWidth = [&](const std::vector<int>& shown) {
        const int hidden = n - int(shown.size());
        double total = 0;
        for (int i : shown) total += widths[size_t(i)];
        if (hidden > 0) total += moreWidth(hidden);
        const int items = int(shown.size()) + (hidden > 0 ? 1 : 0);
        return items > 1 ? total + spacing * (items - 1) : total;
    };
    auto result = [&](std::vector<int> shown) {
        ChipFit fit;
        std::sort(shown.begin(), shown.end());
        for (int i = 0; i < n; ++i)
            if (!std::binary_search(shown.begin(), shown.end(), i)) fit.hidden << chips[size_t(i)].name;
        if (!fit.hidden.isEmpty()) fit.more = u'+' + QString::number(fit.hidden.size());
        fit.shown = std::move(shown);
        return fit;
    };

    std::vector<int> byFiles(static_cast<size_t>(n));
    std::iota(byFiles.begin(), byFiles.end(), 0);
    if (rowWidth(byFiles) <= available) return result(byFiles);
    // The cameras that shot the most keep their chips; ties go to the earlier chip.
    std::stable_sort(byFiles.begin(), byFiles.end(),
                     [&](int a, int b) { return chips[size_t(a)].files > chips[size_t(b)].files; });
    for (int keep = n - 1; keep >= 1; --keep) {
        const std::vector<int> shown(byFiles.begin(), byFiles.begin() + keep);
        if (rowWidth(shown) <= available) return result(shown);
    }
    // Only the main camera, narrowed to what the "+N" chip leaves of the line.
    ChipFit fit = result({byFiles.front()});
    const double beside = n > 1 ? moreWidth(n - 1) + spacing : 0;
    fit.squeezed = std::max(0.0, available - beside);
    return fit;
}

EyebrowFit fitEyebrow(double nameWidth, double nameFloor, const std::vector<CameraShare>& chips,
                      const std::vector<double>& widths, double spacing, double available,
                      const std::function<double(int)>& moreWidth) {
    EyebrowFit out;
    const size_t n = std::min(chips.size(), widths.size());
    if (n == 0) {
        out.nameWidth = std::max(0.0, std::min(nameWidth, available));
        return out;
    }
    const double name = std::min(nameWidth, nameFloor);
    out.chips = fitChips(chips, widths, spacing, std::max(0.0, available - name - spacing), moreWidth);
    double used = 0;
    for (int i : out.chips.shown) used += out.chips.squeezed >= 0 ? out.chips.squeezed : widths[size_t(i)];
    if (!out.chips.more.isEmpty()) used += moreWidth(int(out.chips.hidden.size()));
    const size_t items = out.chips.shown.size() + (out.chips.more.isEmpty() ? 0 : 1);
    used += spacing * double(items);  // between the items, and after the name
    out.nameWidth = std::max(0.0, std::min(nameWidth, available - used));
    return out;
}

std::vector<double> fitColumns(const std::vector<double>& needs, const std::vector<GiveWay>& steps,
                               double available, size_t grows) {
    std::vector<double> out = needs;
    double over = std::accumulate(out.begin(), out.end(), 0.0) - available;
    if (over < 0 && grows < out.size()) out[grows] -= over;
    for (const GiveWay& step : steps) {
        if (over <= 0) break;
        if (step.column >= out.size()) continue;
        const double given = std::clamp(out[step.column] - step.width, 0.0, over);
        out[step.column] -= given;
        over -= given;
    }
    return out;
}

double Fan::width(int tiles, double atStep) const {
    const int n = std::clamp(tiles, 1, most);
    return tile + atStep * double(n - 1) + overhang;
}

ShootLineFit fitShootLine(int tiles, double title, double chip, double chipFloor, double spacing, double gap,
                          double room, const Fan& fan) {
    ShootLineFit out;
    const int n = std::clamp(tiles, 0, fan.most);
    const double line = title + (chip > 0 ? spacing + chip : 0);
    const double widest = fan.width(fan.most, fan.step);
    out.fan = std::clamp(room - gap - line, fan.width(n, fan.tightest), widest);
    out.step = n > 1 ? std::clamp((out.fan - fan.tile - fan.overhang) / double(n - 1), fan.tightest, fan.step)
                     : fan.step;
    const double details = std::max(0.0, room - gap - out.fan);
    if (chip > 0) out.chip = std::min(chip, std::max(std::min(chip, chipFloor), details - title - spacing));
    out.title = std::max(0.0, std::min(title, details - (chip > 0 ? out.chip + spacing : 0)));
    return out;
}

StatusLineFit fitStatusLine(double lead, double sentence, bool hasLink, double link, double backup,
                            double backupFloor, double folder, double folderFloor, double spacing,
                            double room) {
    StatusLineFit out;
    const double line = std::max(0.0, room - lead);
    out.sentence = std::min(sentence, line);
    if (!hasLink) return out;
    const double leastFolder = std::min(folder, folderFloor);
    const double least = link + std::min(backup, backupFloor) + leastFolder;
    out.linkBelow = sentence + spacing + least > line;
    const double linkRoom = out.linkBelow ? line : line - sentence - spacing;
    out.backup = std::min(backup, std::max(std::min(backup, backupFloor), linkRoom - link - leastFolder));
    out.folder = std::max(leastFolder, linkRoom - link - out.backup);
    return out;
}

QString shortenNames(const QString& text, const std::function<bool(const QString&)>& fits, int floor) {
    if (fits(text)) return text;
    struct Name {
        qsizetype from = 0, to = 0;     // the quoted name, without its quotation marks
        std::vector<qsizetype> starts;  // of its characters as read, and its end
        int kept = 0;                   // characters still shown
    };
    std::vector<Name> names;
    for (qsizetype open = text.indexOf(u'\u201C'); open >= 0; open = text.indexOf(u'\u201C', open + 1)) {
        const qsizetype close = text.indexOf(u'\u201D', open + 1);
        if (close < 0) break;
        Name name{open + 1, close, graphemeStarts(text.mid(open + 1, close - open - 1)), 0};
        name.kept = int(name.starts.size()) - 1;
        names.push_back(std::move(name));
        open = close;
    }
    auto shown = [&](const Name& name) {
        return keepEnds(text.mid(name.from, name.to - name.from), name.starts, name.kept);
    };
    auto compose = [&] {
        QString out;
        qsizetype at = 0;
        for (const Name& name : names) {
            out += text.mid(at, name.from - at) + shown(name);
            at = name.to;
        }
        return out + text.mid(at);
    };
    for (;;) {
        auto longest = std::max_element(names.begin(), names.end(),
                                        [](const Name& a, const Name& b) { return a.kept < b.kept; });
        if (longest == names.end() || longest->kept <= floor) return compose();
        // The most of this name that fits with the others as they are: found by halving, as a
        // shorter name never makes the sentence longer.
        const int all = longest->kept;
        int lo = floor, hi = all - 1;
        while (lo < hi) {
            const int mid = (lo + hi + 1) / 2;
            longest->kept = mid;
            if (fits(compose()))
                lo = mid;
            else
                hi = mid - 1;
        }
        longest->kept = lo;
        if (fits(compose())) return compose();
    }
}

QString cutMiddle(const QString& name, int most) {
    const std::vector<qsizetype> starts = graphemeStarts(name);
    const int all = int(starts.size()) - 1;
    if (all <= most || most < 2) return name;
    const int tail = (most - 1) / 3, head = most - 1 - tail;
    return name.left(starts[size_t(head)]) + ellipsis + name.mid(starts[size_t(all - tail)]);
}

}  // namespace halvetrop::present
