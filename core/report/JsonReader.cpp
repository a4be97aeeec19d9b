#include "report/JsonReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include <simdjson.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace halvetrop::json {

void RecordFrame::key(Reader&, std::string_view name) {
    // A record of this program lists its keys in the table's order: the next one is tried first.
    if (next_ < count_ && keys_[next_] == name) {
        current_ = next_++;
        return;
    }
    current_ = -1;
    for (int i = 0; i < count_; ++i) {
        if (keys_[i] == name) {
            current_ = i;
            next_ = i + 1;
            break;
        }
    }
}

Child RecordFrame::value(Reader& reader, Value& value) {
    if (current_ < 0) return nullptr;  // unknown key: its value is skipped whole
    uint32_t bit = uint32_t{1} << current_;
    if (value.type == Value::Type::null && (optional_ & bit) != 0) {
        // A null optional reads as absent, like a missing key; the field keeps its default.
        return nullptr;
    }
    seen_ |= bit;
    return field(reader, current_, value);
}

void RecordFrame::end(Reader& reader) {
    for (int i = 0; i < count_; ++i) {
        uint32_t bit = uint32_t{1} << i;
        if ((seen_ & bit) == 0 && (optional_ & bit) == 0) {
            reader.failInClosing(keys_[i], "required key is missing");
        }
    }
    finish(reader);
}

void RecordFrame::appendPath(std::string& path) const {
    if (current_ < 0) return;
    if (!path.empty()) path += '.';
    path += keys_[current_];
}

Child ListFrame::value(Reader& reader, Value& value) {
    index_ = count_++;
    return element(reader, index_, value);
}

void ListFrame::appendPath(std::string& path) const {
    path += '[';
    path += std::to_string(index_);
    path += ']';
}

namespace {

// Holds the top-level record frame until the document's first object opens.
class DocumentFrame final : public Frame {
public:
    explicit DocumentFrame(std::unique_ptr<Frame> top) : top_(std::move(top)) {}
    void key(Reader&, std::string_view) override {}
    Child value(Reader& reader, Value& value) override {
        reader.expectObject(value);
        return std::move(top_);
    }
    void end(Reader&) override {}
    void appendPath(std::string&) const override {}

private:
    std::unique_ptr<Frame> top_;
};

namespace od = simdjson::ondemand;

// Follows the strings and brackets of a document 64 bytes at a time; only a block with a
// backslash is followed byte by byte.
class ListFinder {
public:
    explicit ListFinder(size_t pieceBytes) : pieceBytes_(std::max<size_t>(pieceBytes, 1)) {}

    std::vector<LongList> find(std::string_view json) {
        size_t at = 0;
        for (; at + 64 <= json.size(); at += 64) block(json.data() + at, at);
        if (at < json.size()) {
            char tail[64];
            std::memset(tail, ' ', sizeof tail);
            std::memcpy(tail, json.data() + at, json.size() - at);
            block(tail, at);
        }
        return std::move(lists_);
    }

private:
    struct Marks {
        uint64_t quote = 0, backslash = 0, open = 0, close = 0, comma = 0;
    };

    static Marks marks(const char* p) {
        Marks m;
#if defined(__SSE2__)
        const auto mask = [](__m128i bytes, char c) {
            return uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)))));
        };
        for (int k = 0; k < 4; ++k) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            // "[" and "]" are "{" and "}" without the 0x20 bit.
            const __m128i folded = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
            m.quote |= mask(bytes, '"') << (16 * k);
            m.backslash |= mask(bytes, '\\') << (16 * k);
            m.open |= mask(folded, '{') << (16 * k);
            m.close |= mask(folded, '}') << (16 * k);
            m.comma |= mask(bytes, ',') << (16 * k);
        }
#else
        for (int i = 0; i < 64; ++i) {
            const uint64_t bit = uint64_t{1} << i;
            switch (p[i]) {
                case '"': m.quote |= bit; break;
                case '\\': m.backslash |= bit; break;
                case '[':
                case '{': m.open |= bit; break;
                case ']':
                case '}': m.close |= bit; break;
                case ',': m.comma |= bit; break;
                default: break;
            }
        }
