// Names from a backup are arbitrary bytes: the key must be computed without fault, agree between
// both entry points, and the index must keep the bytes as listed and show valid UTF-8. The same
// bytes are also read as a stored validator and root number.
#include "match/DestIndex.h"
#include "match/NameKey.h"
#include "text/Utf8.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvetrop;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const NameKey::RawKey raw = NameKey::hashRaw(bytes);
    bool high = false;
    for (unsigned char b : bytes) high = high || b >= 0x80;
    if (raw.nonASCII != high) __builtin_trap();
    if (raw.hash != NameKey::hash(bytes)) __builtin_trap();
    const std::string normalized = NameKey::normalized(bytes);
    if (!isValidUtf8(normalized)) __builtin_trap();
    if (NameKey::hash(normalized) != raw.hash) __builtin_trap();  // normalizing twice changes nothing

    if (size <= DestIndex::maxNameBytes) {
        DestIndex ix;
        const uint32_t root = ix.appendDir("root", std::nullopt, RootID{0}, 0, 0);
        const uint32_t dir = ix.appendDir(bytes, root, RootID{0}, 0, 0);
        const uint32_t row = ix.appendFile(bytes, dir, 1, 0, 0, 0, 0, EntryFlags{}, 0);
        ix.buildMaps();
        if (ix.rawName(row) != bytes || ix.nameKey()[row] != raw.hash) __builtin_trap();
        if (!isValidUtf8(ix.name(row)) || !isValidUtf8(ix.relativePath(row))) __builtin_trap();
        if (ix.rowsOfNameKey(raw.hash, 1).size() != 1) __builtin_trap();
    }

    const auto json = nlohmann::json::parse(bytes, nullptr, false);
    if (!json.is_discarded()) {
        try {
            (void)json.get<Validator>();
        } catch (const std::exception&) {
        }
        try {
            (void)json.get<RootID>();
        } catch (const std::exception&) {
        }
    }
    return 0;
}
