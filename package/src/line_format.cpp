// The line formatter: printf-style formatting into the line buffer, with a cost
// bounded by what it keeps. See line_format.h.
//
// vsnprintf produces every character of a result, kept or not, so a field width
// or precision of two billion takes seconds for 1023 kept characters. Here the
// format is walked conversion by conversion. Literal text and %s are copied
// directly (only the kept part), their lengths counted. Every other conversion is
// handed to snprintf on its own, as written while its width and precision are
// small; otherwise with them reduced:
//
// - A precision above what any value needs is cut. Beyond a few thousand digits
//   the decimal (or hexadecimal) expansion of every double and long double has
//   ended and an integer's digits are all zeros, so a larger precision only adds
//   zeros after the first kept characters, or nothing (infinities, %g without
//   '#', %c). Formatting the cut precision and the one after it tells which, so
//   the full length is that of the cut one plus 0 or 1 per extra digit.
// - A width only adds padding, before or after the rest, or between a sign and
//   the digits. The padding is cut to what the buffer still holds, which keeps
//   the same first characters; the full length is max(width, length).
//
// The running total is exact, so the result is the one vsnprintf gives: the same
// first 1023 characters, the same %n values, and a failure when the total passes
// INT_MAX or a width or precision written in the format does not fit an int.
// Formats whose widths, precisions and strings are all short, the usual ones, go
// to vsnprintf whole: it is then as quick as anything.
#include "line_format.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr int64_t kept_limit = log_line_buffer - 1;
// Widths and precisions up to this are formatted as given.
constexpr int64_t direct_limit = 4096;
// The precisions floating-point conversions are cut to: more digits than the
// exact expansion of any double (long double) has after its point, 1,074 (16,445)
// for the smallest, more than its largest decimal exponent, 308 (4,932), and more
// than the kept characters.
constexpr int64_t double_digits = 1200;
constexpr int64_t long_double_digits = 17000;
// The precision integer, pointer and character conversions are cut to: more
// than the kept characters plus the longest prefix and digits (64 binary digits).
constexpr int64_t integer_digits = kept_limit + 128;

// One conversion directive, %[flags][width][.precision][length]conversion.
struct Spec {
    char flags[8] = {};  // each flag given once, '-' also for a negative '*' width
    int flag_count = 0;
    bool star_width = false, star_precision = false;
    int64_t width = -1;      // -1: none
    int64_t precision = -1;  // -1: none
    char length[3] = {};     // "", "hh", "h", "l", "ll", "j", "z", "t" or "L"
    char conversion = 0;
    bool left() const { return std::memchr(flags, '-', size_t(flag_count)) != nullptr; }
};

enum class Parsed { Ok, Unsupported, TooLarge };

// Flags act once however often they are written.
void add_flag(Spec& spec, char flag) {
    if (std::memchr(spec.flags, flag, size_t(spec.flag_count)) == nullptr)
        spec.flags[spec.flag_count++] = flag;
}

// A decimal number in the format; TooLarge once it passes INT_MAX.
Parsed read_number(const char*& p, int64_t& value) {
    value = 0;
    bool too_large = false;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p++ - '0');
        if (value > INT_MAX) {
            too_large = true;
            value = INT_MAX;
        }
    }
    return too_large ? Parsed::TooLarge : Parsed::Ok;
}

bool is_integer_conversion(char c) {
    return c != 0 && std::strchr("diouxX", c) != nullptr;
}
bool is_float_conversion(char c) {
    return c != 0 && std::strchr("eEfFgGaA", c) != nullptr;
}

// Whether a length modifier goes with a conversion in the forms taken apart here.
bool supported(const Spec& spec) {
    const char* l = spec.length;
    char c = spec.conversion;
    bool no_length = l[0] == 0;
    bool integer_length = no_length || !std::strcmp(l, "hh") || !std::strcmp(l, "h") ||
                          !std::strcmp(l, "l") || !std::strcmp(l, "ll") || !std::strcmp(l, "j") ||
                          !std::strcmp(l, "z") || !std::strcmp(l, "t");
    if (is_integer_conversion(c)) return integer_length;
    if (is_float_conversion(c)) return no_length || !std::strcmp(l, "l") || !std::strcmp(l, "L");
    if (c == 'c' || c == 's' || c == 'p') return no_length;
    if (c == 'n') {
        return integer_length && spec.flag_count == 0 && spec.width < 0 && !spec.star_width &&
               spec.precision < 0 && !spec.star_precision;
    }
    return false;
}

