// Random printf formats with their arguments, for comparing the line formatter
// with the C library's own snprintf (tests/instrumented/test_line_format.cpp and the
// fuzz_line_format target). A case is one format and one fixed list of
// arguments of every kind: ints, long longs, size_t, doubles, long doubles,
// strings and wide strings (also arrays without a NUL, each allocated at exactly
// its size so that AddressSanitizer sees a read past it), pointers, wide
// characters and a %n target. Widths and precisions reach past the formatter's
// limits but stay small enough for the C library to format in moments.
#pragma once

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

namespace format_cases {

// A number below the bound (0 for a bound of 0 or 1).
using Pick = std::function<uint32_t(uint32_t)>;

struct Case {
    std::string format;
    int a[12] = {}, b[12] = {};  // the ints of each round: '*' values or printed
    int i = 0;
    long long ll = 0;
    double d = 0;
    long double ld = 0;
    std::string s;
    std::unique_ptr<char[]> raw;  // no NUL: read only up to a precision
    std::wstring ws;
    std::unique_ptr<wchar_t[]> wide_raw;  // no NUL either
    // The same characters with a NUL, for the C library under AddressSanitizer,
    // whose printf checks count one character past a precision.
    std::string raw_text;
    std::wstring wide_raw_text;
    void* p = nullptr;
    wint_t wc = 0;
    size_t z = 0;
};

namespace detail {

template <class T, size_t N>
T one_of(const Pick& pick, const T (&values)[N]) {
    return values[pick(N)];
}

inline const char* text_of(const Pick& pick, std::initializer_list<const char*> texts) {
    return texts.begin()[pick(uint32_t(texts.size()))];
}

inline std::string flags(const Pick& pick) {
    std::string out;
    for (char f : {'-', '+', ' ', '#', '0'})
        if (pick(4) == 0) out += f;
    return out;
}

// A width or precision: mostly small, sometimes around the kept length or past
// the formatter's 4,096.
inline int amount(const Pick& pick) {
    switch (pick(8)) {
        case 0: return int(900 + pick(300));
        case 1: return int(4097 + pick(3000));
        default: return int(pick(24));
    }
}

inline std::string number(int n) {
    return std::to_string(n);
}

// "%" and flags, the width and the precision of one directive. `star` 1: the
// width is `*` (its value put in width), 2: the precision is `.*` (from
// precision), 3: both. `at_most` caps the precision (for arrays without NUL:
// always given).
inline std::string fields(const Pick& pick, int star, int& width, int& precision,
                          int at_most = -1) {
    std::string out = "%" + flags(pick);
    if (star & 1) {
        out += "*";
        width = pick(6) == 0 ? -amount(pick) : amount(pick);
    } else if (pick(2) == 0) {
        out += number(amount(pick));
    }
    if (star & 2) {
        out += ".*";
        precision = at_most >= 0   ? int(pick(uint32_t(at_most) + 1))
                    : pick(6) == 0 ? -3
                                   : amount(pick);
    } else if (at_most >= 0) {
        out += "." + number(int(pick(uint32_t(at_most) + 1)));
    } else if (pick(2) == 0) {
        out += "." + (pick(5) == 0 ? std::string() : number(amount(pick)));
    }
    return out;
}

inline int precision_of(const std::string& directive, int star_precision) {
    size_t dot = directive.find('.');
    if (dot == std::string::npos) return -1;
    if (directive[dot + 1] == '*') return star_precision;
    return std::atoi(directive.c_str() + dot + 1);
}

inline std::string literal(const Pick& pick) {
    static const char* const texts[] = {"", "", " ", "|", "ab", "%%", "x\n", "-%%-"};
    return texts[pick(8)];
}

}  // namespace detail

// A case of twelve rounds, each: the literal text, then two ints and one
// argument of the round's kind, taken by one to three directives.
inline Case sequential_case(const Pick& pick) {
    using namespace detail;
    static const int ints[] = {0, 1, -1, 7, 42, 255, -4096, INT_MAX, INT_MIN, 123456789};
    static const long long longs[] = {0, -1, LLONG_MAX, LLONG_MIN, 1LL << 40, 99};
    static const double doubles[] = {0.0,  -0.0, 0.1,      1e-300, 5e-324,   1.7e308, 123.456,
                                     -2.5, 1e21, HUGE_VAL, NAN,    0.999999, 9.5e-5,  1.0 / 3};
    static const long double long_doubles[] = {0.1L,     1e-4940L,   1e4000L,     1.0L / 3,
                                               LDBL_MAX, -2.5L,      0.0L,        LDBL_TRUE_MIN,
                                               1e-400L,  -HUGE_VALL, 9.999999999L};
    static const char* const conversions[] = {"diouxX", "diouxX", "eEfFgGaA", "eEfFgGaA"};
    Case c;
    c.i = one_of(pick, ints);
    c.ll = one_of(pick, longs);
    c.d = one_of(pick, doubles);
    c.ld = one_of(pick, long_doubles);
    for (uint32_t n = pick(3) == 0 ? 1500 : pick(14); n > 0; --n) c.s += char('!' + pick(90));
    const size_t raw_length = pick(9), wide_length = pick(9);
    c.raw.reset(new char[raw_length]);
    for (size_t k = 0; k < raw_length; ++k) c.raw_text += c.raw[k] = char('a' + pick(26));
    for (uint32_t n = pick(12); n > 0; --n) c.ws += wchar_t(pick(30) == 0 ? 0xe9 : 'A' + pick(26));
    c.wide_raw.reset(new wchar_t[wide_length]);
    for (size_t k = 0; k < wide_length; ++k)
        c.wide_raw_text += c.wide_raw[k] = wchar_t('a' + pick(26));
    static int target;
    c.p = one_of(pick, {static_cast<void*>(nullptr), static_cast<void*>(&target)});
    c.wc = one_of(pick, {wint_t('x'), wint_t(0), wint_t(0xe9), wint_t(' ')});
    c.z = one_of(pick, {size_t(0), size_t(42), SIZE_MAX});

    for (int round = 0; round < 12; ++round) {
        c.format += literal(pick);
        int& a = c.a[round];
        int& b = c.b[round];
        a = one_of(pick, ints);
        b = one_of(pick, ints);
        // The round's ints in order: a printed or the '*' width when there are
        // two stars, then b printed or the one '*' (width or precision).
        const int star = round == 11 ? 0 : int(pick(4));
        if (star != 3) c.format += fields(pick, 0, a, a) + text_of(pick, {"d", "x", "c"});
        if (star == 0) c.format += fields(pick, 0, b, b) + text_of(pick, {"i", "o", "u"});
        int& width = star == 3 ? a : b;
        std::string d;
        switch (round) {
            case 0: d = fields(pick, star, width, b) + text_of(pick, {"", "h", "hh"}); break;
            case 1: d = fields(pick, star, width, b) + text_of(pick, {"ll", "j"}); break;
            case 2: d = fields(pick, star, width, b) + text_of(pick, {"", "l"}); break;
            case 3: d = fields(pick, star, width, b) + "L"; break;
            case 4: d = fields(pick, star, width, b) + "s"; break;
            case 5: d = fields(pick, star, width, b, int(raw_length)) + "s"; break;
            case 6: d = fields(pick, star, width, b) + text_of(pick, {"ls", "S"}); break;
            case 7: d = fields(pick, star, width, b, int(wide_length)) + "ls"; break;
            case 8: d = fields(pick, star, width, b) + "p"; break;
            case 9: d = fields(pick, star, width, b) + text_of(pick, {"lc", "C"}); break;
            case 10: d = fields(pick, star, width, b) + "z"; break;
            case 11: d = std::string("%") + (pick(2) ? "n" : "hhn"); break;
        }
        if (round <= 3 || round == 10) {
            const char* letters = conversions[round == 10 ? 1 : round];
            char conversion = letters[pick(uint32_t(std::char_traits<char>::length(letters)))];
            // A long double past 4,096 digits is refused for %g when its
            // expansion is longer; the cases keep to what must match.
            if (round == 3 && precision_of(d, b) > 4096 && (conversion | 0x20) == 'g')
                conversion = 'e';
            d += conversion;
        }
        c.format += d;
    }
    return c;
}

// Calls f(format, ...) with the sequential case's arguments; %n stores to count
// (an int, of which %hhn sets the first byte). `terminated`: the arrays' copies
// with a NUL.
template <class F>
auto call_sequential(F f, const Case& c, int* count, bool terminated = false) {
    const char* raw = terminated ? c.raw_text.c_str() : c.raw.get();
    const wchar_t* wide_raw = terminated ? c.wide_raw_text.c_str() : c.wide_raw.get();
    return f(c.format.c_str(), c.a[0], c.b[0], c.i, c.a[1], c.b[1], c.ll, c.a[2], c.b[2], c.d,
             c.a[3], c.b[3], c.ld, c.a[4], c.b[4], c.s.c_str(), c.a[5], c.b[5], raw, c.a[6], c.b[6],
             c.ws.c_str(), c.a[7], c.b[7], wide_raw, c.a[8], c.b[8], c.p, c.a[9], c.b[9], c.wc,
             c.a[10], c.b[10], c.z, c.a[11], c.b[11], count);
}

// A format of numbered arguments over nine: ints 1, 2 and 9 (also the '*'
// values), a double 3, a long double 4, an array without NUL 5, a wide string 6,
// a long long 7 and a pointer 8. Every argument is used at least once.
inline Case numbered_case(const Pick& pick) {
    using namespace detail;
    Case c = sequential_case(pick);  // the values
    c.format.clear();
    c.a[0] = int(pick(40)) - 10;
    c.a[1] = pick(4) == 0 ? 5000 : int(pick(30));
    c.a[2] = int(pick(20));
    static const char* const kinds[] = {"", "d", "i", "e", "Lf", "s", "ls", "llx", "p", "u"};
    bool used[10] = {};
    auto directive = [&](int position, bool plain) {
        std::string out = "%" + number(position) + "$";
        if (!plain) {
            out += flags(pick);
            if (pick(3) == 0)
                out += "*" + number(one_of(pick, {1, 2, 9})) + "$";
            else if (pick(2) == 0)
                out += number(amount(pick));
            if (position == 5)
                out += "." + number(int(pick(9)));  // the array's length at most
            else if (position != 4 && pick(3) == 0)
                out += ".*" + number(one_of(pick, {1, 9})) + "$";
            else if (pick(3) == 0)
                out += "." + number(int(pick(30)));
        } else if (position == 5) {
            out += ".0";
        }
        return out + kinds[position];
    };
    for (uint32_t n = 1 + pick(6); n > 0; --n) {
        int position = 1 + int(pick(9));
        used[position] = true;
        c.format += literal(pick) + directive(position, false);
    }
    for (int position = 1; position <= 9; ++position)
        if (!used[position]) c.format += directive(position, true);
    // The array at 5 must hold as many characters as any precision asks for.
    c.raw.reset(new char[8]);
    c.raw_text.clear();
    for (int k = 0; k < 8; ++k) c.raw_text += c.raw[k] = char('k' + k);
    return c;
}

template <class F>
auto call_numbered(F f, const Case& c, bool terminated = false) {
    return f(c.format.c_str(), c.a[0], c.a[1], c.d, c.ld,
             terminated ? c.raw_text.c_str() : c.raw.get(), c.ws.c_str(), c.ll, c.p, c.a[2]);
}

}  // namespace format_cases
