// The one output buffer the canonical printers append to, and the layout of the statement in it.
#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zorv::core {

// Printers append here instead of returning a string per node, so a whole statement fills one
// buffer. The helpers hold the lexical rules of canonical text (names, quoted strings, floats).
//
// Layout: a statement is written once with a space between its parts (head, FROM, each
// clause). `part_break` remembers where each such space sits, and `lay_out` turns them into line
// feeds when the statement is to be printed one part per line. Inside a `OneLine` scope (a
// nested body) part breaks are plain spaces and are not remembered.
class TextSink {
public:
    enum class Layout : std::uint8_t { SingleLine, PartPerLine };

    // Keeps nested bodies (CTE and PREFETCH sources) on one line while it lives.
    class OneLine {
    public:
        explicit OneLine(TextSink& sink) : sink_(sink) { ++sink_.one_line_depth_; }
        ~OneLine() { --sink_.one_line_depth_; }
        OneLine(const OneLine&) = delete;
        OneLine& operator=(const OneLine&) = delete;

    private:
        TextSink& sink_;
    };

    // Appends to `out`, which must outlive the sink.
    explicit TextSink(std::string& out) : out_(out) {}
    TextSink(const TextSink&) = delete;
    TextSink& operator=(const TextSink&) = delete;

    std::size_t size() const { return out_.size(); }

    // Keywords and punctuation, copied as they stand.
    TextSink& text(std::string_view text) {
        out_ += text;
        return *this;
    }
    TextSink& text(char c) {
        out_ += c;
        return *this;
    }
    // A plain name ([A-Za-z_][A-Za-z0-9_]*) bare, any other quoted.
    TextSink& identifier(std::string_view name);
    // Backslash, quote, LF, CR and TAB escaped; NUL dropped; everything else copied.
    TextSink& escaped(std::string_view text);
    // "'" + escaped text + "'".
    TextSink& quoted(std::string_view text);

    template <std::integral I>
    TextSink& integer(I value) {
        char buf[24];
        auto res = std::to_chars(buf, buf + sizeof buf, value);
        out_.append(buf, res.ptr);
        return *this;
    }
    // Integral values below 1e15 as "%.1f", others with their shortest round-trip digits written
    // out positionally; always with a "." (non-finite ones as "NaN.0", "inf.0", "-inf.0").
    TextSink& f64(double value);
    // As `f64`, with 32-bit shortest digits and an integral limit of 1e7.
    TextSink& f32(float value);

    // `write(*this, item)` for each item, with `separator` between.
    template <class Range, class Write>
    TextSink& join(const Range& items, std::string_view separator, Write&& write) {
        bool first = true;
        for (const auto& item : items) {
            if (!first) out_ += separator;
            first = false;
            write(*this, item);
        }
        return *this;
    }

    // Separates two parts of the statement being laid out (a space for now).
    TextSink& part_break();
    // The positions of the part breaks written outside `OneLine` scopes since the last `lay_out`.
    const std::vector<std::size_t>& part_breaks() const { return breaks_; }
    // Settles those breaks: line feeds for PartPerLine, spaces kept for SingleLine.
    void lay_out(Layout layout);

private:
    std::string& out_;
    std::vector<std::size_t> breaks_;
    int one_line_depth_ = 0;
};

// Runs `write(sink, args...)` into a fresh string, for the string-returning entry points.
template <class Write, class... Args>
std::string print_to_string(Write&& write, Args&&... args) {
    std::string out;
    TextSink sink(out);
    std::forward<Write>(write)(sink, std::forward<Args>(args)...);
    return out;
}

}  // namespace zorv::core
