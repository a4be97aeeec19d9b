#include "report/JsonReader.h"

#include <algorithm>
#include <limits>

#include <simdjson.h>

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

}  // namespace

// Reads every value of the document in its order. Containers a frame reads are read member by
// member, as deep as the record formats go; a value nobody reads is still read whole, so that a
// document that is not JSON never decodes, but without recursion: it may nest as deep as it likes.
class Reader::Walk {
public:
    Walk(Reader& reader, std::string_view json, size_t roomAfter) : reader_(reader) {
        if (roomAfter >= simdjson::SIMDJSON_PADDING) {
            text_ = simdjson::padded_string_view(json.data(), json.size(), json.size() + roomAfter);
        } else {
            copy_ = simdjson::padded_string(json);
            text_ = copy_;
        }
    }

    void run() {
        // A document may nest as deep as it likes (a level per byte at most): the parser counts
        // levels without a limit, and keeps a slot per level only where it checks itself (debug
        // builds), where it is told of that many, up to a million.
        const size_t depth = std::clamp<size_t>(text_.size() + 2, simdjson::DEFAULT_MAX_DEPTH, size_t(1) << 20);
        check(parser_.allocate(text_.size(), depth));
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
        if (doc.current_location().get(after) == simdjson::SUCCESS) fail("there is more after the document", after);
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
                if (!reader_.open(value)) return skip(v);
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
                if (!null) fail("not a literal", nullptr);
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
        if (error != simdjson::SUCCESS) fail(simdjson::error_message(error), nullptr);
    }

    [[noreturn]] void fail(std::string_view what, const char* at) {
        std::optional<size_t> position;
        if (at && at >= text_.data() && at <= text_.data() + text_.size()) position = size_t(at - text_.data());
        reader_.parseError(what, position);
    }

    Reader& reader_;
    // The parser reads a little past the end of the text: one without room there is copied.
    simdjson::padded_string copy_;
    simdjson::padded_string_view text_;
    od::parser parser_;
};

Reader::Reader(std::unique_ptr<Frame> top) {
    stack_.push_back(Child(std::make_unique<DocumentFrame>(std::move(top))));
}

void Reader::read(std::string_view json, std::unique_ptr<Frame> top, size_t roomAfter) {
    static_assert(storedTextRoom >= simdjson::SIMDJSON_PADDING);
    Reader reader(std::move(top));
    Walk(reader, json, roomAfter).run();
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

void Reader::close() {
    stack_.back()->end(*this);
    stack_.pop_back();
}

}  // namespace halvetrop::json