#endif
        return m;
    }

    // Bit i: an odd number of the bits 0..i are set.
    static uint64_t prefixXor(uint64_t bits) {
        for (int shift = 1; shift < 64; shift *= 2) bits ^= bits << shift;
        return bits;
    }

    void block(const char* p, size_t base) {
        const Marks m = marks(p);
        if (m.backslash != 0 || escaped_) return byteByByte(p, base);
        // Without escapes a string is what lies between a quote and the next.
        const uint64_t inside = prefixXor(m.quote) ^ (inString_ ? ~uint64_t{0} : 0);
        inString_ = (inside >> 63) != 0;
        uint64_t events = m.open | m.close;
        // Commas matter only in a list of the top-level record.
        if (inList_ || m.open != 0) events |= m.comma;
        events &= ~inside;
        while (events != 0) {
            const int i = __builtin_ctzll(events);
            event(p[i], base + size_t(i));
            events &= events - 1;
        }
    }

    void byteByByte(const char* p, size_t base) {
        for (int i = 0; i < 64; ++i) {
            const char c = p[i];
            if (inString_) {
                if (escaped_) {
                    escaped_ = false;
                } else if (c == '\\') {
                    escaped_ = true;
                } else if (c == '"') {
                    inString_ = false;
                }
            } else if (c == '"') {
                inString_ = true;
            } else if (c == '[' || c == '{' || c == ']' || c == '}' || c == ',') {
                event(c, base + size_t(i));
            }
        }
    }

    void event(char c, size_t at) {
        switch (c) {
            case '[':
            case '{':
                if (depth_ == 1 && c == '[') {
                    inList_ = true;
                    open_ = at;
                    goal_ = at + 1 + pieceBytes_;
                    cuts_.clear();
                    commas_ = 0;
                }
                ++depth_;
                return;
            case ']':
            case '}':
                --depth_;
                if (depth_ == 1 && inList_) {
                    if (c == ']' && !cuts_.empty()) {
                        lists_.push_back({open_, at, std::move(cuts_), commas_ + 1});
                    }
                    cuts_.clear();
                    inList_ = false;
                }
                return;
            default:
                if (!inList_ || depth_ != 2) return;
                ++commas_;
                if (at >= goal_) {
                    cuts_.push_back(at);
                    goal_ = at + 1 + pieceBytes_;
                }
        }
    }

    size_t pieceBytes_;
    bool inString_ = false;
    bool escaped_ = false;  // the byte before was a backslash inside a string
    int64_t depth_ = 0;
    bool inList_ = false;  // inside a list that is a value of the top-level record
    size_t open_ = 0;
    size_t goal_ = 0;  // the first offset at which the current piece may end
    std::vector<size_t> cuts_;
    size_t commas_ = 0;  // between the elements of the current list
    std::vector<LongList> lists_;
};

}  // namespace

std::vector<LongList> findLongLists(std::string_view json, size_t pieceBytes) {
    return ListFinder(pieceBytes).find(json);
}

// Reads every value of the document in its order. Containers a frame reads are read member by
// member, as deep as the record formats go; a value nobody reads is still read whole, so that a
// document that is not JSON never decodes, but without recursion: it may nest as deep as it likes.
class Reader::Walk {
public:
    Walk(Reader& reader, std::string_view json, size_t roomAfter, size_t pieceBytes)
        : reader_(reader), json_(json) {
        if (json.size() > pieceBytes) lists_ = findLongLists(json, pieceBytes);
        if (!lists_.empty()) {
            outline();
        } else if (roomAfter >= simdjson::SIMDJSON_PADDING) {
            text_ = simdjson::padded_string_view(json.data(), json.size(), json.size() + roomAfter);
        } else {
            copy_ = simdjson::padded_string(json);
            text_ = copy_;
        }
    }

    void run() {
        check(parser_.allocate(text_.size(), depthFor(text_.size())));
        od::document doc;
        check(parser_.iterate(text_).get(doc));
        od::json_type type{};
        check(doc.type().get(type));
        Value value;
        // The document frame refuses anything but an object, with the reason.
        value.type = type == od::json_type::object  ? Value::Type::object
                     : type == od::json_type::array ? Value::Type::array
                                                    : Value::Type::null;
        const bool read = reader_.open(value);
        od::object top;
        check(doc.get_object().get(top));
        if (read) members(top);
        // Exactly one document: nothing but white space after it.
        const char* after = nullptr;
        if (doc.current_location().get(after) == simdjson::SUCCESS) {
            fail("there is more after the document", textPosition(after));
        }
        // Every long list was read where the outline holds its place, as a value of the record.
        if (nextList_ != lists_.size()) fail("brackets do not match", lists_[nextList_].open);
    }

private:
    // A document may nest as deep as it likes (a level per byte at most): the parser counts
    // levels without a limit, and keeps a slot per level only where it checks itself (debug
    // builds), where it is told of that many, up to a million.
    static size_t depthFor(size_t bytes) {
        return std::clamp<size_t>(bytes + 2, simdjson::DEFAULT_MAX_DEPTH, size_t(1) << 20);
    }

