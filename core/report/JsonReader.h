#pragma once
// A strict reader of stored records on top of simdjson's On-Demand parser: the document is never
// held as a tree, each record is filled in place by a frame that knows its keys. Every value is
// read, those of unknown keys too, so that a document that is not JSON never decodes. Internal to
// the report library.
//
// Strictness: a bool is not an integer, a number with a fraction or exponent is not an integer,
// an integer is a number, a text is never a number. Every failure throws DecodingError with the
// key path of the value ("files[3].copies[0].destination").
#include <cstddef>
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
    std::string_view text;  // unescaped; valid while the document is read
};

class Frame;

// What a frame hands back for a container value: the frame that reads its contents, made for it
// (owned) or one the frame keeps as a member and makes anew for each value (borrowed, so that a
// list of 100,000 records allocates no frame per record), or nothing to skip the value whole.
class Child {
public:
    Child() = default;
    Child(std::nullptr_t) {}
    template <class F>
    Child(std::unique_ptr<F> owned) : frame_(owned.get()), owned_(std::move(owned)) {}
    // `frame` outlives the value it reads.
    static Child borrowed(Frame& frame) {
        Child child;
        child.frame_ = &frame;
        return child;
    }
    Frame* get() const { return frame_; }
    Frame* operator->() const { return frame_; }
    explicit operator bool() const { return frame_ != nullptr; }

private:
    Frame* frame_ = nullptr;
    std::unique_ptr<Frame> owned_;
};

class Frame {
public:
    virtual ~Frame() = default;
    // Object frames: the key of the next value. Array frames never get one.
    virtual void key(Reader& reader, std::string_view name) = 0;
    // The next value of this container. For a container value, the frame that reads it, or
    // nullptr to skip it whole; for a scalar the result is ignored.
    virtual Child value(Reader& reader, Value& value) = 0;
    // The container closed: check what must be there.
    virtual void end(Reader& reader) = 0;
    // Appends this frame's part of the key path for the value being read.
    virtual void appendPath(std::string& path) const = 0;
    // List frames: the list holds `elements` elements in `bytes` of text, as far as a look at the
    // text tells before the list is read.
    virtual void expect(size_t /*elements*/, size_t /*bytes*/) {}
};

// Frame of a keyed record: looks keys up in a fixed table, skips unknown ones, remembers which
// were seen and fails at the end when a required one is missing.
class RecordFrame : public Frame {
public:
    // `keys` outlives the frame (a static table); `optionalKeys` has bit i set when keys[i] may
    // be absent.
    RecordFrame(const std::string_view* keys, int count, uint32_t optionalKeys)
        : keys_(keys), count_(count), optional_(optionalKeys) {}

    void key(Reader& reader, std::string_view name) override;
    Child value(Reader& reader, Value& value) override;
    void end(Reader& reader) override;
    void appendPath(std::string& path) const override;

protected:
    // The value of keys[field]. Return a child frame for a container (or throw).
    virtual Child field(Reader& reader, int field, Value& value) = 0;
    // Called after the required keys were found present.
    virtual void finish(Reader&) {}

private:
    const std::string_view* keys_;
    int count_;
    uint32_t optional_;
    uint32_t seen_ = 0;
    int current_ = -1;
    int next_ = 0;  // the key expected next: records are written in their table's order
};

// Frame of a list: each element goes to `element`, with its index in the path.
class ListFrame : public Frame {
public:
    void key(Reader&, std::string_view) override {}
    Child value(Reader& reader, Value& value) override;
    void end(Reader&) override {}
    void appendPath(std::string& path) const override;

protected:
    virtual Child element(Reader& reader, size_t index, Value& value) = 0;
    size_t count() const { return count_; }

private:
    size_t count_ = 0;
    size_t index_ = 0;  // of the element being read
};

// Room for a list's elements made at once, so that a long list is not moved again and again as it
// grows and ends with no spare room; never more than a small multiple of its text, whatever a
// text that is not JSON claims.
template <class T>
void makeRoom(std::vector<T>& out, size_t elements, size_t bytes) {
    if (elements <= 4 * bytes / sizeof(T)) out.reserve(elements);
}

