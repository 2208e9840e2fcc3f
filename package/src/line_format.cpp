// The line formatter: printf-style formatting into the line buffer, with a cost
// bounded by what it keeps. See line_format.h.
//
// vsnprintf produces every character of a result, kept or not, so a field width
// or precision of two billion takes seconds for 1023 kept characters. A format
// whose widths and precisions (written or from a '*') are all at most 4,096 goes
// to vsnprintf whole: that costs little, and the arguments are read by the C
// library alone. Any other format is walked directive by directive. Literal
// text, %s and %ls are copied directly (only the kept part), their lengths
// counted; a string is read to its NUL or its precision, no further than the C
// library reads it. Every other directive is handed to snprintf on its own with
// the argument fetched as the C library reads it, so the library still decides
// the characters, and whether it accepts the directive at all. Widths and
// precisions up to 4,096 go down as written; larger ones are reduced:
//
// - A precision above what any value needs is cut. Beyond a few thousand digits
//   the decimal (or hexadecimal) expansion of a double has ended and an
//   integer's digits are all zeros, so a larger precision only adds zeros after
//   the first kept characters, or nothing (infinities, %g without '#', %c).
//   Formatting the cut precision and the one after it tells which, so the full
//   length is that of the cut one plus 0 or 1 per extra digit. A long double's
//   expansion can run to 16,000 digits; its exact length is worked out from its
//   bits, and when that is long, %Lf and %Le are formatted at 1,200 digits, which
//   settles the kept characters when a digit past them stops any carry from the
//   rounding further right (%Lg is refused then).
// - A width only adds padding, before or after the rest, or between a sign and
//   the digits. The padding is cut to what the buffer still holds, which keeps
//   the same first characters; the full length is max(width, length).
//
// Numbered arguments (%2$d) are fetched in the order of their numbers first, and
// each directive goes down numbered. Directives C does not define (%Ld, %hc, 'q',
// unknown conversions) are read differently by glibc in different formats, so
// they are never taken apart: with a large field the format is refused. The
// running total is exact, so the result is the one vsnprintf gives: the same
// first 1023 characters, the same count and %n values, and a failure when the
// total passes INT_MAX or a width or precision written in the format does not
// fit an int.
#include "line_format.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <type_traits>

// The work count of an instrumented build (line_format.h); nothing elsewhere.
#ifdef TAVLO_FORMAT_WORK
int64_t line_format_work = 0;
#define COUNT_WORK(n) (line_format_work += (n))
#else
#define COUNT_WORK(n) ((void)0)
#endif

namespace {

constexpr int64_t kept_limit = log_line_buffer - 1;
// Widths and precisions up to this are formatted as given.
constexpr int64_t direct_limit = 4096;
// The precision doubles are cut to: more digits than the exact expansion of any
// double has after its point (1,074 for the smallest), more than its largest
// decimal exponent (308) and more than the kept characters.
constexpr int64_t double_digits = 1200;
// The precision integer, pointer and character conversions are cut to: more
// than the kept characters plus the longest prefix and digits (64 binary digits).
constexpr int64_t integer_digits = kept_limit + 128;
// The precision that settles a long double whose exact expansion is longer.
constexpr int64_t settle_digits = 1200;
// Numbered arguments go up to this.
#if defined(NL_ARGMAX) && NL_ARGMAX < 64
constexpr int max_position = NL_ARGMAX;
#else
constexpr int max_position = 64;
#endif

// What a directive's argument is, as the C library reads it. Unknown: a
// conversion this formatter does not know, which reads no argument.
enum class Arg : unsigned char {
    None,
    Int,
    Long,
    LongLong,
    IntMax,
    Size,
    PtrDiff,
    WInt,
    Double,
    LongDouble,
    Pointer,
    String,
    WideString,
    Count,
    Unknown
};

// One directive, %[n$][flags][width][.precision][length]conversion.
struct Directive {
    const char* begin = nullptr;  // the '%'
    const char* end = nullptr;    // just past the conversion
    char flags[8] = {};           // each flag once, '-' also for a negative '*' width
    int flag_count = 0;
    int position = 0, width_position = 0, precision_position = 0;  // numbered arguments
    bool star_width = false, star_precision = false;
    bool negative_width = false;         // from a numbered '*': the C library's own left adjustment
    bool too_large = false;              // a width or precision past INT_MAX
    bool malformed = false;              // '*' followed by digits without '$'
    int64_t width = -1, precision = -1;  // -1: none
    char length[3] = {};                 // "", "hh", "h", "l", "ll", "L", "q", "j", "z", "Z" or "t"
    char conversion = 0;
    Arg arg = Arg::Unknown;

