#include "present/Files.h"

#include "hash/XXH3.h"
#include "present/Format.h"
#include "text/Utf8.h"

#include <QStringDecoder>

#include <unicode/datefmt.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <unordered_map>

namespace halvetrop::present {

namespace {

QString utf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

using Ranks = FileSortKeys::Ranks;

// The rank of each status in the order of its label's text, not the status's own order.
const std::array<uint32_t, allFileStatuses.size()>& statusRanks() {
    static const auto ranks = [] {
        std::array<FileStatus, allFileStatuses.size()> byLabel = allFileStatuses;
        std::sort(byLabel.begin(), byLabel.end(),
                  [](FileStatus a, FileStatus b) { return label(a) < label(b); });
        std::array<uint32_t, allFileStatuses.size()> out{};
        for (size_t i = 0; i < byLabel.size(); ++i) out[size_t(byLabel[i])] = uint32_t(i);
        return out;
    }();
    return ranks;
}

// The texts of a column, a run of equal ones once: file i shows text textOf[i].
struct Texts {
    std::string bytes;         // every text, one after the other
    std::vector<size_t> ends;  // text k ends at ends[k], and starts where text k - 1 ends
    std::vector<uint32_t> textOf;
    std::string_view text(size_t k) const {
        const size_t begin = k == 0 ? 0 : ends[k - 1];
        return std::string_view(bytes).substr(begin, ends[k] - begin);
    }
};

Texts textsOf(const VerifyReport& report, FileColumn column, size_t count) {
    Texts t;
    t.textOf.reserve(count);
    const std::string* last = nullptr;
    for (size_t i = 0; i < count && i < report.files.size(); ++i) {
        const FileResult& f = report.files[i];
        const std::string& text = column == FileColumn::name     ? f.name
                                  : column == FileColumn::folder ? f.folder
                                                                 : f.relativePath;
        if (!last || *last != text) {
            t.bytes += text;
            t.ends.push_back(t.bytes.size());
            last = &text;
        }
        t.textOf.push_back(uint32_t(t.ends.size() - 1));
    }
    t.textOf.resize(count, 0);
    if (t.ends.empty()) t.ends.push_back(0);
    return t;
}

// Ranks of `order` (indexes into something) already sorted by `less`: equal ones share a rank.
template <class Less>
std::vector<uint32_t> ranksOfSorted(const std::vector<uint32_t>& order, Less less) {
    std::vector<uint32_t> rank(order.size());
    uint32_t r = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && less(order[i - 1], order[i])) ++r;
        rank[order[i]] = r;
    }
    return rank;
}

// Collation ranks of a column's texts, or nothing once `stop` is set.
std::optional<Ranks> rankTexts(const Texts& t, const Collation& collation, const std::atomic<bool>* stop) {
    std::vector<std::string> keys(t.ends.size());
    for (size_t k = 0; k < keys.size(); ++k) {
        if (stop && k % 512 == 0 && stop->load(std::memory_order_relaxed)) return std::nullopt;
        keys[k] = collation.sortKey(t.text(k));
    }
    std::vector<uint32_t> order(keys.size());
    std::iota(order.begin(), order.end(), 0u);
    const auto less = [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; };
    // A check lists a card's files in path order: their paths need no sorting.
    if (!std::is_sorted(keys.begin(), keys.end())) std::sort(order.begin(), order.end(), less);
    const std::vector<uint32_t> rankOfText = ranksOfSorted(order, less);
    Ranks out(t.textOf.size());
    for (size_t i = 0; i < out.size(); ++i) out[i] = rankOfText[t.textOf[i]];
    return out;
}

