#include "present/Files.h"

#include "present/Format.h"

#include <unicode/datefmt.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace halvetrop::present {

namespace {

QString utf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Compares keys of two positions; the stable sort keeps equal rows in their given order.
template <class Key>
void sortBy(std::vector<int>& positions, bool ascending, Key key) {
    if (ascending)
        std::stable_sort(positions.begin(), positions.end(), [&](int a, int b) { return key(a) < key(b); });
    else
        std::stable_sort(positions.begin(), positions.end(), [&](int a, int b) { return key(b) < key(a); });
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

FileSortKeys::FileSortKeys(const VerifyReport& report, const Collation& collation)
    : collation_(&collation), size_(report.files.size()) {}

const std::vector<std::string>& FileSortKeys::keys(const VerifyReport& report, FileColumn column) const {
    auto& made = column == FileColumn::name ? names_ : column == FileColumn::folder ? folders_ : paths_;
    if (made) return *made;
    std::vector<std::string>& out = made.emplace();
    out.reserve(size_);
    const std::string* last = nullptr;  // files come folder by folder: a folder's key is made once
    for (size_t i = 0; i < size_ && i < report.files.size(); ++i) {
        const FileResult& f = report.files[i];
        if (column == FileColumn::name) {
            out.push_back(collation_->sortKey(f.name));
        } else if (column == FileColumn::folder) {
            out.push_back(last && *last == f.folder ? out.back() : collation_->sortKey(f.folder));
            last = &f.folder;
        } else {
            out.push_back(collation_->sortKey(f.relativePath));
        }
    }
    out.resize(size_);
    return out;
}

// Calls `with` with the sort's key of a position; a stable sort of positions in report order by it
// is the order of (key, position).
template <class With>
decltype(auto) FileSortKeys::withKey(const VerifyReport& report, FileColumn column, With with) const {
    const auto& files = report.files;
    switch (column) {
        case FileColumn::name:
        case FileColumn::folder: {
            const std::vector<std::string>& made = keys(report, column);
            return with([&](int i) -> const std::string& { return made[size_t(i)]; });
        }
        case FileColumn::status:
            // By the label's text, not the status's own order.
            return with([&](int i) { return label(files[size_t(i)].status); });
        case FileColumn::day:
            return with([&](int i) -> const std::string& { return files[size_t(i)].day; });
        case FileColumn::size:
            return with([&](int i) { return files[size_t(i)].size; });
        case FileColumn::path:
            break;
    }
    const std::vector<std::string>& paths = keys(report, FileColumn::path);
    return with([&](int i) -> const std::string& { return paths[size_t(i)]; });
}

void FileSortKeys::prepare(const VerifyReport& report, FileColumn column) const {
    if (column == FileColumn::name || column == FileColumn::folder || column == FileColumn::path)
        keys(report, column);
}

std::vector<int> FileSortKeys::sorted(const VerifyReport& report, std::vector<int> positions,
                                      FileSort sort) const {
    withKey(report, sort.column, [&](auto key) { sortBy(positions, sort.ascending, key); });
    return positions;
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
    return withKey(report, sort.column, [&](auto key) {
        const bool up = sort.ascending;
        // The order a stable sort of report-order positions gives: by key, then by position.
        const auto before = [&](int a, int b) {
            if (up ? key(a) < key(b) : key(b) < key(a)) return true;
            if (up ? key(b) < key(a) : key(a) < key(b)) return false;
            return a < b;
        };
        std::sort(placed.begin(), placed.end(), before);
        std::vector<int> out;
        out.reserve(kept.size() + placed.size());
        auto from = kept.begin();
        for (int p : placed) {
            const auto at = std::lower_bound(from, kept.end(), p, before);
            out.insert(out.end(), from, at);
            out.push_back(p);
            from = at;
        }
        out.insert(out.end(), from, kept.end());
        return out;
    });
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

QString statusText(const FileResult& file) {
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

QString menuCopyTitle(const std::vector<const FileResult*>& files, size_t ids) {
    if (ids == 1 && files.size() == 1) return QStringLiteral("Copy ") + displayText(files.front()->name);
    return QStringLiteral("Copy ") + QString::number(ids) +
           agree(int64_t(ids), QStringLiteral(" file"), QStringLiteral(" files"));
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
    return {};
}

QString onCardText(const FileResult& file) {
    return file.folder.empty() ? QStringLiteral("/") : displayText(file.folder);
}

}  // namespace halvetrop::present
