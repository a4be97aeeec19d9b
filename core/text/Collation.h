#pragma once
// The file manager's order of names and paths: case-insensitive, digit runs compared by value
// ("DCIM/9" before "DCIM/10"), accents after base letters. Names that this order calls equal
// ("a.jpg" and "A.JPG") are then ordered by their bytes, so one card always sorts the same way
// and its files always get the same ids.
#include <memory>
#include <string>
#include <string_view>

namespace halvetrop {

class Collation {
public:
    // The collator of the process's default locale (root rules for the C/POSIX locale),
    // secondary strength (case ignored), numeric ordering on.
    Collation();
    ~Collation();
    Collation(const Collation&) = delete;
    Collation& operator=(const Collation&) = delete;
    Collation(Collation&&) noexcept;
    Collation& operator=(Collation&&) noexcept;

    // Negative, zero or positive. Texts are UTF-8; ill-formed bytes take part as U+FFFD and
    // then, for the final tie-break, as the bytes they are. Zero only for equal bytes.
    int compare(std::string_view a, std::string_view b) const;
    bool less(std::string_view a, std::string_view b) const { return compare(a, b) < 0; }

    // A byte string whose plain byte order is the collation order without the byte tie-break:
    // for sorting many texts, compute each key once, compare keys, then the texts' bytes.
    std::string sortKey(std::string_view text) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace halvetrop