// Ranks of the files' days in plain text order ("yyyy-MM-dd" sorts by date, an empty day first).
// A card holds few days, mostly in runs: each is looked up once per run.
Ranks rankDays(const VerifyReport& report, size_t count) {
    std::unordered_map<std::string_view, uint32_t> index;
    std::vector<std::string_view> days;
    Ranks out(count, 0);
    const std::string* last = nullptr;
    for (size_t i = 0; i < count && i < report.files.size(); ++i) {
        const std::string& day = report.files[i].day;
        if (last && *last == day) {
            out[i] = out[i - 1];
            continue;
        }
        last = &day;
        const auto [at, added] = index.emplace(day, uint32_t(days.size()));
        if (added) days.push_back(day);
        out[i] = at->second;
    }
    std::vector<uint32_t> order(days.size());
    std::iota(order.begin(), order.end(), 0u);
    const auto less = [&](uint32_t a, uint32_t b) { return days[a] < days[b]; };
    std::sort(order.begin(), order.end(), less);
    const std::vector<uint32_t> rankOfDay = ranksOfSorted(order, less);
    for (uint32_t& r : out) r = rankOfDay.empty() ? 0 : rankOfDay[r];
    return out;
}

// Ranks of the files' sizes in byte order.
Ranks rankSizes(const VerifyReport& report, size_t count) {
    std::vector<std::pair<int64_t, uint32_t>> sizes;
    sizes.reserve(count);
    for (size_t i = 0; i < count && i < report.files.size(); ++i)
        sizes.emplace_back(report.files[i].size, uint32_t(i));
    std::sort(sizes.begin(), sizes.end());
    Ranks out(count, 0);
    uint32_t r = 0;
    for (size_t k = 0; k < sizes.size(); ++k) {
        if (k > 0 && sizes[k - 1].first < sizes[k].first) ++r;
        out[sizes[k].second] = r;
    }
    return out;
}

// `positions` by a key below `count`, equal keys in the order given: a counting sort, so a sort
// of 100,000 rows costs two passes over them.
template <class Key>
std::vector<int> sortByKey(const std::vector<int>& positions, Key key, uint32_t count, bool ascending) {
    // Each key is read once: a status lies in its file, far from the next one.
    std::vector<uint32_t> slot(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        const uint32_t k = key(positions[i]);
        slot[i] = ascending ? k : count - 1 - k;
    }
    std::vector<size_t> start(size_t(count) + 1, 0);
    for (uint32_t k : slot) ++start[size_t(k) + 1];
    for (size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
    std::vector<int> out(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) out[start[slot[i]]++] = positions[i];
    return out;
}

}  // namespace

std::optional<FileColumn> fileColumnFromName(const QString& name) {
    static constexpr std::pair<const char*, FileColumn> names[] = {
        {"path", FileColumn::path}, {"name", FileColumn::name},     {"status", FileColumn::status},
        {"day", FileColumn::day},   {"folder", FileColumn::folder}, {"size", FileColumn::size}};
    for (const auto& [text, column] : names)
        if (name == QLatin1String(text)) return column;
    return std::nullopt;
}

// The key of a sort: a rank below `count` per position.
struct FileSortKeys::Key {
    const Ranks* ranks = nullptr;  // by position; none for the status, read from the files
    const std::vector<FileResult>* files = nullptr;
    const uint32_t* statusRank = statusRanks().data();
    uint32_t count = 0;
    uint32_t operator()(int p) const {
        return ranks ? (*ranks)[size_t(p)] : statusRank[size_t((*files)[size_t(p)].status)];
    }
};

FileSortKeys::FileSortKeys(const VerifyReport& report, const Collation& collation)
    : collation_(&collation), size_(report.files.size()) {}

std::function<FileSortKeys::Ranks()> FileSortKeys::rankJob(const VerifyReport& report, FileColumn column,
                                                           std::shared_ptr<const std::atomic<bool>> stop) {
    if (column != FileColumn::name && column != FileColumn::folder && column != FileColumn::path)
        return [] { return Ranks(); };
    auto texts = std::make_shared<const Texts>(textsOf(report, column, report.files.size()));
    return [texts, stop = std::move(stop)] {
        const Collation collation;
        std::optional<Ranks> ranks = rankTexts(*texts, collation, stop.get());
        return ranks ? std::move(*ranks) : Ranks();
    };
}