    bool left() const {
        return negative_width || std::memchr(flags, '-', size_t(flag_count)) != nullptr;
    }
    bool takes_value() const { return arg != Arg::None && arg != Arg::Unknown; }
    bool numbered() const { return position > 0 || width_position > 0 || precision_position > 0; }
    bool unnumbered() const {
        return (takes_value() && position == 0) || (star_width && width_position == 0) ||
               (star_precision && precision_position == 0);
    }
};

void add_flag(Directive& d, char flag) {
    if (std::memchr(d.flags, flag, size_t(d.flag_count)) == nullptr) d.flags[d.flag_count++] = flag;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number in the format, held at INT_MAX once past it.
int64_t read_number(const char*& p, bool& too_large) {
    int64_t value = 0;
    for (; is_digit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX) {
            too_large = true;
            value = INT_MAX;
        }
    }
    return value;
}

// The "n$" after a '*' or '%', if there is one.
int read_position(const char*& p, bool& malformed) {
    if (!is_digit(*p)) return 0;
    bool too_large = false;
    int64_t n = read_number(p, too_large);
    if (*p != '$') {
        malformed = true;
        return 0;
    }
    ++p;
    return n < 1 || too_large ? INT_MAX : int(n);
}

// The argument of a conversion, by its length modifier. Unknown for the
// combinations C does not define ('q', 'Z', %Ld, %hc, %lp ...): glibc reads
// them differently in different formats, and musl refuses them.
Arg arg_of(const char* length, char conversion) {
    const bool none = length[0] == 0, l = !std::strcmp(length, "l");
    const bool integer_length = length[0] != 'L' && length[0] != 'q' && length[0] != 'Z';
    if (conversion != 0 && std::strchr("diouxXbBn", conversion) != nullptr && integer_length) {
        if (conversion == 'n') return Arg::Count;
        if (!std::strcmp(length, "ll")) return Arg::LongLong;
        if (l) return Arg::Long;
        if (length[0] == 'j') return Arg::IntMax;
        if (length[0] == 'z') return Arg::Size;
        if (length[0] == 't') return Arg::PtrDiff;
        return Arg::Int;
    }
    if (conversion != 0 && std::strchr("eEfFgGaA", conversion) != nullptr && (none || l))
        return Arg::Double;
    if (conversion != 0 && std::strchr("eEfFgGaA", conversion) != nullptr && length[0] == 'L')
        return Arg::LongDouble;
    if (conversion == 'c' && (none || l)) return l ? Arg::WInt : Arg::Int;
    if (conversion == 's' && (none || l)) return l ? Arg::WideString : Arg::String;
    if (!none) return Arg::Unknown;
    switch (conversion) {
        case 'C': return Arg::WInt;
        case 'S': return Arg::WideString;
        case 'p': return Arg::Pointer;
        case 'm': return Arg::None;
        default: return Arg::Unknown;  // '%' with flags or a width, and the rest
    }
}

// Reads the directive whose '%' is at p[-1]; p ends just past it.
void read_directive(const char*& p, Directive& d) {
    d.begin = p - 1;
    const char* digits_end = p + std::strspn(p, "0123456789");
    if (*digits_end == '$' && digits_end != p) d.position = read_position(p, d.malformed);
    while (*p != 0 && std::strchr("-+ #0'I", *p) != nullptr) add_flag(d, *p++);
    if (*p == '*') {
        d.star_width = true;
        d.width_position = read_position(++p, d.malformed);
    } else if (is_digit(*p)) {
        d.width = read_number(p, d.too_large);
    }
    if (*p == '.') {
        if (*++p == '*') {
            d.star_precision = true;
            d.precision_position = read_position(++p, d.malformed);
        } else {
            d.precision = read_number(p, d.too_large);
        }
    }
    int n = 0;
    if (*p != 0 && std::strchr("hlLqjzZt", *p) != nullptr) {
        d.length[n++] = *p++;
        if ((d.length[0] == 'h' || d.length[0] == 'l') && *p == d.length[0]) d.length[n++] = *p++;
    }
    d.conversion = *p;
    if (*p != 0) ++p;
    d.end = p;
    d.arg = arg_of(d.length, d.conversion);
}

// The argument of one directive.
struct Value {
    Arg arg = Arg::None;
    union {
        int i;
        long l;
        long long ll;
        intmax_t j;
        size_t z;
        ptrdiff_t t;
        wint_t wc;
        double d;
        long double ld;
        const void* p;
        const char* s;
        const wchar_t* ws;
    };
    Value() : i(0) {}
};

// Calls f with the member of the value that holds its argument's C type; -1 for
// a directive that takes no argument.
template <class V, class F>
int visit(V& v, F f) {
    switch (v.arg) {
        case Arg::Int: return f(v.i);
        case Arg::Long: return f(v.l);
        case Arg::LongLong: return f(v.ll);
        case Arg::IntMax: return f(v.j);
        case Arg::Size: return f(v.z);
        case Arg::PtrDiff: return f(v.t);
        case Arg::WInt: return f(v.wc);
        case Arg::Double: return f(v.d);
        case Arg::LongDouble: return f(v.ld);
        case Arg::Pointer:
        case Arg::Count: return f(v.p);
        case Arg::String: return f(v.s);
        case Arg::WideString: return f(v.ws);
        default: return -1;
    }
}

// (Filled in place: a union with a long double is passed differently by
// different GCC versions.)
void fetch(va_list& args, Arg arg, Value& v) {
    v.arg = arg;
    visit(v, [&](auto& x) {
        x = va_arg(args, std::remove_reference_t<decltype(x)>);
        return 0;
    });
}

// Where directives take their arguments: in turn from the list, or from the
// table of numbered ones.
struct Arguments {
    va_list* list;
    const Value* table;  // null when the format numbers none
    void take(int position, Arg arg, Value& v) {
        if (table != nullptr)
            v = table[position - 1];
        else
            fetch(*list, arg, v);
    }
    int take_int(int position) {
        Value v;
        take(position, Arg::Int, v);
        return v.i;
    }
};

// errno as the caller left it, for %m.
int caller_errno = 0;

// snprintf of one directive with the given width and precision (-1: none).
// With numbered arguments the directive stays numbered, its width and precision
// given as numbered '*'s, since the C library adjusts a negative one its own way
// there.
int format_one(char* out, size_t size, const Directive& d, const Value& v, int64_t width,
               int64_t precision) {
    const bool numbered = d.numbered();
    const int star_width = int(d.negative_width ? -width : width), star_precision = int(precision);
    std::string text = std::string(numbered ? "%1$" : "%") + d.flags;
    if (width >= 0) text += numbered ? "*2$" : std::to_string(star_width);
    if (precision >= 0) {
        text += numbered ? (width >= 0 ? ".*3$" : ".*2$") : "." + std::to_string(star_precision);
    }
    text += d.length + std::string(1, d.conversion);
    const int first = width >= 0 ? star_width : star_precision;  // the numbered '*'s
    auto print = [&](auto value) {
        return std::snprintf(out, size, text.c_str(), value, first, star_precision);
    };
    errno = caller_errno;  // for %m, which takes no argument (a 0 stands in)
    const int count = v.arg == Arg::None ? print(0) : visit(v, print);
    if (count > 0) COUNT_WORK(count);
    return count;
}

// The line being built: the kept characters and the full length so far.
class Line {
public:
    explicit Line(char* buffer) : buffer_(buffer) {}

