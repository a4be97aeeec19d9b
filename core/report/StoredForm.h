#pragma once
// The keyed stored form of a report and of every record it embeds (the history file keeps one
// report per entry), plus the safe-to-format policy.
//
// Writing: one JSON object per record, keys equal to the field names in field order, the
// optional fields left out when absent (null is never written), enumerations as their case
// names, EvidenceLevel as its integer, instants as floating-point seconds since
// 2001-01-01 00:00:00 UTC (precise to the microsecond), every text repaired to valid UTF-8 first.
// A path whose bytes are not its display form also gets them under its own optional key
// ("rawRelativePath" of files and copies, "rawPath" of folders and volumes, "rawVolumePath",
// "rawFolder" of landings), escaped by escapeIllFormed; without that key the display form is the
// path, so reports stored before these keys existed read as they always did. Writing never fails.
//
// Reading: keys in any order, unknown keys ignored, a missing optional key or a null gives no
// value, every other key required. Types are strict: a bool is not an integer, 1.5 is not an
// integer, an integer is accepted where a floating-point number is stored. Path bytes that do not
// show as the display form beside them, or that hold a NUL, do not decode. A report whose copies,
// landings or shoots refer past its backups or files does not decode. Any failure throws
// DecodingError naming the key path; no partial record is returned.
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "report/Report.h"

namespace halvetrop {

class DecodingError : public std::runtime_error {
public:
    // `keyPath` like "files[3].copies[0].destination" (empty for the document itself).
    DecodingError(std::string keyPath, const std::string& problem);
    const std::string& keyPath() const { return keyPath_; }

private:
    std::string keyPath_;
};

// The stored text of one record.
std::string toStoredJson(const VerifyReport& report);
std::string toStoredJson(const FileResult& file);
std::string toStoredJson(const CopyRef& ref);
std::string toStoredJson(const StatusCounts& counts);
std::string toStoredJson(const LandingRef& landing);
std::string toStoredJson(const ShootGroup& group);
std::string toStoredJson(const FolderSummary& folder);
std::string toStoredJson(const ContentLine& line);
std::string toStoredJson(const VolumeInfo& volume);
std::string toStoredJson(const PhysicalDriveID& drive);
std::string toStoredJson(const VerifyScope& scope);
std::string toStoredJson(const CameraProfile& camera);
std::string toStoredJson(const CaptureInfo& capture);

// The record stored in `json` (one JSON document holding exactly that record); throws
// DecodingError. Instantiated for every type that has a toStoredJson above.
template <class T>
T fromStoredJson(std::string_view json);
template <>
VerifyReport fromStoredJson<VerifyReport>(std::string_view json);
template <>
FileResult fromStoredJson<FileResult>(std::string_view json);
template <>
CopyRef fromStoredJson<CopyRef>(std::string_view json);
template <>
StatusCounts fromStoredJson<StatusCounts>(std::string_view json);
template <>
LandingRef fromStoredJson<LandingRef>(std::string_view json);
template <>
ShootGroup fromStoredJson<ShootGroup>(std::string_view json);
template <>
FolderSummary fromStoredJson<FolderSummary>(std::string_view json);
template <>
ContentLine fromStoredJson<ContentLine>(std::string_view json);
template <>
VolumeInfo fromStoredJson<VolumeInfo>(std::string_view json);
template <>
PhysicalDriveID fromStoredJson<PhysicalDriveID>(std::string_view json);
template <>
VerifyScope fromStoredJson<VerifyScope>(std::string_view json);
template <>
CameraProfile fromStoredJson<CameraProfile>(std::string_view json);
template <>
CaptureInfo fromStoredJson<CaptureInfo>(std::string_view json);

// The room a stored text may have after its end for the reader to read it where it stands: the
// reader looks a little past the end of what it reads, so a text without this room is copied
// first.
inline constexpr size_t storedTextRoom = 64;
// The reader's parser keeps an index of about the size of the text it reads, so a list longer
// than this (the files of a large report) is read in pieces of whole elements of about this size,
// and the index, like any copy of the text, stays that small.
inline constexpr size_t storedPieceBytes = size_t{1} << 20;
// A stored report, from a text followed by `roomAfter` bytes that may be read (a buffer's spare
// capacity, never changed): with storedTextRoom of them it is read in place, without a copy.
// `pieceBytes` only changes how much is read at once, never what a text decodes to.
VerifyReport reportFromStoredJson(std::string_view json, size_t roomAfter,
                                  size_t pieceBytes = storedPieceBytes);

// Instants of the stored form. A double holds a present-day time only to about a tenth of a
// microsecond, so reading rounds to the microsecond: a microsecond-precise time survives writing
// and reading, and a time that was read writes back as the same number.
double toStoredSeconds(TimeNs instant);
// Nothing for a value that is not finite or lies beyond what 64-bit nanoseconds hold.
std::optional<TimeNs> fromStoredSeconds(double seconds);
// The instant its stored form reads back as: the whole microsecond at or before it. Instants a
// report holds are made this way, so a live report equals itself stored and read again.
TimeNs storableInstant(TimeNs instant);

}  // namespace halvetrop