bool FileSortKeys::holdFor(const VerifyReport& made, const VerifyReport& other) {
    return std::equal(made.files.begin(), made.files.end(), other.files.begin(), other.files.end(),
                      [](const FileResult& a, const FileResult& b) {
                          return a.size == b.size && a.relativePath == b.relativePath && a.name == b.name &&
                                 a.folder == b.folder && a.day == b.day;
                      });
}

uint64_t FileSortKeys::orderDigest(const VerifyReport& report) {
    uint64_t digest = report.files.size();
    std::string fields;
    const auto add = [&fields](const void* bytes, size_t n) {
        fields.append(static_cast<const char*>(bytes), n);
    };
    const auto text = [&add](const std::string& t) {
        const uint64_t n = t.size();
        add(&n, sizeof n);
        add(t.data(), t.size());
    };
    // Each file's fields are hashed after the digest so far: the order counts.
    for (const FileResult& f : report.files) {
        fields.clear();
        add(&digest, sizeof digest);
        add(&f.size, sizeof f.size);
        text(f.relativePath);
        text(f.name);
        text(f.folder);
        text(f.day);
        digest = XXH3::hash64(fields.data(), fields.size());
    }
    return digest;
}

void FileSortKeys::expect(FileColumn column, std::function<Ranks()> source) {
    if (!ranks_[size_t(column)]) sources_[size_t(column)] = std::move(source);
}

const FileSortKeys::Ranks& FileSortKeys::ranks(const VerifyReport& report, FileColumn column) const {
    std::optional<Ranks>& made = ranks_[size_t(column)];
    if (made) return *made;
    if (auto& source = sources_[size_t(column)]) {
        Ranks given = source();
        source = nullptr;
        if (given.size() == size_) made = std::move(given);
    }
    if (made) return *made;
    switch (column) {
        case FileColumn::day:
            made = rankDays(report, size_);
            break;
        case FileColumn::size:
            made = rankSizes(report, size_);
            break;
        case FileColumn::status:
            made.emplace();  // read from the files at each sort
            break;
        case FileColumn::name:
        case FileColumn::folder:
        case FileColumn::path:
            made = collation_ ? *rankTexts(textsOf(report, column, size_), *collation_, nullptr)
                              : Ranks(size_, 0);
            break;
    }
    return *made;
}

FileSortKeys::Key FileSortKeys::keyOf(const VerifyReport& report, FileColumn column) const {
    Key key;
    if (column == FileColumn::status) {
        key.files = &report.files;
        key.count = uint32_t(statusRanks().size());
        return key;
    }
    key.ranks = &ranks(report, column);
    key.count = key.ranks->empty() ? 1 : *std::max_element(key.ranks->begin(), key.ranks->end()) + 1;
    return key;
}

void FileSortKeys::prepare(const VerifyReport& report, FileColumn column) const { ranks(report, column); }

std::vector<int> FileSortKeys::sorted(const VerifyReport& report, std::vector<int> positions,
                                      FileSort sort) const {
    if (positions.empty()) return positions;
    const Key key = keyOf(report, sort.column);
    return sortByKey(positions, key, key.count, sort.ascending);
}