// A list of records of one type, read into `out` (emptied first). One element frame is made anew
// in place for each record.
template <class T, class ElementFrame>
class RecordListFrame final : public ListFrame {
public:
    explicit RecordListFrame(std::vector<T>& out) : out_(out) { out_.clear(); }
    void expect(size_t elements, size_t bytes) override { makeRoom(out_, elements, bytes); }

protected:
    Child element(Reader& reader, size_t, Value& value) override;

private:
    std::vector<T>& out_;
    std::optional<ElementFrame> frame_;
};

// A list of scalars; `Read` turns one value into an element.
template <class T, class Read>
class ScalarListFrame final : public ListFrame {
public:
    ScalarListFrame(std::vector<T>& out, Read read) : out_(out), read_(read) { out_.clear(); }
    void expect(size_t elements, size_t bytes) override { makeRoom(out_, elements, bytes); }

protected:
    Child element(Reader& reader, size_t, Value& value) override {
        out_.push_back(read_(reader, value));
        return nullptr;
    }

private:
    std::vector<T>& out_;
    Read read_;
};

// A list that is the value of a key of the top-level record and longer than a piece: the files of
// a large report. It is read piece by piece, each a run of whole elements, so that the parser's
// index (four bytes for nearly every value and mark of the text) covers a piece, not the report.
struct LongList {
    size_t open = 0;           // offset of its "["
    size_t close = 0;          // offset of its "]"
    std::vector<size_t> cuts;  // offsets of the commas that end each piece but the last
    size_t elements = 0;       // how many it holds
    bool operator==(const LongList&) const = default;
};

// The long lists of a document, in its order, each cut at the first comma between two elements
// at least `pieceBytes` after its piece began. Found by following only strings and brackets, so
// what it finds in a text that is not JSON is never trusted: the reader still parses every piece
// and the rest of the document.
std::vector<LongList> findLongLists(std::string_view json, size_t pieceBytes);

// The document's reader: a stack of frames, one per open container.
class Reader {
public:
    // Reads one JSON document whose top level is the object read by `top`. `roomAfter` bytes
    // after the text may be read (see storedTextRoom): with enough, it is read where it stands.
    // A list longer than `pieceBytes` that is the value of a top-level key is read in pieces of
    // about that size (see storedPieceBytes).
    static void read(std::string_view json, std::unique_ptr<Frame> top, size_t roomAfter = 0,
                     size_t pieceBytes = storedPieceBytes);

    // Failure at the value being read (its key path included).
    [[noreturn]] void fail(const std::string& problem) const;
    // Failure of the record whose container is closing, at its key `key` (may be empty).
    [[noreturn]] void failInClosing(std::string_view key, const std::string& problem) const;

    // Typed views of a scalar value; each throws DecodingError on a wrong type.
    int64_t integer(const Value& value) const;
    bool boolean(const Value& value) const;
    double number(const Value& value) const;
    std::string text(const Value& value) const;
    std::optional<std::string> optionalText(const Value& value) const;
    TimeNs instant(const Value& value) const;
    EvidenceLevel evidence(const Value& value) const;
    void expectObject(const Value& value) const;
    void expectArray(const Value& value) const;

    template <class E>
    E enumeration(const Value& value, std::string_view typeName) const {
        if (value.type != Value::Type::text) fail("expected a text naming a " + std::string(typeName));
        auto parsed = fromRawValue<E>(value.text);
        if (!parsed) fail("\"" + std::string(value.text) + "\" is not a " + std::string(typeName));
        return *parsed;
    }

private:
    class Walk;
    explicit Reader(std::unique_ptr<Frame> top);
    // The events of the document, in its order. open: whether a frame reads the container (else
    // it is read without events).
    void key(std::string_view name);
    void scalar(Value& value);
    bool open(Value& value);
    void expect(size_t elements, size_t bytes);
    void close();
    [[noreturn]] void parseError(std::string_view what, std::optional<size_t> position) const;
    std::string path(size_t frames) const;

    std::vector<Child> stack_;
};

template <class T, class ElementFrame>
Child RecordListFrame<T, ElementFrame>::element(Reader& reader, size_t,
                                                                 Value& value) {
    reader.expectObject(value);
    out_.emplace_back();
    return Child::borrowed(frame_.emplace(out_.back()));
}

}  // namespace halvetrop::json