    // The text the parser reads whole: the document with each long list's elements left out, its
    // "[]" standing where the list stands.
    void outline() {
        size_t left = 0;
        size_t longestPiece = 0;
        for (const LongList& list : lists_) {
            left += list.close - list.open - 1;
            size_t begin = list.open + 1;
            for (size_t k = 0; k <= list.cuts.size(); ++k) {
                const size_t end = k < list.cuts.size() ? list.cuts[k] : list.close;
                longestPiece = std::max(longestPiece, end - begin);
                begin = end + 1;
            }
        }
        outline_.reserve(json_.size() - left + simdjson::SIMDJSON_PADDING);
        size_t from = 0;
        for (const LongList& list : lists_) {
            outline_.append(json_, from, list.open + 1 - from);
            listAt_.push_back(outline_.size() - 1);
            from = list.close;
        }
        outline_.append(json_, from);
        text_ = simdjson::padded_string_view(outline_.data(), outline_.size(), outline_.capacity());
        piece_.reserve(longestPiece + 2 + simdjson::SIMDJSON_PADDING);
        check(pieceParser_.allocate(longestPiece + 2, depthFor(longestPiece + 2)));
    }

    bool atLongList(od::value& v) {
        if (nextList_ == lists_.size()) return false;
        const char* at = nullptr;
        return v.current_location().get(at) == simdjson::SUCCESS &&
               at == outline_.data() + listAt_[nextList_];
    }

    // A long list, whose "[]" the outline holds: its elements are read piece by piece, as if they
    // stood there.
    void longList(od::value& v, bool read) {
        const LongList& list = lists_[nextList_++];
        od::array placeholder;
        check(v.get_array().get(placeholder));
        for (auto element : placeholder) check(element.error());
        if (read) reader_.expect(list.elements, list.close - list.open - 1);
        size_t begin = list.open + 1;
        for (size_t k = 0; k <= list.cuts.size(); ++k) {
            const size_t end = k < list.cuts.size() ? list.cuts[k] : list.close;
            piece(begin, end, read);
            begin = end + 1;
        }
        if (read) reader_.close();
    }

    // The elements between two commas of a long list (or its brackets), read as a list of their own.
    void piece(size_t begin, size_t end, bool read) {
        piece_.assign(1, '[');
        piece_.append(json_, begin, end - begin);
        piece_ += ']';
        od::document doc;
        const simdjson::padded_string_view text(piece_.data(), piece_.size(), piece_.capacity());
        check(pieceParser_.iterate(text).get(doc));
        od::array elements;
        check(doc.get_array().get(elements));
        size_t count = 0;
        for (auto element : elements) {
            od::value v;
            check(std::move(element).get(v));
            ++count;
            if (read) {
                value(v);
            } else {
                ignore(v);
            }
        }
        // "[a, ,b]" or "[a,]" is not a list, though each piece of it would read as one.
        if (count == 0) fail("a list element is missing", begin);
        const char* after = nullptr;
        if (doc.current_location().get(after) == simdjson::SUCCESS) {
            fail("brackets do not match", begin + size_t(after - piece_.data()) - 1);
        }
    }

    // Where a place in the parsed text (the document or its outline) stands in the document.
    std::optional<size_t> textPosition(const char* at) const {
        if (!at || at < text_.data() || at > text_.data() + text_.size()) return std::nullopt;
        size_t position = size_t(at - text_.data());
        if (lists_.empty()) return position;
        size_t shift = 0;
        for (size_t i = 0; i < lists_.size() && listAt_[i] < position; ++i) {
            shift += lists_[i].close - lists_[i].open - 1;
        }
        return position + shift;
    }

    // Reads a value nobody reads.
    void ignore(od::value& v) {
        od::json_type type{};
        check(v.type().get(type));
        if (type == od::json_type::object || type == od::json_type::array) return skip(v);
        Value value;
        scalar(v, type, value);
    }

private:
    void members(od::object& object) {
        for (auto member : object) {
            od::field field;
            check(std::move(member).get(field));
            reader_.key(key(field));
            value(field.value());
        }
        reader_.close();
    }

    void elements(od::array& array) {
        for (auto element : array) {
            od::value v;
            check(std::move(element).get(v));
            value(v);
        }
        reader_.close();
    }