std::vector<int> FileSortKeys::resorted(const VerifyReport& report, const std::vector<int>& rows,
                                        const std::vector<int>& positions, const std::vector<int>& changed,
                                        FileSort sort) const {
    const size_t n = size();
    // 1: shown now; 2: shown before as well, at a key that still holds.
    std::vector<char> state(n, 0);
    for (int p : positions)
        if (p >= 0 && size_t(p) < n) state[size_t(p)] = 1;
    for (int p : rows)
        if (p >= 0 && size_t(p) < n && state[size_t(p)] == 1) state[size_t(p)] = 2;
    // Only the status is folded, and only the status column sorts by it.
    if (sort.column == FileColumn::status)
        for (int p : changed)
            if (p >= 0 && size_t(p) < n && state[size_t(p)] == 2) state[size_t(p)] = 1;
    std::vector<int> kept, placed;
    kept.reserve(rows.size());
    for (int p : rows)
        if (p >= 0 && size_t(p) < n && state[size_t(p)] == 2) kept.push_back(p);
    for (int p : positions)
        if (p >= 0 && size_t(p) < n && state[size_t(p)] == 1) placed.push_back(p);
    if (placed.empty()) return kept;
    const Key key = keyOf(report, sort.column);
    const bool up = sort.ascending;
    // The order a stable sort of report-order positions gives: by key, then by position. A key
    // may lie in its file, far from the next: each placed row's is read once, and the rows kept
    // are searched from where the last placed row went, nearest first.
    using Keyed = std::pair<uint32_t, int>;
    const auto before = [up](const Keyed& a, const Keyed& b) {
        if (a.first != b.first) return up ? a.first < b.first : b.first < a.first;
        return a.second < b.second;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(placed.size());
    for (int p : placed) keyed.emplace_back(key(p), p);
    std::sort(keyed.begin(), keyed.end(), before);
    const auto keptAt = [&](size_t i) { return Keyed{key(kept[i]), kept[i]}; };
    std::vector<int> out;
    out.reserve(kept.size() + keyed.size());
    size_t from = 0;
    for (const Keyed& p : keyed) {
        // The first kept row at or after `from` that does not sort before p: found by doubling
        // steps, then halving.
        size_t step = 1, lo = from, hi = from;
        while (hi < kept.size() && before(keptAt(hi), p)) {
            lo = hi + 1;
            hi = std::min(kept.size(), hi + step);
            step *= 2;
        }
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if (before(keptAt(mid), p))
                lo = mid + 1;
            else
                hi = mid;
        }
        out.insert(out.end(), kept.begin() + std::ptrdiff_t(from), kept.begin() + std::ptrdiff_t(lo));
        out.push_back(p.second);
        from = lo;
    }
    out.insert(out.end(), kept.begin() + std::ptrdiff_t(from), kept.end());
    return out;
}

int stepSelection(int current, int step, int count, int columns) {
    if (count <= 0) return -1;
    if (current < 0 || current >= count) return step >= 0 ? 0 : count - 1;
    columns = std::max(columns, 1);
    const int target = current + step;
    // Left and Right stay within the grid's line; a line step out of the grid stays put.
    if (columns > 1 && std::abs(step) < columns && target / columns != current / columns) return current;
    if (columns > 1 && std::abs(step) >= columns && (target < 0 || target >= count))
        return step > 0 && target / columns == (count - 1) / columns ? count - 1 : current;
    return std::clamp(target, 0, count - 1);
}

int pageSelection(int current, int lines, int count, int columns) {
    if (count <= 0) return -1;
    if (current < 0 || current >= count) return lines >= 0 ? 0 : count - 1;
    columns = std::max(columns, 1);
    const int line = std::clamp(current / columns + lines, 0, (count - 1) / columns);
    return std::min(line * columns + current % columns, count - 1);
}

double pageScroll(double position, int pages, double height, double top, double bottom) {
    // A line of what was in view stays: the eye finds its place, and a pinned day header covers no
    // row unseen.
    constexpr double kKept = 40;
    const double step = std::max(height - kKept, height / 2);
    return std::clamp(position + pages * std::max(step, 0.0), top, std::max(top, bottom));
}

QString shootChipText(const ShootGroup& group, const QLocale& locale) {
    const QString folder = displayText(group.folder);
    const QStringList pieces = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return shortDay(utf8(group.day), locale) + QStringLiteral(" · ") +
           (pieces.isEmpty() ? folder : pieces.last());
}

QString goneFromCardText() { return QStringLiteral("No longer on the card"); }

QString statusText(const FileResult& file, bool gone) {
    if (gone) return goneFromCardText();
    return file.detail ? displayText(*file.detail) : utf8(label(file.status));
}

QString onBackupText(const VerifyReport& report, const FileResult& file) {
    if (file.copies.empty()) return {};
    const CopyRef& c = file.copies.front();
    const QString backup = c.destination >= 0 && size_t(c.destination) < report.destinations.size()
                               ? displayText(report.destinations[size_t(c.destination)].name)
                               : QString();
    return backup + QStringLiteral(" › ") + displayText(c.relativePath);
}

