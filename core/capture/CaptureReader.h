#pragma once
// Reading when and with which camera a card file was shot. Every reader is bounded whatever the
// file holds (a card or backup may carry broken or hostile bytes), reads with pread only (a card
// pulled out while mapped would kill the process), never throws, and answers nothing on any
// failure. All of them may run on many threads at once.
#include "anatomy/Kinds.h"
#include "capture/CaptureInfo.h"
#include "platform/HeldObject.h"
#include "platform/NoAtime.h"
#include "platform/Sys.h"
#include "text/Dates.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halvetrop::CaptureReader {

// The three shared formatters, in the POSIX locale: "yyyy-MM-dd" local, "yyyy:MM:dd HH:mm:ss"
// local and the same in UTC. Immutable; safe from any thread.
const DateFormatter& dayFormatter();
const DateFormatter& wallFormatter();
const DateFormatter& wallFormatterUTC();

// Seconds east of UTC of an offset text such as "+09:00" (trimmed of spaces and tabs; exactly
// six characters; sign, two hour characters, one unexamined separator, two minute characters).
std::optional<int32_t> zone(std::string_view text);

// The capture information embedded in a photo (JPEG, TIFF and TIFF-based RAWs, ORF, RW2, RAF,
// HEIF/AVIF, CR3, PNG, WebP; the container is told by its first bytes). Paths are raw bytes. A file
// opened without O_NOATIME is noted in `touched` (see NoAtime.h), here and below. A file that is not
// the object expected (FileAt::expected) is not read: nothing.
std::optional<CaptureInfo> exif(const FileAt& file, AccessTimesTouched& touched, Sys& sys = defaultSys());

// The Sony sidecar beside a clip (stem + "M01.XML", "M01.xml" or "m01.xml").
std::optional<CaptureInfo> sonyClipXML(const std::string& clipPath, AccessTimesTouched& touched,
                                        Sys& sys = defaultSys());

// The creation time of a QuickTime/MP4 movie header.
std::optional<CaptureInfo> quickTime(const std::string& path, AccessTimesTouched& touched, Sys& sys = defaultSys());

// Asks the readers fitting the kind (photo: EXIF; video: clip XML, then QuickTime) and otherwise
// dates the file by its modification time. Never fails.
CaptureInfo read(const std::string& path, MediaKind kind, TimeNs modified, AccessTimesTouched& touched,
                 Sys& sys = defaultSys());

// The same from the file's bytes, already read whole (a small file read for its fingerprint): only
// a clip's sidecar is read besides.
CaptureInfo read(const std::string& path, std::string_view bytes, MediaKind kind, TimeNs modified,
                 AccessTimesTouched& touched, Sys& sys = defaultSys());

// The value of attribute `name` in the first start tag of `element` ("<" element " "), double
// quotes only, no entity decoding.
std::optional<std::string> attribute(std::string_view xml, std::string_view element, std::string_view name);

// Big-endian integers at `offset` of `bytes`; the caller makes sure the bytes exist.
uint32_t be32(std::string_view bytes, size_t offset);
uint64_t be64(std::string_view bytes, size_t offset);

}  // namespace halvetrop::CaptureReader
