#include "model/HistorySummaries.h"

#include <QCryptographicHash>
#include <QFile>

#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "model/JsonScan.h"
#include "report/StoredForm.h"

namespace halvetrop {

namespace {

constexpr std::string_view kMagic = "halvetrop-history-summaries 1 ";

std::string quotedText(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string base64(const QByteArray& bytes) { return '"' + bytes.toBase64().toStdString() + '"'; }

QByteArray fromBase64(std::string_view token) {
    auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromStdString(jsonscan::text(token)),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) jsonscan::fail("a bookmark is not Base64");
    return *decoded;
}

// A string token as written: well-formed UTF-8 only, as the writer writes it.
std::string strictText(std::string_view token) {
    const auto value = nlohmann::json::parse(token, nullptr, false);
    if (!value.is_string()) jsonscan::fail("not a text");
    return value.get<std::string>();
}

int64_t count(std::string_view token) {
    const auto number = nlohmann::json::parse(token, nullptr, false);
    if (!number.is_number_integer() || number.get<int64_t>() < 0) jsonscan::fail("not a count");
    return number.get<int64_t>();
}

void appendEntry(std::string& out, const SummaryEntry& e) {
    const present::ReportSummary& s = e.summary;
    out += "{\"id\":\"" + e.id.toString(QUuid::WithoutBraces).toStdString() + "\"";
    out += ",\"source\":" + toStoredJson(s.source);
    out += ",\"destinations\":[";
    for (size_t i = 0; i < s.destinations.size(); ++i) {
        if (i) out += ',';
        out += toStoredJson(s.destinations[i]);
    }
    out += "],\"level\":\"" + std::string(rawValue(s.level)) + "\"";
    out += ",\"totals\":" + toStoredJson(s.totals);
    out += std::string(",\"readyToFormat\":") + (s.readyToFormat ? "true" : "false");
    out += ",\"cardUnreadable\":" + std::to_string(s.cardUnreadable);
    out += ",\"cameras\":[";
    for (size_t i = 0; i < s.cameras.size(); ++i) {
        if (i) out += ',';
        out += quotedText(s.cameras[i]);
    }
    out += "],\"shoots\":" + std::to_string(s.shoots);
    out += ",\"firstDay\":" + quotedText(s.firstDay) + ",\"lastDay\":" + quotedText(s.lastDay);
    out += ",\"finishedAt\":" + std::to_string(s.finishedAt);
    if (e.sourceBookmark) out += ",\"sourceBookmark\":" + base64(*e.sourceBookmark);
    out += ",\"destinationBookmarks\":[";
    for (size_t i = 0; i < e.destinationBookmarks.size(); ++i) {
        if (i) out += ',';
        out += base64(e.destinationBookmarks[i]);
    }
    out += "]}";
}

// One entry; throws when any part of it is missing or not as written.
SummaryEntry decodeEntry(std::string_view text) {
    using jsonscan::isText;
    SummaryEntry e;
    present::ReportSummary& s = e.summary;
    enum Part {
        id,
        source,
        destinations,
        level,
        totals,
        ready,
        unreadable,
        cameras,
        shoots,
        first,
        last,
        finished,
        bookmarks,
        parts
    };
    std::vector<bool> seen(parts);
    jsonscan::forEachMember(text, [&](std::string_view key, std::string_view value) {
        auto mark = [&](Part p) {
            if (seen[p]) jsonscan::fail("a key comes twice");
            seen[p] = true;
        };
        if (isText(key, "id")) {
            mark(id);
            e.id = QUuid::fromString(QString::fromStdString(jsonscan::text(value)));
            if (e.id.isNull()) jsonscan::fail("the id is no UUID");
        } else if (isText(key, "source")) {
            mark(source);
            s.source = fromStoredJson<VolumeInfo>(value);
        } else if (isText(key, "destinations")) {
            mark(destinations);
            jsonscan::forEachElement(
                value, [&](std::string_view v) { s.destinations.push_back(fromStoredJson<VolumeInfo>(v)); });
        } else if (isText(key, "level")) {
            mark(level);
            const auto l = checkLevelFromRaw(jsonscan::text(value));
            if (!l) jsonscan::fail("no level");
            s.level = *l;
        } else if (isText(key, "totals")) {
            mark(totals);
            s.totals = fromStoredJson<StatusCounts>(value);
        } else if (isText(key, "readyToFormat")) {
            mark(ready);
            if (value != "true" && value != "false") jsonscan::fail("readyToFormat is not a bool");
            s.readyToFormat = value == "true";
        } else if (isText(key, "cardUnreadable")) {
            mark(unreadable);
            s.cardUnreadable = count(value);
        } else if (isText(key, "cameras")) {
            mark(cameras);
            jsonscan::forEachElement(value, [&](std::string_view v) { s.cameras.push_back(strictText(v)); });
        } else if (isText(key, "shoots")) {
            mark(shoots);
            s.shoots = count(value);
        } else if (isText(key, "firstDay")) {
            mark(first);
            s.firstDay = strictText(value);
        } else if (isText(key, "lastDay")) {
            mark(last);
            s.lastDay = strictText(value);
        } else if (isText(key, "finishedAt")) {
            mark(finished);
            const auto number = nlohmann::json::parse(value, nullptr, false);
            if (!number.is_number_integer()) jsonscan::fail("finishedAt is no time");
            s.finishedAt = number.get<int64_t>();
        } else if (isText(key, "sourceBookmark")) {
            if (e.sourceBookmark) jsonscan::fail("a key comes twice");
            e.sourceBookmark = fromBase64(value);
        } else if (isText(key, "destinationBookmarks")) {
            mark(bookmarks);
            jsonscan::forEachElement(
                value, [&](std::string_view v) { e.destinationBookmarks.push_back(fromBase64(v)); });
        } else {
            jsonscan::fail("an unknown key");
        }
    });
    for (bool part : seen)
        if (!part) jsonscan::fail("an entry misses a part");
    return e;
}

std::string checksum(std::string_view body) {
    return QCryptographicHash::hash(QByteArrayView(body.data(), qsizetype(body.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

}  // namespace

std::optional<HistoryStamp> historyStamp(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return HistoryStamp{int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
                        uint64_t(st.st_ino)};
}

std::string encodeSummaries(const HistoryStamp& stamp, const std::vector<SummaryEntry>& entries) {
    std::string body = "[";
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i) body += ',';
        appendEntry(body, entries[i]);
    }
    body += ']';
    return std::string(kMagic) + std::to_string(stamp.size) + ' ' + std::to_string(stamp.modifiedNs) + ' ' +
           std::to_string(stamp.inode) + ' ' + checksum(body) + '\n' + body;
}

std::optional<std::vector<SummaryEntry>> decodeSummaries(std::string_view text, const HistoryStamp& stamp) {
    if (int64_t(text.size()) > summariesLimit || !text.starts_with(kMagic)) return std::nullopt;
    const size_t lineEnd = text.find('\n');
    if (lineEnd == std::string_view::npos) return std::nullopt;
    const std::string_view body = text.substr(lineEnd + 1);
    const std::string expected = std::to_string(stamp.size) + ' ' + std::to_string(stamp.modifiedNs) + ' ' +
                                 std::to_string(stamp.inode) + ' ' + checksum(body);
    if (text.substr(kMagic.size(), lineEnd - kMagic.size()) != expected) return std::nullopt;
    try {
        std::vector<SummaryEntry> entries;
        jsonscan::forEachElement(body,
                                 [&](std::string_view entry) { entries.push_back(decodeEntry(entry)); });
        return entries;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

QString summariesPath(const QString& historyPath) { return historyPath + QStringLiteral(".summaries"); }

}  // namespace halvetrop