namespace {

// The `keep` widest texts offered; the first of equal ones stays.
class Widest {
public:
    explicit Widest(size_t keep) : keep_(keep) {}
    void offer(double width, int position) {
        if (keep_ == 0 || (kept_.size() == keep_ && width <= kept_.back().first)) return;
        auto at = std::upper_bound(kept_.begin(), kept_.end(), width,
                                   [](double w, const std::pair<double, int>& k) { return w > k.first; });
        kept_.insert(at, {width, position});
        if (kept_.size() > keep_) kept_.pop_back();
    }
    QStringList texts(const std::function<QString(int)>& text) const {
        QStringList out;
        for (const auto& k : kept_) out << text(k.second);
        return out;
    }

private:
    size_t keep_;
    std::vector<std::pair<double, int>> kept_;  // widest first
};

// The last name of a folder or a path.
std::string_view lastPart(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isControl(char32_t code) { return code < 0x20 || (code >= 0x7f && code < 0xa0); }

}  // namespace

// The drawn width of texts given as bytes, as the sum of their characters' widths, each measured
// once: it misses only kerning and shaping, which is close enough to find the widest few of
// 100,000 names, where measuring each would take the window's time. Characters are as shown:
// U+FFFD for what is not text and for control characters.
class ColumnWidths::Chars {
public:
    explicit Chars(Measure measure) : measure_(std::move(measure)) { ascii_.fill(-1); }
    double of(std::string_view bytes) {
        if (isAllAscii(bytes)) {
            double w = 0;
            for (char c : bytes) w += ascii(static_cast<unsigned char>(c));
            return w;
        }
        // Decoded into a buffer kept for the next text: nothing is allocated per text.
        const QByteArrayView in(bytes.data(), qsizetype(bytes.size()));
        decoded_.resize(decoder_.requiredSpace(in.size()));
        QChar* end = decoder_.appendToBuffer(decoded_.data(), in);
        return of(QStringView(decoded_.data(), end));
    }
    double of(QStringView text) {
        double w = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size();
            const char32_t code =
                pair ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1)) : text.at(i).unicode();
            i += pair ? 1 : 0;
            if (code < 0x80) {
                w += ascii(static_cast<unsigned char>(code));
                continue;
            }
            auto [at, added] = other_.try_emplace(isControl(code) ? U'\uFFFD' : code, 0.0);
            if (added) at->second = measure_(QString::fromUcs4(&at->first, 1));
            w += at->second;
        }
        return w;
    }
    // The width of a text that is mostly the one measured before it in the same run: the note of
    // the files before, the folder their copies lie in, the backup they lie on.
    struct Run {
        std::string text;
        double width = -1;
    };
    Run note, copyFolder, backup;
    double again(std::string_view text, Run& run) {
        if (run.width < 0 || run.text != text) {
            run.text.assign(text);
            run.width = of(text);
        }
        return run.width;
    }
    // The width of the least a cut of the name keeps (nameFloor).
    double floorOf(std::string_view name) {
        if (!isAllAscii(name)) return of(nameFloor(displayText(name)));
        const NameEnds e = nameEnds(name);
        const auto piece = [&](qsizetype from, qsizetype to) {
            return name.substr(size_t(from), size_t(to - from));
        };
        const double ellipsis = of(QStringView(u"\u2026"));
        return ellipsis + of(piece(e.number, e.numberEnd)) +
               (e.number < e.numberEnd && e.numberEnd < e.extension ? ellipsis : 0) +
               of(piece(e.extension, qsizetype(name.size())));
    }

private:
    double ascii(unsigned char c) {
        double& w = ascii_[c];
        if (w < 0) w = measure_(isControl(c) ? QString(QChar(0xFFFD)) : QString(QChar(c)));
        return w;
    }

    Measure measure_;
    std::array<double, 128> ascii_;
    std::unordered_map<char32_t, double> other_;
    QStringDecoder decoder_{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
    QString decoded_;
};

