#include "text/Collation.h"

#include "text/Utf8.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>

#include <mutex>
#include <string_view>
#include <stdexcept>
#include <vector>

namespace halvetrop {

struct Collation::Impl {
    // ICU documents compare() and getSortKey() as safe to call concurrently on one instance, but
    // a clone per thread is the conservative reading; one lock keeps a shared Collation correct
    // without relying on either.
    mutable std::mutex mutex;
    std::unique_ptr<icu::Collator> collator;
};

namespace {

std::unique_ptr<icu::Collator> makeCollator() {
    UErrorCode status = U_ZERO_ERROR;
    // The C/POSIX locale maps to en_US_POSIX, whose rules are code-point order (every capital
    // before every small letter): no file manager sorts so, so the root rules stand in for it.
    icu::Locale locale = icu::Locale::getDefault();
    if (std::string_view(locale.getName()).rfind("en_US_POSIX", 0) == 0) locale = icu::Locale::getRoot();
    std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !c) {
        status = U_ZERO_ERROR;
        c.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    if (U_FAILURE(status) || !c) throw std::runtime_error("ICU collator unavailable");
    c->setStrength(icu::Collator::SECONDARY);
    c->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    if (U_FAILURE(status)) throw std::runtime_error("ICU collator refuses numeric ordering");
    return c;
}

int byteCompare(std::string_view a, std::string_view b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

Collation::Collation() : impl_(std::make_unique<Impl>()) { impl_->collator = makeCollator(); }
Collation::~Collation() = default;
Collation::Collation(Collation&&) noexcept = default;
Collation& Collation::operator=(Collation&&) noexcept = default;

int Collation::compare(std::string_view a, std::string_view b) const {
    if (a == b) return 0;
    const std::string ra = repairUtf8(a);
    const std::string rb = repairUtf8(b);
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult r;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        r = impl_->collator->compareUTF8(icu::StringPiece(ra.data(), static_cast<int32_t>(ra.size())),
                                         icu::StringPiece(rb.data(), static_cast<int32_t>(rb.size())), status);
    }
    if (U_SUCCESS(status) && r != UCOL_EQUAL) return r == UCOL_LESS ? -1 : 1;
    return byteCompare(a, b);
}

std::string Collation::sortKey(std::string_view text) const {
    const icu::UnicodeString u = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));  // ill-formed -> U+FFFD
    std::vector<uint8_t> buf(64 + static_cast<size_t>(u.length()) * 4);
    std::lock_guard<std::mutex> lock(impl_->mutex);
    int32_t n = impl_->collator->getSortKey(u, buf.data(), static_cast<int32_t>(buf.size()));
    if (n > static_cast<int32_t>(buf.size())) {
        buf.resize(static_cast<size_t>(n));
        n = impl_->collator->getSortKey(u, buf.data(), n);
    }
    // The key ends in a zero byte that adds nothing to byte order.
    if (n > 0 && buf[static_cast<size_t>(n) - 1] == 0) --n;
    return std::string(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(n < 0 ? 0 : n));
}

}  // namespace halvetrop