// Reads the directive after a '%'; p ends just past it. Widths and
// precisions from '*' are not fetched here.
Parsed parse_spec(const char*& p, Spec& spec) {
    if (p[std::strspn(p, "0123456789")] == '$') return Parsed::Unsupported;  // numbered
    while (*p != 0 && std::strchr("-+ #0'", *p) != nullptr) add_flag(spec, *p++);
    Parsed result = Parsed::Ok;
    if (*p == '*') {
        spec.star_width = true;
        ++p;
        if (*p >= '0' && *p <= '9') return Parsed::Unsupported;  // a numbered argument
    } else if (*p >= '0' && *p <= '9') {
        if (read_number(p, spec.width) == Parsed::TooLarge) result = Parsed::TooLarge;
    }
    if (*p == '$') return Parsed::Unsupported;
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            spec.star_precision = true;
            ++p;
            if (*p >= '0' && *p <= '9') return Parsed::Unsupported;
        } else if (read_number(p, spec.precision) == Parsed::TooLarge) {
            result = Parsed::TooLarge;
        }
    }
    int n = 0;
    while (n < 2 && *p != 0 && std::strchr("hljztL", *p) != nullptr &&
           (n == 0 || *p == spec.length[0])) {
        spec.length[n++] = *p++;
    }
    if (*p == 0) return Parsed::Unsupported;
    spec.conversion = *p++;
    if (!supported(spec)) return Parsed::Unsupported;
    return result;
}

// The argument of one conversion, fetched with the type its conversion reads.
struct Value {
    enum Kind { Int, Long, LongLong, IntMax, Size, PtrDiff, Double, LongDouble, Pointer } kind;
    union {
        int i;
        long l;
        long long ll;
        intmax_t j;
        size_t z;
        ptrdiff_t t;
        double d;
        long double ld;
        void* p;
    };
};

void fetch(const Spec& spec, va_list& args, Value& v) {
    const char* l = spec.length;
    if (is_float_conversion(spec.conversion)) {
        if (l[0] == 'L') {
            v.kind = Value::LongDouble;
            v.ld = va_arg(args, long double);
        } else {
            v.kind = Value::Double;
            v.d = va_arg(args, double);
        }
    } else if (spec.conversion == 'p') {
        v.kind = Value::Pointer;
        v.p = va_arg(args, void*);
    } else if (!std::strcmp(l, "l")) {
        v.kind = Value::Long;
        v.l = va_arg(args, long);
    } else if (!std::strcmp(l, "ll")) {
        v.kind = Value::LongLong;
        v.ll = va_arg(args, long long);
    } else if (l[0] == 'j') {
        v.kind = Value::IntMax;
        v.j = va_arg(args, intmax_t);
    } else if (l[0] == 'z') {
        v.kind = Value::Size;
        v.z = va_arg(args, size_t);
    } else if (l[0] == 't') {
        v.kind = Value::PtrDiff;
        v.t = va_arg(args, ptrdiff_t);
    } else {  // int, and the promoted char and short of %c, hh and h
        v.kind = Value::Int;
        v.i = va_arg(args, int);
    }
}

// snprintf of one conversion with the given width and precision (-1: none).
int format_one(char* out, size_t size, const Spec& spec, const Value& v, int64_t width,
               int64_t precision) {
    char text[64];
    int n = std::snprintf(text, sizeof text, "%%%s", spec.flags);
    if (width >= 0)
        n +=
            std::snprintf(text + n, sizeof text - size_t(n), "%lld", static_cast<long long>(width));
    if (precision >= 0) {
        n += std::snprintf(text + n, sizeof text - size_t(n), ".%lld",
                           static_cast<long long>(precision));
    }
    std::snprintf(text + n, sizeof text - size_t(n), "%s%c", spec.length, spec.conversion);
    switch (v.kind) {
        case Value::Int: return std::snprintf(out, size, text, v.i);
        case Value::Long: return std::snprintf(out, size, text, v.l);
        case Value::LongLong: return std::snprintf(out, size, text, v.ll);
        case Value::IntMax: return std::snprintf(out, size, text, v.j);
        case Value::Size: return std::snprintf(out, size, text, v.z);
        case Value::PtrDiff: return std::snprintf(out, size, text, v.t);
        case Value::Double: return std::snprintf(out, size, text, v.d);
        case Value::LongDouble: return std::snprintf(out, size, text, v.ld);
        case Value::Pointer: return std::snprintf(out, size, text, v.p);
    }
    return -1;
}