ColumnWidths::ColumnWidths() = default;
ColumnWidths::ColumnWidths(ColumnWidths&&) noexcept = default;
ColumnWidths& ColumnWidths::operator=(ColumnWidths&&) noexcept = default;
ColumnWidths::~ColumnWidths() = default;

ColumnWidths::ColumnWidths(const VerifyReport& report, Measure width, size_t now)
    : chars_(std::make_unique<Chars>(std::move(width))) {
    const size_t n = report.files.size();
    for (auto* column : {&name_, &nameFloor_, &folder_, &lastFolder_, &backup_, &backupFloor_, &note_})
        column->resize(n);
    status_.resize(n);
    size_.resize(n);
    day_.resize(n);
    measure(report, now);
}

bool ColumnWidths::measure(const VerifyReport& report, size_t most) {
    if (!chars_ || report.files.size() != size()) return measured();
    const size_t end = size() - measured_ <= most ? size() : measured_ + most;
    // A card's files come folder by folder and day by day: each is measured or looked up once per run.
    for (size_t i = measured_; i < end; ++i) {
        const FileResult& f = report.files[i];
        const FileResult* before = i > 0 ? &report.files[i - 1] : nullptr;
        name_[i] = float(chars_->of(f.name));
        nameFloor_[i] = float(chars_->floorOf(f.name));
        if (before && before->folder == f.folder) {
            folder_[i] = folder_[i - 1];
            lastFolder_[i] = lastFolder_[i - 1];
        } else {
            folder_[i] = float(chars_->of(f.folder));
            lastFolder_[i] = float(chars_->of(lastPart(f.folder)));
        }
        size_[i] = f.size;
        if (before && before->day == f.day) {
            day_[i] = day_[i - 1];
        } else {
            const auto [at, added] = dayIndex_.try_emplace(f.day, uint32_t(days_.size()));
            if (added) days_.push_back(f.day);
            day_[i] = at->second;
        }
        measureCopyAndNote(report, i);
    }
    measured_ = end;
    return measured();
}

void ColumnWidths::measureCopyAndNote(const VerifyReport& report, size_t at) {
    const FileResult& f = report.files[at];
    Chars& chars = *chars_;
    status_[at] = f.status;
    note_[at] = f.detail ? float(chars.again(*f.detail, chars.note)) : -1.f;
    backup_[at] = backupFloor_[at] = -1.f;
    if (f.copies.empty()) return;
    const CopyRef& c = f.copies.front();
    const double backup = c.destination >= 0 && size_t(c.destination) < report.destinations.size()
                              ? chars.again(report.destinations[size_t(c.destination)].name, chars.backup)
                              : 0;
    // Characters' widths add up: the copy's folder, shared by the copies around it, and its name.
    const std::string_view path = c.relativePath;
    const std::string_view name = lastPart(path);
    backup_[at] =
        float(backup + chars.of(QStringView(u" \u203a ")) +
              chars.again(path.substr(0, path.size() - name.size()), chars.copyFolder) + chars.of(name));
    backupFloor_[at] = float(chars.floorOf(name));
}

void ColumnWidths::fold(const VerifyReport& report, const std::vector<int>& changed) {
    if (!chars_ || report.files.size() != size()) return;
    // Those not measured yet will be, as they are then.
    for (int at : changed)
        if (at >= 0 && size_t(at) < measured_) measureCopyAndNote(report, size_t(at));
}

