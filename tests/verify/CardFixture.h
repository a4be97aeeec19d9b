#pragma once
// Camera cards and backups for the verifier's tests, written as real files: DCIM photos (RAW +
// JPEG pairs carrying EXIF), PRIVATE/M4ROOT clips with their clip XML, a thumbnail, junk. Photo
// and clip bodies are seeded pseudo-random bytes, so that sampled windows have variety and any
// changed byte is a real difference.
#include <cstdint>
#include <string>
#include <vector>

#include "verify/Verifier.h"

namespace halvetrop::test {

// One whole check of `card` against `backups`, with a verifier of the default width.
VerifyReport check(const std::string& card, std::vector<std::string> backups,
                   CheckLevel level = CheckLevel::verified, int64_t requiredCopies = 2);

// The report's file at this card-relative path; throws when there is none.
const FileResult& fileAt(const VerifyReport& report, const std::string& relativePath);

struct CardOptions {
    int pairs = 3;                  // DCIM/100MSDCF/DSC0000n.ARW + .JPG
    int clips = 1;                  // PRIVATE/M4ROOT/CLIP/C000n.MP4 + C000nM01.XML
    int64_t photoBytes = 300000;    // each ARW; JPEGs are a third of it
    int64_t clipBytes = 1 << 20;
    bool junk = true;               // ._DSC00001.ARW and .DS_Store at the top
    uint32_t seed = 1;
};

struct CardFile {
    std::string rel;   // below the card root, no leading "/"
    int64_t size = 0;
};

// Writes the card below root (created if needed); returns every file written but junk, in no
// particular order. Modification times are fixed (2024-05-03 12:00 UTC plus the file's number).
std::vector<CardFile> makeCard(const std::string& root, const CardOptions& options = CardOptions());

// Deterministic bytes with every byte value well represented.
std::string noise(int64_t size, uint32_t seed);

// A copy of a whole tree with times kept (cp -a), but a lost+found at its top. Fails the current
// test when cp fails.
void copyTree(const std::string& from, const std::string& to);

// Writes one file, creating folders, and sets its modification time (ns since 1970).
void writeFile(const std::string& path, const std::string& bytes, int64_t mtimeNs);
void setMtime(const std::string& path, int64_t mtimeNs);
int64_t mtimeOf(const std::string& path);

// Flips every bit of the byte at offset, keeping the file's modification time.
void flipByte(const std::string& path, int64_t offset);

}  // namespace halvetrop::test
