#include "report/CSVExport.h"

#include <array>

#include "text/Utf8.h"

namespace halvetrop {

namespace {

constexpr std::string_view header =
    "Status,File,Folder,Shoot day,Camera,Type,Size (bytes),Copies on other drives,"
    "Backup locations,Note";

// A spreadsheet reads a cell that starts with one of these as a formula (a tab or carriage return
// before the formula character is skipped by some of them), so such a field gets an apostrophe.
bool needsGuard(std::string_view field) {
    if (field.empty()) return false;
    switch (field.front()) {
        case '=':
        case '+':
        case '-':
        case '@':
        case '\t':
        case '\r': return true;
        default: return false;
    }
}

void appendField(std::string& out, std::string_view raw) {
    std::string repaired;
    std::string_view field = raw;
    if (!isValidUtf8(raw)) {
        repaired = repairUtf8(raw);
        field = repaired;
    }
    out += '"';
    if (needsGuard(field)) out += '\'';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string backupLocations(const VerifyReport& report, const FileResult& file) {
    // A file changed while reading, or one that could not be read, has no proven copy, and its
    // count of copies says 0: a report saved before such files lost their copies lists none either.
    if (file.status == FileStatus::changed || file.status == FileStatus::unreadable) return {};
    std::string out;
    for (const CopyRef& copy : file.copies) {
        if (!out.empty()) out += " | ";
        // A copy that names no backup of this report breaks the report's invariant; show it
        // without a volume name rather than read past the list.
        if (copy.destination >= 0 &&
            static_cast<uint64_t>(copy.destination) < report.destinations.size()) {
            out += report.destinations[static_cast<size_t>(copy.destination)].name;
        } else {
            out += '?';
        }
        out += ": ";
        out += copy.relativePath;
    }
    return out;
}

void appendRow(std::string& out, const std::array<std::string, 10>& fields) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += ',';
        appendField(out, fields[i]);
    }
    out += '\n';
}

}  // namespace

std::string CSVExport::csv(const VerifyReport& report) {
    std::string out(header);
    out += '\n';
    for (const FileResult& file : report.files) {
        if (!file.inScope) continue;
        appendRow(out, {
            std::string(label(file.status)),
            file.name,
            file.folder,
            file.day,
            file.camera,
            std::string(label(file.kind)),
            std::to_string(file.size),
            std::to_string(file.safeDrives),
            backupLocations(report, file),
            file.detail.value_or(std::string()),
        });
    }
    // What the check could not read has no size, day or copies to tell; its name, its folder and
    // the system's reason are all there is, and leaving it out would make the card look whole.
    for (const UnreadableEntry& entry : report.cardUnreadableEntries) {
        const size_t slash = entry.path.rfind('/');
        appendRow(out, {
            std::string(label(FileStatus::unreadable)),
            slash == std::string::npos ? entry.path : entry.path.substr(slash + 1),
            slash == std::string::npos ? std::string() : entry.path.substr(0, slash),
            {}, {}, {}, {}, {}, {},
            entry.reason,
        });
    }
    return out;
}

}  // namespace halvetrop