    void value(od::value& v) {
        od::json_type type{};
        check(v.type().get(type));
        Value value;
        switch (type) {
            case od::json_type::object: {
                value.type = Value::Type::object;
                if (!reader_.open(value)) return skip(v);
                od::object object;
                check(v.get_object().get(object));
                members(object);
                return;
            }
            case od::json_type::array: {
                value.type = Value::Type::array;
                const bool read = reader_.open(value);
                if (!lists_.empty() && atLongList(v)) return longList(v, read);
                if (!read) return skip(v);
                od::array array;
                check(v.get_array().get(array));
                elements(array);
                return;
            }
            default:
                scalar(v, type, value);
                reader_.scalar(value);
        }
    }

    void scalar(od::value& v, od::json_type type, Value& value) {
        switch (type) {
            case od::json_type::string:
                value.type = Value::Type::text;
                value.text = text(v);
                return;
            case od::json_type::number: number(v, value); return;
            case od::json_type::boolean:
                value.type = Value::Type::boolean;
                check(v.get_bool().get(value.flag));
                return;
            case od::json_type::null: {
                bool null = false;
                check(v.is_null().get(null));
                if (!null) fail("not a literal", std::nullopt);
                value.type = Value::Type::null;
                return;
            }
            default: return;
        }
    }

    // Reads a container nobody reads, level by level: each open level keeps the iterator of its
    // next member and moves on only once that member is read whole.
    void skip(od::value& v) {
        struct Level {
            bool object = false;
            bool moving = false;
            od::object_iterator field, fieldsEnd;
            od::array_iterator element, elementsEnd;
        };
        std::vector<Level> levels;
        const auto enter = [&](od::value& container, od::json_type type) {
            Level level;
            if (type == od::json_type::object) {
                od::object object;
                check(container.get_object().get(object));
                level.object = true;
                check(object.begin().get(level.field));
                check(object.end().get(level.fieldsEnd));
            } else {
                od::array array;
                check(container.get_array().get(array));
                check(array.begin().get(level.element));
                check(array.end().get(level.elementsEnd));
            }
            levels.push_back(level);
        };
        od::json_type type{};
        check(v.type().get(type));
        enter(v, type);
        while (!levels.empty()) {
            Level& level = levels.back();
            if (level.moving) {
                if (level.object) {
                    ++level.field;
                } else {
                    ++level.element;
                }
                level.moving = false;
            }
            if (level.object ? level.field == level.fieldsEnd : level.element == level.elementsEnd) {
                levels.pop_back();
                continue;
            }
            level.moving = true;
            od::value member;
            if (level.object) {
                od::field field;
                check((*level.field).get(field));
                (void)key(field);
                member = field.value();
            } else {
                check((*level.element).get(member));
            }
            check(member.type().get(type));
            if (type == od::json_type::object || type == od::json_type::array) {
                enter(member, type);
            } else {
                Value value;
                scalar(member, type, value);
            }
        }
    }

    // A text without escapes is its bytes between the quotes, read where they stand; the parser's
    // first pass has checked them (valid UTF-8, no control character). Others are unescaped.
    std::string_view text(od::value& v) {
        std::string_view raw = v.raw_json_token();
        while (!raw.empty() && isSpace(raw.back())) raw.remove_suffix(1);
        if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
            const std::string_view inner = raw.substr(1, raw.size() - 2);
            if (inner.find('\\') == std::string_view::npos) return inner;
        }
        std::string_view unescaped;
        check(v.get_string().get(unescaped));
        return unescaped;
    }

    std::string_view key(od::field& field) {
        const char* start = field.key().raw();
        const char* end = start;
        while (*end != '"' && *end != '\\') ++end;
        if (*end == '"') return std::string_view(start, size_t(end - start));
        std::string_view unescaped;
        check(field.unescaped_key().get(unescaped));
        return unescaped;
    }

    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

    // Integers that fit 64 bits are integers; any other number, however written, is a double, as
    // it would be for any JSON reader: a strict field then refuses it as not an integer.
    void number(od::value& v, Value& value) {
        od::number n;
        if (v.get_number().get(n) != simdjson::SUCCESS) {
            // Too many digits for 64 bits: a double, when it is a number at all.
            value.type = Value::Type::floating;
            check(v.get_double().get(value.floating));
            return;
        }
        switch (n.get_number_type()) {
            case od::number_type::signed_integer:
                value.type = Value::Type::integer;
                value.integer = n.get_int64();
                return;
            case od::number_type::unsigned_integer:
                value.type = Value::Type::unsignedInteger;
                value.unsignedInteger = n.get_uint64();
                return;
            case od::number_type::floating_point_number:
                value.type = Value::Type::floating;
                value.floating = n.get_double();
                return;
        }
    }

    void check(simdjson::error_code error) {
        if (error != simdjson::SUCCESS) fail(simdjson::error_message(error), std::nullopt);
    }

    [[noreturn]] void fail(std::string_view what, std::optional<size_t> position) {
        reader_.parseError(what, position);
    }

    Reader& reader_;
    std::string_view json_;
    // The parser reads a little past the end of the text: one without room there is copied.
    simdjson::padded_string copy_;
    simdjson::padded_string_view text_;
    od::parser parser_;

    std::vector<LongList> lists_;
    size_t nextList_ = 0;        // the next long list to meet
    std::vector<size_t> listAt_;  // where each long list's "[" stands in the outline
    std::string outline_;
    std::string piece_;
    od::parser pieceParser_;
};