// The line being built: the kept characters and the full length so far.
class Line {
public:
    explicit Line(char* buffer) : buffer_(buffer) {}

    int64_t total() const { return total_; }
    int64_t room() const { return kept_limit - kept_; }
    bool too_long() const { return total_ > INT_MAX; }

    void append(const char* text, int64_t length) {
        int64_t n = std::min(length, room());
        if (n > 0) std::memcpy(buffer_ + kept_, text, size_t(n));
        kept_ += n;
        total_ += length;
    }
    void repeat(char c, int64_t count) {
        int64_t n = std::min(count, room());
        if (n > 0) std::memset(buffer_ + kept_, c, size_t(n));
        kept_ += n;
        total_ += count;
    }
    // A conversion's characters already written at end() by snprintf: `written`
    // of them (snprintf's count, possibly more than fit), `length` in all.
    char* end() { return buffer_ + kept_; }
    void wrote(int64_t written, int64_t length) {
        kept_ += std::min(written, room());
        total_ += length;
    }
    int finish() {
        buffer_[kept_] = 0;
        return int(kept_);
    }

private:
    char* buffer_;
    int64_t kept_ = 0;
    int64_t total_ = 0;
};

// What the C library prints for a null %s at a precision of 0 to 6 (6 stands for
// none): "(null)" cut like any string, or, in glibc, nothing below 6.
void null_string_text(int64_t precision, char (&text)[8]) {
    const char* volatile no_string = nullptr;  // asked at run time, as the caller passed it
    const int cut = precision < 0 || precision > 6 ? 6 : int(precision);
    text[0] = '\0';
    std::snprintf(text, sizeof text, "%.*s", cut, no_string);
}

// %s: the string (or the C library's text for a null pointer), up to the
// precision, padded with spaces to the width.
void put_string(Line& line, const Spec& spec, const char* s) {
    char null_text[8];
    if (s == nullptr) {
        null_string_text(spec.precision, null_text);
        s = null_text;
    }
    int64_t length =
        int64_t(spec.precision < 0 ? std::strlen(s) : strnlen(s, size_t(spec.precision)));
    int64_t pads = std::max<int64_t>(spec.width - length, 0);
    if (!spec.left()) line.repeat(' ', pads);
    line.append(s, length);
    if (spec.left()) line.repeat(' ', pads);
}

// %n: the number of characters so far, stored with the type its length names.
void store_count(const Spec& spec, va_list& args, int64_t count) {
    const char* l = spec.length;
    if (!std::strcmp(l, "hh")) {
        *va_arg(args, signed char*) = static_cast<signed char>(count);
    } else if (!std::strcmp(l, "h")) {
        *va_arg(args, short*) = static_cast<short>(count);
    } else if (!std::strcmp(l, "l")) {
        *va_arg(args, long*) = long(count);
    } else if (!std::strcmp(l, "ll")) {
        *va_arg(args, long long*) = count;
    } else if (l[0] == 'j') {
        *va_arg(args, intmax_t*) = count;
    } else if (l[0] == 'z') {
        *va_arg(args, size_t*) = size_t(count);
    } else if (l[0] == 't') {
        *va_arg(args, ptrdiff_t*) = count;
    } else {
        *va_arg(args, int*) = int(count);
    }
}