ColumnTexts ColumnWidths::texts(const VerifyReport& report, const std::vector<int>& positions,
                                const DateTexts& dates, const std::vector<char>* gone, const QLocale& locale,
                                size_t keep) const {
    Widest names(keep), folders(keep), lastFolders(keep), backups(keep), notes(keep), nameFloors(keep),
        backupFloors(keep);
    std::array<bool, allFileStatuses.size()> statuses{};
    bool anyGone = false;
    std::vector<uint32_t> days;
    std::vector<char> dayShown(days_.size(), 0);
    std::array<int64_t, 5> largest{-1, -1, -1, -1, -1};  // bytes, KB, MB, GB, TB and up
    const size_t n = std::min(measured_, report.files.size());
    for (int at : positions) {
        if (at < 0 || size_t(at) >= n) continue;
        const size_t i = size_t(at);
        names.offer(name_[i], at);
        nameFloors.offer(nameFloor_[i], at);
        folders.offer(folder_[i], at);
        lastFolders.offer(lastFolder_[i], at);
        if (backup_[i] >= 0) {
            backups.offer(backup_[i], at);
            backupFloors.offer(backupFloor_[i], at);
        }
        if (note_[i] >= 0) notes.offer(note_[i], at);
        statuses[size_t(status_[i])] = true;
        anyGone = anyGone || (gone && i < gone->size() && (*gone)[i]);
        if (!dayShown[day_[i]]) {
            dayShown[day_[i]] = 1;
            days.push_back(day_[i]);
        }
        size_t unit = 0;
        for (int64_t b = size_[i]; b >= 1000 && unit + 1 < largest.size(); b /= 1000) ++unit;
        largest[unit] = std::max(largest[unit], size_[i]);
    }
    const auto file = [&](int at) -> const FileResult& { return report.files[size_t(at)]; };
    ColumnTexts out;
    out.names = names.texts([&](int at) { return displayText(file(at).name); });
    out.folders = folders.texts([&](int at) { return displayText(file(at).folder); });
    out.lastFolders = lastFolders.texts([&](int at) { return displayText(lastPart(file(at).folder)); });
    out.backups = backups.texts([&](int at) { return onBackupText(report, file(at)); });
    out.notes = notes.texts([&](int at) { return displayText(*file(at).detail); });
    out.nameFloors = nameFloors.texts([&](int at) { return nameFloor(displayText(file(at).name)); });
    out.backupFloors = backupFloors.texts(
        [&](int at) { return nameFloor(displayText(lastPart(file(at).copies.front().relativePath))); });
    for (FileStatus status : allFileStatuses)
        if (statuses[size_t(status)]) out.labels << utf8(label(status));
    if (anyGone) out.labels << goneFromCardText();
    for (uint32_t day : days) out.days << dates.shortDay(utf8(days_[day]));
    for (int64_t size : largest)
        if (size >= 0) out.sizes << byteCount(size, locale);
    return out;
}

QString menuCopyTitle(const std::vector<const FileResult*>& files, size_t ids, const QLocale& locale) {
    if (ids == 1 && files.size() == 1) return QStringLiteral("Copy ") + displayText(files.front()->name);
    return QStringLiteral("Copy ") + fileCount(int64_t(ids), locale);
}

DateRow dateRow(const FileResult& file, const QLocale& locale, const QTimeZone& zone) {
    const auto& c = file.capture;
    if (c && c->source != DateSource::fileModified && c->date) {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::DateFormat> format(
            icu::DateFormat::createDateTimeInstance(icu::DateFormat::kMedium, icu::DateFormat::kMedium,
                                                    icu::Locale(locale.bcp47Name().toUtf8().constData())));
        if (format) {
            const QByteArray id = zone.isValid() ? zone.id() : QByteArray("UTC");
            format->adoptTimeZone(
                icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(id.constData())));
            icu::UnicodeString out;
            format->format(UDate(double(*c->date) / 1e6), out, status);
            if (U_SUCCESS(status))
                return {QStringLiteral("Taken"),
                        QString(reinterpret_cast<const QChar*>(out.getBuffer()), out.length())};
        }
    }
    return {QStringLiteral("Shoot day"), shortDay(utf8(file.day), locale)};
}

QString evidenceText(EvidenceLevel level) {
    return level == EvidenceLevel::verified ? QStringLiteral("Every byte matches")
                                            : QStringLiteral("Content matches (sampled)");
}

QString backupsNote(const VerifyReport& report, const FileResult& file) {
    if (report.isCardOnly()) return QStringLiteral("Not compared — this was a card-only scan.");
    if (file.copies.empty()) return QStringLiteral("No copy found.");
    if (file.cardDoubt) return doubtNote(*file.cardDoubt, true);
    return {};
}

