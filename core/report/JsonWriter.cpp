#include "report/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "text/Utf8.h"

namespace halvetrop::json {

void Writer::separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_) out_ += ',';
    first_ = false;
}

void Writer::open(char bracket) {
    separate();
    out_ += bracket;
    first_ = true;
}

void Writer::close(char bracket) {
    out_ += bracket;
    first_ = false;
}

void Writer::key(std::string_view name) {
    separate();
    out_ += '"';
    out_ += name;
    out_ += "\":";
    afterKey_ = true;
}

void Writer::textKey(std::string_view name) {
    separate();
    if (isValidUtf8(name)) {
        escaped(name);
    } else {
        escaped(repairUtf8(name));
    }
    out_ += ':';
    afterKey_ = true;
}

void Writer::integer(int64_t value) {
    separate();
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
}

void Writer::boolean(bool value) {
    separate();
    out_ += value ? "true" : "false";
}

void Writer::number(double value) {
    separate();
    if (std::isnan(value)) value = 0;
    if (std::isinf(value)) {
        value = value > 0 ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest();
    }
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
}

void Writer::text(std::string_view value) {
    separate();
    if (isValidUtf8(value)) {
        escaped(value);
    } else {
        escaped(repairUtf8(value));
    }
}

void Writer::escaped(std::string_view valid) {
    static constexpr char hex[] = "0123456789abcdef";
    out_ += '"';
    size_t runStart = 0;
    for (size_t i = 0; i < valid.size(); ++i) {
        auto c = static_cast<unsigned char>(valid[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out_.append(valid.data() + runStart, i - runStart);
        runStart = i + 1;
        switch (c) {
            case '"': out_ += "\\\""; break;
            case '\\': out_ += "\\\\"; break;
            case '\b': out_ += "\\b"; break;
            case '\f': out_ += "\\f"; break;
            case '\n': out_ += "\\n"; break;
            case '\r': out_ += "\\r"; break;
            case '\t': out_ += "\\t"; break;
            default:
                out_ += "\\u00";
                out_ += hex[c >> 4];
                out_ += hex[c & 0xF];
        }
    }
    out_.append(valid.data() + runStart, valid.size() - runStart);
    out_ += '"';
}

}  // namespace halvetrop::json