Reader::Reader(std::unique_ptr<Frame> top) {
    stack_.push_back(Child(std::make_unique<DocumentFrame>(std::move(top))));
}

void Reader::read(std::string_view json, std::unique_ptr<Frame> top, size_t roomAfter, size_t pieceBytes) {
    static_assert(storedTextRoom >= simdjson::SIMDJSON_PADDING);
    Reader reader(std::move(top));
    Walk(reader, json, roomAfter, pieceBytes).run();
}

std::string Reader::path(size_t frames) const {
    std::string out;
    for (size_t i = 0; i < frames && i < stack_.size(); ++i) stack_[i]->appendPath(out);
    return out;
}

void Reader::fail(const std::string& problem) const { throw DecodingError(path(stack_.size()), problem); }

void Reader::failInClosing(std::string_view key, const std::string& problem) const {
    std::string where = path(stack_.size() - 1);
    if (!key.empty()) {
        if (!where.empty()) where += '.';
        where += key;
    }
    throw DecodingError(where, problem);
}

void Reader::parseError(std::string_view what, std::optional<size_t> position) const {
    std::string problem = "not valid JSON";
    if (position) problem += " at byte " + std::to_string(*position);
    problem += " (" + std::string(what) + ")";
    throw DecodingError(path(stack_.size()), problem);
}

int64_t Reader::integer(const Value& value) const {
    switch (value.type) {
        case Value::Type::integer: return value.integer;
        case Value::Type::unsignedInteger:
            if (value.unsignedInteger <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
                return static_cast<int64_t>(value.unsignedInteger);
            }
            fail("integer out of range");
        case Value::Type::floating: fail("expected an integer, found a number with a fraction or exponent");
        default: fail("expected an integer");
    }
}

bool Reader::boolean(const Value& value) const {
    if (value.type != Value::Type::boolean) fail("expected true or false");
    return value.flag;
}

double Reader::number(const Value& value) const {
    switch (value.type) {
        case Value::Type::integer: return static_cast<double>(value.integer);
        case Value::Type::unsignedInteger: return static_cast<double>(value.unsignedInteger);
        case Value::Type::floating: return value.floating;
        default: fail("expected a number");
    }
}

std::string Reader::text(const Value& value) const {
    if (value.type != Value::Type::text) fail("expected a text");
    return std::string(value.text);
}

std::optional<std::string> Reader::optionalText(const Value& value) const {
    if (value.type == Value::Type::null) return std::nullopt;
    return text(value);
}

TimeNs Reader::instant(const Value& value) const {
    auto parsed = fromStoredSeconds(number(value));
    if (!parsed) fail("time out of range");
    return *parsed;
}

EvidenceLevel Reader::evidence(const Value& value) const {
    int64_t raw = integer(value);
    auto level = evidenceLevelFromRaw(raw);
    if (!level) fail(std::to_string(raw) + " is not an evidence level (0 to 3)");
    return *level;
}

void Reader::expectObject(const Value& value) const {
    if (value.type != Value::Type::object) fail("expected an object");
}

void Reader::expectArray(const Value& value) const {
    if (value.type != Value::Type::array) fail("expected a list");
}

void Reader::key(std::string_view name) { stack_.back()->key(*this, name); }

void Reader::scalar(Value& value) { stack_.back()->value(*this, value); }

bool Reader::open(Value& value) {
    Child child = stack_.back()->value(*this, value);
    if (!child) return false;
    stack_.push_back(std::move(child));
    return true;
}

void Reader::expect(size_t elements, size_t bytes) { stack_.back()->expect(elements, bytes); }

void Reader::close() {
    stack_.back()->end(*this);
    stack_.pop_back();
}

}  // namespace halvetrop::json