namespace {

// The words for one doubt: what is said of many files ("Copies on “B” are …") and of one, and what
// to do about it on a backup and on the card (empty: nothing but keeping the card).
struct DoubtWords {
    const char* many;
    const char* one;
    const char* onBackup;
    const char* onCard;
};

DoubtWords wordsOf(MediumDoubt doubt) {
    switch (doubt) {
        case MediumDoubt::memory:
            return {"are kept in memory, not on a drive", "kept in memory, not on a drive",
                    "back up to a drive", ""};
        case MediumDoubt::fuse:
            return {"are read through FUSE, which may answer from memory",
                    "read through FUSE, which may answer from memory",
                    "mount it with the system's own driver", "mount it with the system's own driver"};
        case MediumDoubt::overlay:
            return {"lie on an overlay, which may keep them in memory",
                    "on an overlay, which may keep it in memory", "back up to the drive beneath it", ""};
        case MediumDoubt::diskImage:
            return {"are in a disk image read through memory", "in a disk image read through memory",
                    "back up to the drive that holds the image", ""};
        case MediumDoubt::unknownVolume:
            return {"are on a volume whose drive can't be told", "on a volume whose drive can't be told",
                    "back up to another drive", ""};
        case MediumDoubt::inMetadata:
            return {"sit in the file system's metadata, which no drive read reaches",
                    "in the file system's metadata, which no drive read reaches",
                    "add a backup on another drive", ""};
        case MediumDoubt::othersFile:
            return {"belong to another user, whose cache can't be checked",
                    "another user's file, whose cache can't be checked", "check as their owner",
                    "check as their owner"};
        case MediumDoubt::cacheHeld:
            return {"are read through memory, which another program holds",
                    "read through memory, which another program holds", "close that program and verify again",
                    "close that program and verify again"};
    }
    return {"", "", "", ""};
}

QString capitalized(QString s) {
    if (!s.isEmpty()) s[0] = s[0].toUpper();
    return s;
}

}  // namespace

QString doubtNote(MediumDoubt doubt, bool card) {
    const DoubtWords w = wordsOf(doubt);
    const QString action = QString::fromUtf8(card ? w.onCard : w.onBackup);
    return (card ? QStringLiteral("Not read from the card: ") : QStringLiteral("Not read from the drive: ")) +
           QString::fromUtf8(w.one) + QLatin1Char('.') +
           (action.isEmpty() ? QString() : QLatin1Char(' ') + capitalized(action) + QLatin1Char('.'));
}

bool onCardDrive(const VerifyReport& report, int64_t destination) {
    return destination >= 0 && size_t(destination) < report.destinations.size() &&
           sharesDrive(report.destinations[size_t(destination)].drive, report.source.drive);
}

QString copyDoubtNote(const VerifyReport& report, const CopyRef& copy) {
    if (!copy.doubt) return {};
    if (!onCardDrive(report, copy.destination)) return doubtNote(*copy.doubt, false);
    return QStringLiteral("Not read from the drive: ") + QString::fromUtf8(wordsOf(*copy.doubt).one) +
           QStringLiteral(". It's on the card's own drive, so it doesn't count as a separate copy.");
}

QString doubtReason(MediumDoubt doubt, const QString& name, bool card) {
    const DoubtWords w = wordsOf(doubt);
    const QString action = QString::fromUtf8(card ? w.onCard : w.onBackup);
    return (card ? QStringLiteral("Files on ") : QStringLiteral("Copies on ")) + quoted(name) +
           QLatin1Char(' ') + QString::fromUtf8(w.many) +
           (action.isEmpty() ? QStringLiteral(" — keep the card for now.")
                             : QStringLiteral(" — ") + action + QStringLiteral(", or keep the card."));
}

QString onCardText(const FileResult& file) {
    return file.folder.empty() ? QStringLiteral("/") : displayText(file.folder);
}

}  // namespace halvetrop::present
