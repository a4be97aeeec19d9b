#include "model/SavedReport.h"

#include <nlohmann/json.hpp>

#include <bitset>
#include <set>

#include "model/JsonScan.h"
#include "report/StoredForm.h"

namespace halvetrop {

namespace {

// Fast enough to run beside the reading of the file; a history of reports compresses about ten
// to one at this level.
constexpr int kPackLevel = 1;

QByteArray pack(std::string_view text) {
    QByteArray packed =
        qCompress(reinterpret_cast<const uchar*>(text.data()), qsizetype(text.size()), kPackLevel);
    // The compressor's buffer was made for the whole text; only its start is used.
    packed.squeeze();
    return packed;
}

template <class Enum>
Enum enumeration(std::string_view token, std::optional<Enum> (*fromRaw)(std::string_view)) {
    std::optional<Enum> value = fromRaw(jsonscan::text(token));
    if (!value) jsonscan::fail("not a name of its cases");
    return *value;
}

// Containers a decoded report will not grow again: give back what their growth left spare (a list
// of 5,000 files read one at a time holds room for 8,192).
void compact(VerifyReport& report) {
    report.files.shrink_to_fit();
    report.groups.shrink_to_fit();
    for (ShootGroup& group : report.groups) group.fileIDs.shrink_to_fit();
    report.folders.shrink_to_fit();
}

}  // namespace

present::ReportSummary summaryOfStored(std::string_view text) {
    using jsonscan::isText;
    present::ReportSummary s;
    std::set<MediaKind> inScope;
    std::bitset<8> mediaKinds;  // kinds of the card's camera media
    bool safeToFormat = false;
    enum Part { source, destinations, scope, level, totals, safe, finished, groups, files, parts };
    std::bitset<parts> seen;
    jsonscan::forEachMember(text, [&](std::string_view key, std::string_view value) {
        if (isText(key, "source")) {
            s.source = fromStoredJson<VolumeInfo>(value);
            seen.set(source);
        } else if (isText(key, "destinations")) {
            s.destinations.clear();
            jsonscan::forEachElement(value, [&](std::string_view volume) {
                s.destinations.push_back(fromStoredJson<VolumeInfo>(volume));
            });
            seen.set(destinations);
        } else if (isText(key, "scope")) {
            inScope = fromStoredJson<VerifyScope>(value).kinds;
            seen.set(scope);
        } else if (isText(key, "level")) {
            s.level = enumeration<CheckLevel>(value, checkLevelFromRaw);
            seen.set(level);
        } else if (isText(key, "totals")) {
            s.totals = fromStoredJson<StatusCounts>(value);
            seen.set(totals);
        } else if (isText(key, "cardUnreadable")) {
            // Absent from reports stored before it was kept: those read as a card read whole.
            auto number = nlohmann::json::parse(value, nullptr, false);
            if (!number.is_number_integer() || number.get<int64_t>() < 0)
                jsonscan::fail("cardUnreadable is not a count");
            s.cardUnreadable = number.get<int64_t>();
        } else if (isText(key, "safeToFormat")) {
            if (value != "true" && value != "false") jsonscan::fail("safeToFormat is not a bool");
            safeToFormat = value == "true";
            seen.set(safe);
        } else if (isText(key, "finishedAt")) {
            auto number = nlohmann::json::parse(value, nullptr, false);
            std::optional<TimeNs> at =
                number.is_number() ? fromStoredSeconds(number.get<double>()) : std::nullopt;
            if (!at) jsonscan::fail("finishedAt is no time");
            s.finishedAt = *at;
            seen.set(finished);
        } else if (isText(key, "groups")) {
            jsonscan::forEachElement(value, [&](std::string_view group) {
                std::string day, camera;
                jsonscan::forEachMember(group, [&](std::string_view k, std::string_view v) {
                    if (isText(k, "day")) day = jsonscan::text(v);
                    if (isText(k, "camera")) camera = jsonscan::text(v);
                });
                present::addShoot(s, day, camera);
            });
            seen.set(groups);
        } else if (isText(key, "files")) {
            // Only whether camera media of a kind left out of the scope is on the card.
            jsonscan::forEachElement(value, [&](std::string_view file) {
                std::optional<MediaKind> kind;
                bool media = false;
                jsonscan::forEachMember(file, [&](std::string_view k, std::string_view v) {
                    if (isText(k, "kind")) kind = enumeration<MediaKind>(v, mediaKindFromRaw);
                    if (isText(k, "role"))
                        media = enumeration<FileRole>(v, fileRoleFromRaw) == FileRole::media;
                });
                if (!kind) jsonscan::fail("a file has no kind");
                if (media) mediaKinds.set(static_cast<size_t>(*kind));
            });
            seen.set(files);
        }
    });
    if (!seen.all()) jsonscan::fail("a report misses a part of its summary");
    bool skipped = false;
    for (MediaKind kind : allMediaKinds)
        skipped = skipped || (mediaKinds.test(static_cast<size_t>(kind)) && !inScope.count(kind));
    s.readyToFormat = safeToFormat && !skipped && s.cardUnreadable == 0 && !s.source.showsPart();
    return s;
}

SavedReport::SavedReport(VerifyReport report)
    : summary_(present::summarize(report)), whole_(std::make_shared<const VerifyReport>(std::move(report))) {}

std::shared_ptr<const SavedReport> SavedReport::fromStored(std::string_view text) {
    std::shared_ptr<SavedReport> saved(new SavedReport());
    saved->summary_ = summaryOfStored(text);
    saved->packed_ = pack(text);
    return saved;
}

std::shared_ptr<const SavedReport> SavedReport::ofSummary(present::ReportSummary summary) {
    std::shared_ptr<SavedReport> saved(new SavedReport());
    saved->summary_ = std::move(summary);
    return saved;
}

VerifyReport SavedReport::open() const {
    std::shared_ptr<const VerifyReport> whole;
    QByteArray packed;
    {
        std::lock_guard hold(lock_);
        whole = whole_;
        packed = packed_;  // shared, not copied
    }
    if (whole) return *whole;
    QByteArray text = qUncompress(packed);
    if (text.isEmpty()) jsonscan::fail("the saved report does not unpack");
    // With room after it, the reader reads the text where it stands rather than a copy.
    text.reserve(text.size() + qsizetype(storedTextRoom) + 1);
    VerifyReport report = reportFromStoredJson(std::string_view(text.constData(), size_t(text.size())),
                                               size_t(text.capacity() - text.size() - 1));
    compact(report);
    return report;
}

std::string SavedReport::storedText() const {
    std::shared_ptr<const VerifyReport> whole;
    QByteArray packed;
    {
        std::lock_guard hold(lock_);
        whole = whole_;
        packed = packed_;
    }
    if (!whole) {
        const QByteArray text = qUncompress(packed);
        return std::string(text.constData(), size_t(text.size()));
    }
    std::string text = toStoredJson(*whole);
    QByteArray made = pack(text);
    std::lock_guard hold(lock_);
    if (whole_ == whole) {
        packed_ = std::move(made);
        whole_.reset();
    }
    return text;
}

bool SavedReport::isPacked() const {
    std::lock_guard hold(lock_);
    return !whole_;
}

}  // namespace halvetrop
