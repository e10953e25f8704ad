// The output side of the statement JSON: one interface that the tree walk drives, and the
// compact text writer behind it. The Python layer has a second implementation that builds the
// value tree, so text and value tree come from the same walk and cannot drift apart.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zorv::core {

// Receives one JSON document as a stream of events. Keys come in the order of the record's
// fields; an implementation that keeps objects sorted does its own sorting. Floats that are
// infinite or not a number are written as null by every implementation.
class JsonOut {
public:
    JsonOut() = default;
    JsonOut(const JsonOut&) = delete;
    JsonOut& operator=(const JsonOut&) = delete;
    JsonOut(JsonOut&&) = delete;
    JsonOut& operator=(JsonOut&&) = delete;
    virtual ~JsonOut() = default;

    virtual void begin_object() = 0;
    virtual void end_object() = 0;
    virtual void begin_array() = 0;
    virtual void end_array() = 0;
    // The next value belongs to this key of the open object.
    virtual void key(std::string_view name) = 0;
    virtual void null() = 0;
    virtual void boolean(bool value) = 0;
    virtual void u64(std::uint64_t value) = 0;
    virtual void i64(std::int64_t value) = 0;
    virtual void f64(double value) = 0;
    // A 32-bit float keeps its own shortest digits in the text; a value tree widens it exactly.
    virtual void f32(float value) = 0;
    virtual void string(std::string_view value) = 0;
};

// Compact JSON text (no whitespace at all) appended to a caller's buffer.
class JsonTextWriter final : public JsonOut {
public:
    explicit JsonTextWriter(std::string& out) : out_(out) {}

    void begin_object() override;
    void end_object() override;
    void begin_array() override;
    void end_array() override;
    void key(std::string_view name) override;
    void null() override;
    void boolean(bool value) override;
    void u64(std::uint64_t value) override;
    void i64(std::int64_t value) override;
    void f64(double value) override;
    void f32(float value) override;
    void string(std::string_view value) override;

private:
    // A "," is owed before the next value or key once a sibling has been written.
    void separate() {
        if (comma_owed_) out_ += ',';
    }

    std::string& out_;
    bool comma_owed_ = false;
};

// `s` in double quotes: '"' and '\' escaped, \b \t \n \f \r, \u00xx for the other control
// characters; every other byte (DEL and UTF-8 included) copied.
void append_json_string(std::string& out, std::string_view s);
// Shortest round-trip digits: plain notation with at least one fractional digit for decimal
// exponents -5..15, exponent notation ("1e+16", "2.5e-7") otherwise; null when not finite.
void append_json_f64(std::string& out, double value);
// The same with 32-bit shortest digits and plain notation for decimal exponents -6..12.
void append_json_f32(std::string& out, float value);

}  // namespace zorv::core
