#include "report/JsonReader.h"

#include <limits>

#include <nlohmann/json.hpp>

namespace halvetrop::json {

void RecordFrame::key(Reader&, std::string& name) {
    current_ = -1;
    for (int i = 0; i < count_; ++i) {
        if (keys_[i] == name) {
            current_ = i;
            break;
        }
    }
}

std::unique_ptr<Frame> RecordFrame::value(Reader& reader, Value& value) {
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

std::unique_ptr<Frame> ListFrame::value(Reader& reader, Value& value) {
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
    void key(Reader&, std::string&) override {}
    std::unique_ptr<Frame> value(Reader& reader, Value& value) override {
        reader.expectObject(value);
        return std::move(top_);
    }
    void end(Reader&) override {}
    void appendPath(std::string&) const override {}

private:
    std::unique_ptr<Frame> top_;
};

}  // namespace

Reader::Reader(std::unique_ptr<Frame> top) {
    stack_.push_back(std::make_unique<DocumentFrame>(std::move(top)));
}

void Reader::read(std::string_view json, std::unique_ptr<Frame> top) {
    Reader reader(std::move(top));
    // Strict: exactly one document, nothing after it but white space; no comments.
    bool ok = nlohmann::json::sax_parse(json.begin(), json.end(), &reader,
                                        nlohmann::json::input_format_t::json, true, false);
    if (!ok) reader.fail("not a JSON document");
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

void Reader::parseError(std::size_t position, const std::string& what) const {
    throw DecodingError(path(stack_.size()),
                        "not valid JSON at byte " + std::to_string(position) + " (" + what + ")");
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

std::string Reader::text(Value& value) const {
    if (value.type != Value::Type::text) fail("expected a text");
    return std::move(*value.text);
}

std::optional<std::string> Reader::optionalText(Value& value) const {
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

bool Reader::scalar(Value& value) {
    if (skipDepth_ > 0) return true;
    stack_.back()->value(*this, value);
    return true;
}

bool Reader::open(Value& value) {
    if (skipDepth_ > 0) {
        ++skipDepth_;
        return true;
    }
    auto child = stack_.back()->value(*this, value);
    if (child) {
        stack_.push_back(std::move(child));
    } else {
        skipDepth_ = 1;
    }
    return true;
}

bool Reader::close() {
    if (skipDepth_ > 0) {
        --skipDepth_;
        return true;
    }
    if (stack_.size() < 2) fail("unbalanced brackets");
    stack_.back()->end(*this);
    stack_.pop_back();
    return true;
}

bool Reader::null() {
    Value v;
    v.type = Value::Type::null;
    return scalar(v);
}

bool Reader::boolean(bool flag) {
    Value v;
    v.type = Value::Type::boolean;
    v.flag = flag;
    return scalar(v);
}

bool Reader::number_integer(int64_t n) {
    Value v;
    v.type = Value::Type::integer;
    v.integer = n;
    return scalar(v);
}

bool Reader::number_unsigned(uint64_t n) {
    Value v;
    v.type = Value::Type::unsignedInteger;
    v.unsignedInteger = n;
    return scalar(v);
}

bool Reader::number_float(double n, const std::string&) {
    Value v;
    v.type = Value::Type::floating;
    v.floating = n;
    return scalar(v);
}

bool Reader::string(std::string& s) {
    Value v;
    v.type = Value::Type::text;
    v.text = &s;
    return scalar(v);
}

bool Reader::binary(binary_t&) { return true; }  // never produced by the JSON parser

bool Reader::start_object(std::size_t) {
    Value v;
    v.type = Value::Type::object;
    return open(v);
}

bool Reader::key(std::string& name) {
    if (skipDepth_ > 0) return true;
    stack_.back()->key(*this, name);
    return true;
}

bool Reader::end_object() { return close(); }

bool Reader::start_array(std::size_t) {
    Value v;
    v.type = Value::Type::array;
    return open(v);
}

bool Reader::end_array() { return close(); }

}  // namespace halvetrop::json
