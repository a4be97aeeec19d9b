// Card file names are arbitrary bytes: the owner stem, the file manager's order and the extension
// numbering must take any of them without fault, and the order must stay a strict weak order
// whose only ties are equal bytes (so ids never depend on the walk's timing). The stored form's
// escape of a name must be valid text that gives back the very bytes.
#include "text/Collation.h"
#include "text/Utf8.h"
#include "verify/ExtTable.h"
#include "verify/Verifier.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvetrop;
    static const Collation collation;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const size_t cut = size / 2;
    const std::string a(bytes.substr(0, cut)), b(bytes.substr(cut));

    (void)ownerStemKey(a);
    (void)ownerStemKey(b);

    const int ab = collation.compare(a, b);
    const int ba = collation.compare(b, a);
    if ((ab < 0) != (ba > 0) || (ab == 0) != (ba == 0)) __builtin_trap();
    if ((ab == 0) != (a == b)) __builtin_trap();
    if (collation.compare(a, a) != 0) __builtin_trap();
    (void)collation.sortKey(a);

    const std::string escaped = escapeIllFormed(a);
    if (!isValidUtf8(escaped) || unescapeIllFormed(escaped) != a) __builtin_trap();
    (void)unescapeIllFormed(b);

    ExtTable ext;
    const uint16_t first = ext.id(a);
    if (first != 1 || ext.id(a) != first) __builtin_trap();
    return 0;
}