// Any other conversion, through snprintf; false when snprintf fails.
bool put_converted(Line& line, const Spec& spec, const Value& v) {
    int64_t width = spec.width, precision = spec.precision;
    if (width <= direct_limit && precision <= direct_limit) {
        int n = format_one(line.end(), size_t(line.room()) + 1, spec, v, width, precision);
        if (n < 0) return false;
        line.wrote(n, n);
        return true;
    }
    // Length without the width: of the precision as given, or of the cut one plus
    // what the extra digits add.
    int64_t cut = precision, length = 0, cut_length = 0;
    int64_t limit = v.kind == Value::LongDouble ? long_double_digits
                    : v.kind == Value::Double   ? double_digits
                                                : integer_digits;
    if (precision > limit) {
        cut = limit;
        int a = format_one(nullptr, 0, spec, v, -1, cut);
        int b = format_one(nullptr, 0, spec, v, -1, cut + 1);
        if (a < 0 || b < 0) return false;
        if (b - a != 0 && b - a != 1) cut = precision;  // not as expected: format in full
        cut_length = a;
        length = a + (b - a) * (precision - cut);
    }
    if (cut == precision) {
        int a = format_one(nullptr, 0, spec, v, -1, precision);
        if (a < 0) return false;
        length = cut_length = a;
    }
    int64_t pads = std::max<int64_t>(width - length, 0);
    if (line.room() > 0) {
        int64_t cut_width = pads > 0 ? cut_length + std::min(pads, line.room()) : -1;
        int n = format_one(line.end(), size_t(line.room()) + 1, spec, v, cut_width, cut);
        if (n < 0) return false;
        line.wrote(n, length + pads);
    } else {
        line.wrote(0, length + pads);
    }
    return true;
}

// The walk over a format this formatter takes apart; false when the formatting
// fails.
bool format_parts(Line& line, const char* format, va_list& args) {
    const char* p = format;
    while (*p != 0) {
        const char* percent = std::strchr(p, '%');
        if (percent == nullptr) {
            line.append(p, int64_t(std::strlen(p)));
            break;
        }
        line.append(p, percent - p);
        p = percent + 1;
        if (*p == '%') {
            line.append("%", 1);
            ++p;
        } else {
            Spec spec;
            if (parse_spec(p, spec) != Parsed::Ok) return false;  // a number past INT_MAX
            if (spec.star_width) {
                int width = va_arg(args, int);
                if (width == INT_MIN) return false;
                if (width < 0) add_flag(spec, '-');
                spec.width = width < 0 ? -int64_t(width) : width;
            }
            if (spec.star_precision) {
                int precision = va_arg(args, int);
                spec.precision = precision < 0 ? -1 : precision;
            }
            if (spec.conversion == 's') {
                put_string(line, spec, va_arg(args, const char*));
            } else if (spec.conversion == 'n') {
                store_count(spec, args, line.total());
            } else {
                Value value;
                fetch(spec, args, value);
                if (!put_converted(line, spec, value)) return false;
            }
        }
        if (line.too_long()) return false;
    }
    return !line.too_long();
}

}  // namespace

// Whether the format goes to vsnprintf whole: when this formatter does not take
// it apart, and when vsnprintf formats it quickly itself, every width, precision
// and string argument being at most direct_limit long. Reads a copy of the
// arguments.
bool for_vsnprintf(const char* format, va_list& args) {
    bool small = true;
    for (const char* p = format; (p = std::strchr(p, '%')) != nullptr;) {
        ++p;
        if (*p == '%') {
            ++p;
            continue;
        }
        Spec spec;
        Parsed parsed = parse_spec(p, spec);
        if (parsed == Parsed::Unsupported) return true;
        if (parsed == Parsed::TooLarge || spec.width > direct_limit ||
            spec.precision > direct_limit) {
            small = false;
        }
        if (!small) continue;  // only looking for what is not taken apart now
        if (spec.star_width) {
            int width = va_arg(args, int);
            if (width < -direct_limit || width > direct_limit) small = false;
        }
        if (spec.star_precision && va_arg(args, int) > direct_limit) small = false;
        if (spec.conversion == 's') {
            const char* s = va_arg(args, const char*);
            if (s != nullptr && strnlen(s, direct_limit + 1) > size_t(direct_limit)) small = false;
        } else if (spec.conversion == 'n') {
            va_arg(args, void*);
        } else {
            Value value;
            fetch(spec, args, value);
        }
    }
    return small;
}

int format_line(char (&buffer)[log_line_buffer], const char* format, va_list args) {
    if (format == nullptr) format = "";
    va_list probe;
    va_copy(probe, args);
    bool whole = for_vsnprintf(format, probe);
    va_end(probe);
    if (whole) {
        int count = vsnprintf(buffer, sizeof buffer, format, args);
        if (count < 0) {
            buffer[0] = '\0';
            return 0;
        }
        return count < log_line_buffer ? count : log_line_buffer - 1;
    }
    va_list walk;
    va_copy(walk, args);
    Line line(buffer);
    bool done = format_parts(line, format, walk);
    va_end(walk);
    if (!done) {
        buffer[0] = '\0';
        return 0;
    }
    return line.finish();
}
