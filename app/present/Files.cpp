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

FileSortKeys::FileSortKeys(const VerifyReport& report, const Collation& collation) {
    names_.reserve(report.files.size());
    folders_.reserve(report.files.size());
    paths_.reserve(report.files.size());
    for (const FileResult& f : report.files) {
        names_.push_back(collation.sortKey(f.name));
        folders_.push_back(collation.sortKey(f.folder));
        paths_.push_back(collation.sortKey(f.relativePath));
    }
}

std::vector<int> FileSortKeys::sorted(const VerifyReport& report, std::vector<int> positions,
                                      FileSort sort) const {
    const auto& files = report.files;
    const bool up = sort.ascending;
    switch (sort.column) {
        case FileColumn::path:
            sortBy(positions, up, [&](int i) -> const std::string& { return paths_[size_t(i)]; });
            break;
        case FileColumn::name:
            sortBy(positions, up, [&](int i) -> const std::string& { return names_[size_t(i)]; });
            break;
        case FileColumn::folder:
            sortBy(positions, up, [&](int i) -> const std::string& { return folders_[size_t(i)]; });
            break;
        case FileColumn::status:
            // By the label's text, not the status's own order.
            sortBy(positions, up, [&](int i) { return label(files[size_t(i)].status); });
            break;
        case FileColumn::day:
            sortBy(positions, up, [&](int i) -> const std::string& { return files[size_t(i)].day; });
            break;
        case FileColumn::size:
            sortBy(positions, up, [&](int i) { return files[size_t(i)].size; });
            break;
    }
    return positions;
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
    return QStringLiteral("Copy %1 files").arg(ids);
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
