#pragma once
// A small streaming JSON writer for the stored form: keys in the order they are written, every
// text repaired to valid UTF-8 before it is escaped, so writing never fails on a file name.
// Internal to the report library.
#include <cstdint>
#include <string>
#include <string_view>

namespace halvetrop::json {

class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}

    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }

    // `name` is one of the fixed ASCII field names: written without escaping.
    void key(std::string_view name);
    // A key taken from data (a map key): repaired and escaped like any text.
    void textKey(std::string_view name);

    void integer(int64_t value);
    void boolean(bool value);
    // Shortest text that reads back as the same double; a value JSON cannot hold (infinity, NaN)
    // becomes the nearest finite number (0 for NaN), so that the document stays readable.
    void number(double value);
    void text(std::string_view value);

private:
    void open(char bracket);
    void close(char bracket);
    void separate();
    void escaped(std::string_view valid);

    std::string& out_;
    bool first_ = true;      // no element yet in the innermost container
    bool afterKey_ = false;  // the next value completes a key/value pair
};

}  // namespace halvetrop::json
