#pragma once
// A strict reader of stored records on top of nlohmann's SAX parser: the document is never held
// as a tree, each record is filled in place by a frame that knows its keys. Internal to the
// report library.
//
// Strictness: a bool is not an integer, a number with a fraction or exponent is not an integer,
// an integer is a number, a text is never a number. Every failure throws DecodingError with the
// key path of the value ("files[3].copies[0].destination").
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/StoredForm.h"

namespace halvetrop::json {

class Reader;

// One value event of the parser. For object and array the frame that handles the value returns
// the child frame that reads its contents.
struct Value {
    enum class Type { null, boolean, integer, unsignedInteger, floating, text, object, array };
    Type type = Type::null;
    bool flag = false;
    int64_t integer = 0;
    uint64_t unsignedInteger = 0;
    double floating = 0;
    std::string* text = nullptr;
};

class Frame {
public:
    virtual ~Frame() = default;
    // Object frames: the key of the next value. Array frames never get one.
    virtual void key(Reader& reader, std::string& name) = 0;
    // The next value of this container. For a container value, the frame that reads it, or
    // nullptr to skip it whole; for a scalar the result is ignored.
    virtual std::unique_ptr<Frame> value(Reader& reader, Value& value) = 0;
    // The container closed: check what must be there.
    virtual void end(Reader& reader) = 0;
    // Appends this frame's part of the key path for the value being read.
    virtual void appendPath(std::string& path) const = 0;
};

// Frame of a keyed record: looks keys up in a fixed table, skips unknown ones, remembers which
// were seen and fails at the end when a required one is missing.
class RecordFrame : public Frame {
public:
    // `keys` outlives the frame (a static table); `optionalKeys` has bit i set when keys[i] may
    // be absent.
    RecordFrame(const std::string_view* keys, int count, uint32_t optionalKeys)
        : keys_(keys), count_(count), optional_(optionalKeys) {}

    void key(Reader& reader, std::string& name) override;
    std::unique_ptr<Frame> value(Reader& reader, Value& value) override;
    void end(Reader& reader) override;
    void appendPath(std::string& path) const override;

protected:
    // The value of keys[field]. Return a child frame for a container (or throw).
    virtual std::unique_ptr<Frame> field(Reader& reader, int field, Value& value) = 0;
    // Called after the required keys were found present.
    virtual void finish(Reader&) {}

private:
    const std::string_view* keys_;
    int count_;
    uint32_t optional_;
    uint32_t seen_ = 0;
    int current_ = -1;
};

// Frame of a list: each element goes to `element`, with its index in the path.
class ListFrame : public Frame {
public:
    void key(Reader&, std::string&) override {}
    std::unique_ptr<Frame> value(Reader& reader, Value& value) override;
    void end(Reader&) override {}
    void appendPath(std::string& path) const override;

protected:
    virtual std::unique_ptr<Frame> element(Reader& reader, size_t index, Value& value) = 0;
    size_t count() const { return count_; }

private:
    size_t count_ = 0;
    size_t index_ = 0;  // of the element being read
};

// A list of records of one type, read into `out` (emptied first).
template <class T, class ElementFrame>
class RecordListFrame final : public ListFrame {
public:
    explicit RecordListFrame(std::vector<T>& out) : out_(out) { out_.clear(); }

protected:
    std::unique_ptr<Frame> element(Reader& reader, size_t, Value& value) override;

private:
    std::vector<T>& out_;
};

// A list of scalars; `Read` turns one value into an element.
template <class T, class Read>
class ScalarListFrame final : public ListFrame {
public:
    ScalarListFrame(std::vector<T>& out, Read read) : out_(out), read_(read) { out_.clear(); }

protected:
    std::unique_ptr<Frame> element(Reader& reader, size_t, Value& value) override {
        out_.push_back(read_(reader, value));
        return nullptr;
    }

private:
    std::vector<T>& out_;
    Read read_;
};

// The SAX handler: a stack of frames, one per open container.
class Reader {
public:
    // Reads one JSON document whose top level is the object read by `top`.
    static void read(std::string_view json, std::unique_ptr<Frame> top);

    // Failure at the value being read (its key path included).
    [[noreturn]] void fail(const std::string& problem) const;
    // Failure of the record whose container is closing, at its key `key` (may be empty).
    [[noreturn]] void failInClosing(std::string_view key, const std::string& problem) const;

    // Typed views of a scalar value; each throws DecodingError on a wrong type.
    int64_t integer(const Value& value) const;
    bool boolean(const Value& value) const;
    double number(const Value& value) const;
    std::string text(Value& value) const;
    std::optional<std::string> optionalText(Value& value) const;
    TimeNs instant(const Value& value) const;
    EvidenceLevel evidence(const Value& value) const;
    void expectObject(const Value& value) const;
    void expectArray(const Value& value) const;

    template <class E>
    E enumeration(const Value& value, std::string_view typeName) const {
        if (value.type != Value::Type::text) fail("expected a text naming a " + std::string(typeName));
        auto parsed = fromRawValue<E>(*value.text);
        if (!parsed) fail("\"" + *value.text + "\" is not a " + std::string(typeName));
        return *parsed;
    }

    // SAX interface of nlohmann::json.
    using number_integer_t = int64_t;
    using number_unsigned_t = uint64_t;
    using number_float_t = double;
    using string_t = std::string;
    using binary_t = std::vector<std::uint8_t>;
    bool null();
    bool boolean(bool value);
    bool number_integer(int64_t value);
    bool number_unsigned(uint64_t value);
    bool number_float(double value, const std::string&);
    bool string(std::string& value);
    bool binary(binary_t&);
    bool start_object(std::size_t);
    bool key(std::string& name);
    bool end_object();
    bool start_array(std::size_t);
    bool end_array();
    template <class Exception>
    bool parse_error(std::size_t position, const std::string&, const Exception& error) {
        parseError(position, error.what());
        return false;
    }

private:
    explicit Reader(std::unique_ptr<Frame> top);
    bool scalar(Value& value);
    bool open(Value& value);
    bool close();
    [[noreturn]] void parseError(std::size_t position, const std::string& what) const;
    std::string path(size_t frames) const;

    std::vector<std::unique_ptr<Frame>> stack_;
    size_t skipDepth_ = 0;  // >0 while inside a container nobody reads
};

template <class T, class ElementFrame>
std::unique_ptr<Frame> RecordListFrame<T, ElementFrame>::element(Reader& reader, size_t,
                                                                 Value& value) {
    reader.expectObject(value);
    out_.emplace_back();
    return std::make_unique<ElementFrame>(out_.back());
}

}  // namespace halvetrop::json