    int64_t total() const { return total_; }
    int64_t room() const { return kept_limit - kept_; }
    bool too_long() const { return total_ > INT_MAX; }

    void append(const char* text, int64_t length) {
        if (const int64_t n = std::min(length, room()); n > 0) std::memcpy(end(), text, size_t(n));
        wrote(length, length);
    }
    void repeat(char c, int64_t count) {
        if (const int64_t n = std::min(count, room()); n > 0) std::memset(end(), c, size_t(n));
        wrote(count, count);
    }
    // A directive's characters already written at end() by snprintf: `written`
    // of them (snprintf's count, possibly more than fit), `length` in all.
    char* end() { return buffer_ + kept_; }
    void wrote(int64_t written, int64_t length) {
        kept_ += std::min(written, room());
        total_ += length;
    }
    // The count, as vsnprintf's is reported: the full length, at most 1023.
    int finish() {
        buffer_[kept_] = 0;
        return int(std::min(total_, kept_limit));
    }

private:
    char* buffer_;
    int64_t kept_ = 0;
    int64_t total_ = 0;
};

enum class Outcome { Done, Failed, Refused };

// Why a format is refused, and at which directive.
struct Refusal {
    Directive at;
    const char* reason = "";
    Outcome refuse(const Directive& d, const char* why) {
        at = d;
        reason = why;
        return Outcome::Refused;
    }
};

// What the C library prints for a null string at a precision of 0 to 6 (6 stands
// for none): "(null)" cut like any string, or, in glibc, nothing below 6.
void null_string_text(int64_t precision, char (&text)[8]) {
    const char* volatile no_string = nullptr;  // asked at run time, as the caller passed it
    const int cut = precision < 0 || precision > 6 ? 6 : int(precision);
    text[0] = '\0';
    std::snprintf(text, sizeof text, "%.*s", cut, no_string);
}

// %s: the string up to its NUL or the precision, padded with spaces to the width.
void put_string(Line& line, const Directive& d, const char* s) {
    char null_text[8];
    if (s == nullptr) {
        null_string_text(d.precision, null_text);
        s = null_text;
    }
    int64_t length = int64_t(d.precision < 0 ? std::strlen(s) : strnlen(s, size_t(d.precision)));
    COUNT_WORK(length);
    int64_t pads = std::max<int64_t>(d.width - length, 0);
    if (!d.left()) line.repeat(' ', pads);
    line.append(s, length);
    if (d.left()) line.repeat(' ', pads);
}

// %ls: the wide characters converted as the C library converts them, as many as
// fit the precision in bytes (reading none past them); false when one has no
// multibyte form.
bool put_wide_string(Line& line, const Directive& d, const wchar_t* ws) {
    if (ws == nullptr) {
        put_string(line, d, nullptr);
        return true;
    }
    // Converted once, up to the precision: the bytes the line may still keep are
    // held, the rest only counted.
    std::string kept;
    int64_t length = 0;
    std::mbstate_t state{};
    for (; (d.precision < 0 || length < d.precision) && *ws != 0; ++ws) {
        char bytes[MB_LEN_MAX];
        size_t n = std::wcrtomb(bytes, *ws, &state);
        if (n == size_t(-1)) return false;
        if (d.precision >= 0 && length + int64_t(n) > d.precision) break;
        if (int64_t(kept.size()) < line.room()) kept.append(bytes, n);
        length += int64_t(n);
        COUNT_WORK(1);
    }
    // The padding as the C library pads this directive, seen on an empty string:
    // musl counts the padding of %0ls without writing it.
    int64_t pads = std::max<int64_t>(d.width - length, 0);
    char probe[8] = " ";
    Value empty;
    empty.arg = Arg::WideString;
    empty.ws = L"";
    if (pads > 0 && format_one(probe, sizeof probe, d, empty, 3, -1) != 3) pads = 0;
    const bool written = std::strlen(probe) > 0;
    auto pad = [&] { written ? line.repeat(probe[0], pads) : line.wrote(0, pads); };
    if (!d.left()) pad();
    line.append(kept.data(), int64_t(kept.size()));
    line.wrote(0, length - int64_t(kept.size()));
    if (d.left()) pad();
    return true;
}

// %n: the number of characters so far, stored with the type its length names.
void store_count(const Directive& d, void* target, int64_t count) {
    const auto store = [&](auto* typed) {
        *typed = static_cast<std::remove_pointer_t<decltype(typed)>>(count);
    };
    const bool doubled = d.length[1] != 0;
    switch (d.length[0]) {
        case 'h':
            return doubled ? store(static_cast<signed char*>(target))
                           : store(static_cast<short*>(target));
        case 'l':
            return doubled ? store(static_cast<long long*>(target))
                           : store(static_cast<long*>(target));
        case 'j': return store(static_cast<intmax_t*>(target));
        case 'z': return store(static_cast<size_t*>(target));
        case 't': return store(static_cast<ptrdiff_t*>(target));
        default: return store(static_cast<int*>(target));
    }
}

// The precision past which a long double's conversion adds only zeros: the
// digits of its exact expansion (an upper bound), worked out from the bits the C
// library itself sees in it, as %La shows them (some C libraries print a long
// double as a double). %La's few dozen hex digits are within any cut: 0.
int64_t exact_digits(long double v, char conversion) {
    if ((conversion | 0x20) == 'a') return 0;
    char hex[80];
    std::snprintf(hex, sizeof hex, "%La", v);
    const char* x = std::strchr(hex, 'x');
    const char* p = x != nullptr ? std::strchr(x, 'p') : nullptr;
    if (p == nullptr) return 0;  // inf, nan
    const int exponent = std::atoi(p + 1);
    // Hex digit i (0 before the point) weighs 2^(exponent - 4i) per unit.
    int index = 0, low = INT_MAX;  // low: the weight of the last bit set
    for (const char* h = x + 1; h < p; ++h) {
        if (*h == '.') continue;
        const unsigned digit = unsigned(is_digit(*h) ? *h - '0' : (*h | 0x20) - 'a' + 10);
        if (digit != 0) low = exponent - 4 * index + std::countr_zero(digit);
        ++index;
    }
    if (low == INT_MAX) return 0;                          // zero
    const int64_t fraction = low < 0 ? -int64_t(low) : 0;  // its digits after the point
    if ((conversion | 0x20) == 'f') return fraction;
    // e, E, g, G: its significant digits, those before the point (or the zeros
    // after it taken away) and those after it; |v| < 2^(exponent + 4).
    return int64_t(std::floor((exponent + 4) * 0.30103)) + 3 + fraction;
}

// Whether %Lf or %Le formatted at settle_digits (text) keeps its first `kept`
// characters at any larger precision: a digit past them that is not 9 in the
// exact expansion stops the carry of any rounding further right. A digit 1-8,
// or a 0 with a non-zero digit after it, is such a digit; so is a zero value.
bool settled(const char* text, int64_t kept) {
    const char* p = text;
    while (*p != 0 && !is_digit(*p)) ++p;  // sign
    const char* integer = p;
    while (is_digit(*p)) ++p;
    const bool zero_integer = p - integer == 1 && *integer == '0';
    while (*p != 0 && !is_digit(*p)) ++p;  // decimal point
    const char* fraction = p;
    while (is_digit(*p)) ++p;
    if (p - fraction != settle_digits) return false;
    if (zero_integer && std::strspn(fraction, "0") == size_t(settle_digits)) return true;
    bool zero = false;
    for (const char* q = std::max(fraction, text + kept); q < p; ++q) {
        if ((*q >= '1' && *q <= '8') || (*q == '9' && zero)) return true;
        zero = zero || *q == '0';
    }
    return false;
}

// snprintf of a directive into the line, `length` long in all (-1: as snprintf
// counts). A wide character may be counted and not written (musl's %05lc of
// L'\0'): what was written ends at the last NUL snprintf put down over a fill.
bool put_formatted(Line& line, const Directive& d, const Value& v, int64_t width, int64_t precision,
                   int64_t length) {
    const size_t size = size_t(line.room()) + 1;
    if (v.arg == Arg::WInt) std::memset(line.end(), 1, size);
    const int n = format_one(line.end(), size, d, v, width, precision);
    if (n < 0) return false;
    int64_t written = std::min<int64_t>(n, line.room());
    while (v.arg == Arg::WInt && written > 0 && line.end()[written] != 0) --written;
    line.wrote(written, length < 0 ? n : length);
    return true;
}

// Any other directive, through snprintf.
Outcome put_converted(Line& line, const Directive& d, const Value& v, Refusal& refusal) {
    const int64_t width = d.width, precision = d.precision;
    if (width <= direct_limit && precision <= direct_limit)
        return put_formatted(line, d, v, width, precision, -1) ? Outcome::Done : Outcome::Failed;
    // The precision is cut where only zeros (or nothing) follow; a long double
    // whose exact expansion is longer is cut at settle_digits when that settles
    // the kept characters (%Lf, %Le), and refused otherwise.
    int64_t cut = std::min(precision, v.arg == Arg::Double ? double_digits : integer_digits);
    if (v.arg == Arg::LongDouble && precision > direct_limit) {
        cut = std::max(exact_digits(v.ld, d.conversion), integer_digits);
        if (cut > direct_limit) {
            char text[settle_digits + 64];
            const bool f_or_e = std::strchr("fFeE", d.conversion) != nullptr;
            const int n = f_or_e ? format_one(text, sizeof text, d, v, -1, settle_digits) : 0;
            if (n < 0) return Outcome::Failed;
            if (!f_or_e || n >= int(sizeof text) || !settled(text, line.room()))
                return refusal.refuse(d, "the value needs more digits than a line keeps");
            cut = settle_digits;
        }
    }
    // The length without the width: that of the cut precision, plus what each
    // digit past the cut adds (0 or 1: the cut and the one after it tell).
    const int a = format_one(nullptr, 0, d, v, -1, cut);
    const int b = cut < precision ? format_one(nullptr, 0, d, v, -1, cut + 1) : a;
    if (a < 0 || b < 0) return Outcome::Failed;
    if (b - a != 0 && b - a != 1) return refusal.refuse(d, "an unexpected length");
    const int64_t length = a + (b - a) * (precision - cut);
    const int64_t pads = std::max<int64_t>(width - length, 0);
    if (line.room() == 0) {
        line.wrote(0, length + pads);
        return Outcome::Done;
    }
    const int64_t cut_width = pads > 0 ? a + std::min(pads, line.room()) : -1;
    return put_formatted(line, d, v, cut_width, cut, length + pads) ? Outcome::Done
                                                                    : Outcome::Failed;
}

// Reads the next directive after `p` (skipping "%%") and moves `p` past it;
// false at the end of the format.
bool next_directive(const char*& p, Directive& d) {
    while ((p = std::strchr(p, '%')) != nullptr) {
        if (*++p == '%') {
            ++p;
            continue;
        }
        d = Directive{};
        read_directive(p, d);
        return true;
    }
    return false;
}

// What the fields of a format are: every width and precision, written or from a
// '*', at most direct_limit (Small), or also a string with a precision (Precise:
// AddressSanitizer's vsnprintf checks read such a string up to its NUL, so the
// formatter copies it itself), or one past direct_limit (Large; the refusal names
// it, for formats that cannot be taken apart). Reads a copy of the arguments,
// following no pointer.
enum class Fields { Small, Precise, Large };

Fields scan_fields(const char* format, va_list& args, Refusal& refusal) {
    Fields fields = Fields::Small;
    Directive d;
    for (const char* p = format; next_directive(p, d);) {
        bool small =
            !d.too_large && !d.malformed && d.width <= direct_limit && d.precision <= direct_limit;
        if (d.star_width && std::abs(int64_t(va_arg(args, int))) > direct_limit) small = false;
        if (d.star_precision && va_arg(args, int) > direct_limit) small = false;
        if (!small) {
            refusal.refuse(d, "a field over 4096 in a format with a non-standard conversion");
            return Fields::Large;
        }
        const bool string = d.arg == Arg::String || d.arg == Arg::WideString;
        if (string && (d.precision >= 0 || d.star_precision)) fields = Fields::Precise;
        Value skipped;
        if (d.takes_value()) fetch(args, d.arg, skipped);
    }
    return fields;
}

// With numbered arguments: fetches them all in the order of their numbers into
// `table` (its first `count`). Refuses formats that mix numbered and unnumbered
// arguments, leave one out or number one past max_position.
Outcome fetch_numbered(const char* format, va_list& args, Value* table, int& count, bool& unknown,
                       Refusal& refusal) {
    Arg kinds[max_position + 1] = {};  // Arg::None
    bool numbered = false;
    Directive unnumbered;  // the first directive with an unnumbered argument
    int highest = 0;
    Directive d;
    for (const char* p = format; next_directive(p, d);) {
        unknown = unknown || d.arg == Arg::Unknown;
        if (d.unnumbered() && unnumbered.begin == nullptr) unnumbered = d;
        numbered = numbered || d.numbered();
        const std::pair<int, Arg> uses[] = {{d.star_width ? d.width_position : 0, Arg::Int},
                                            {d.star_precision ? d.precision_position : 0, Arg::Int},
                                            {d.takes_value() ? d.position : 0, d.arg}};
        for (auto [position, arg] : uses) {
            if (position > max_position)
                return refusal.refuse(d, "an argument number past the C library's limit");
            if (position > 0 && kinds[position] == Arg::None) kinds[position] = arg;
            highest = std::max(highest, position);
        }
    }
    count = 0;
    if (!numbered) return Outcome::Done;
    if (unknown) return refusal.refuse({}, "numbered arguments with a non-standard conversion");
    if (unnumbered.begin != nullptr)
        return refusal.refuse(unnumbered, "numbered and unnumbered arguments mixed");
    for (int position = 1; position <= highest; ++position) {
        if (kinds[position] == Arg::None) return refusal.refuse({}, "an argument number left out");
        fetch(args, kinds[position], table[position - 1]);
    }
    count = highest;
    return Outcome::Done;
}

// The walk over the format.
Outcome format_directives(Line& line, const char* format, Arguments& args, Refusal& refusal) {
    const char* p = format;
    while (*p != 0) {
        const int64_t literal = int64_t(std::strcspn(p, "%"));
        line.append(p, literal);
        COUNT_WORK(literal + 1);
        p += literal;
        if (*p++ == 0) break;
        if (*p == '%') {
            line.append("%", 1);
            ++p;
            continue;
        }
        Directive d;
        read_directive(p, d);
        if (d.malformed) return refusal.refuse(d, "a '*' followed by digits without '$'");
        if (d.too_large) return Outcome::Failed;  // as the C library fails
        if (d.star_width) {
            const int star_width = args.take_int(d.width_position);
            if (star_width == INT_MIN) return Outcome::Failed;
            if (star_width < 0 && d.numbered())
                d.negative_width = true;
            else if (star_width < 0)
                add_flag(d, '-');
            d.width = star_width < 0 ? -int64_t(star_width) : star_width;
        }
        if (d.star_precision) {
            const int star_precision = args.take_int(d.precision_position);
            d.precision = star_precision < 0 ? -1 : star_precision;
        }
        Value v;
        if (d.takes_value()) args.take(d.position, d.arg, v);
        Outcome outcome = Outcome::Done;
        switch (d.arg) {
            case Arg::Count: store_count(d, const_cast<void*>(v.p), line.total()); break;
            case Arg::String: put_string(line, d, v.s); break;
            case Arg::WideString:
                if (!put_wide_string(line, d, v.ws)) outcome = Outcome::Failed;
                break;
            default: outcome = put_converted(line, d, v, refusal);
        }
        if (outcome != Outcome::Done) return outcome;
        if (line.too_long()) return Outcome::Failed;
    }
    return line.too_long() ? Outcome::Failed : Outcome::Done;
}

// The line that stands for a refused format.
int refused_line(char (&buffer)[log_line_buffer], const Refusal& refusal) {
    const Directive& d = refusal.at;
    const int length = d.begin != nullptr ? int(d.end - d.begin) : 0;
    const int shown = std::min(length, 40);
    int n = length == 0
                ? std::snprintf(buffer, sizeof buffer, "format refused: %s", refusal.reason)
                : std::snprintf(buffer, sizeof buffer, "format refused at \"%.*s%s\": %s", shown,
                                d.begin, shown < length ? "..." : "", refusal.reason);
    return std::min(n, log_line_buffer - 1);
}

}  // namespace

int format_line(char (&buffer)[log_line_buffer], const char* format, va_list args) {
    if (format == nullptr) format = "";
    caller_errno = errno;
    va_list list;
    va_copy(list, args);
    Value table[max_position];
    int count = 0;
    bool unknown = false;
    Refusal refusal;
    Outcome outcome = fetch_numbered(format, list, table, count, unknown, refusal);
    bool whole = false;
    if (outcome == Outcome::Done && count == 0) {
        // Every field small: vsnprintf is as quick as anything and reads the
        // arguments as it sees fit. A conversion this formatter does not take
        // apart goes nowhere else: beside a large field it is refused.
        va_list probe;
        va_copy(probe, args);
        const Fields fields = scan_fields(format, probe, refusal);
        va_end(probe);
        whole = unknown ? fields != Fields::Large : fields == Fields::Small;
        if (!whole && unknown) outcome = Outcome::Refused;
    }
    if (whole) {
        count = vsnprintf(buffer, sizeof buffer, format, args);
        if (count < 0) outcome = Outcome::Failed;
        COUNT_WORK(std::max(count, 0));
        count = std::min(count, log_line_buffer - 1);
    } else if (outcome == Outcome::Done) {
        Line line(buffer);
        Arguments arguments{&list, count > 0 ? table : nullptr};
        outcome = format_directives(line, format, arguments, refusal);
        if (outcome == Outcome::Done) count = line.finish();
    }
    va_end(list);
    errno = caller_errno;
    if (outcome == Outcome::Refused) return refused_line(buffer, refusal);
    if (outcome == Outcome::Failed) {
        buffer[0] = '\0';
        return 0;
    }
    return count;
}
