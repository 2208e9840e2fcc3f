// The line formatter behind log_printf and print_text: the same kept characters
// and count as vsnprintf, at a cost that does not grow with widths and precisions
// (counted in line_format_work, never timed), reading no argument further than
// the C library reads it.
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <random>
#include <string>

#include "fuzz/format_cases.h"
#include "fuzz/format_compare.h"
#include "line_format.h"
#include "package_test_support.h"

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using format_compare::Formatted;
using format_compare::ours;
using format_compare::theirs;
using test_support::CanvasTest;
using test_support::log_lines;

// Each format both as it is and followed by a wide field, whose width is cut.
#define EXPECT_LIKE_VSNPRINTF(format, ...)                                   \
    do {                                                                     \
        EXPECT_EQ(ours(format __VA_OPT__(, ) __VA_ARGS__),                   \
                  theirs(format __VA_OPT__(, ) __VA_ARGS__));                \
        EXPECT_EQ(ours(format "%*d", __VA_ARGS__ __VA_OPT__(, ) 5000, 1),    \
                  theirs(format "%*d", __VA_ARGS__ __VA_OPT__(, ) 5000, 1)); \
    } while (0)

// ours() and the work it took.
struct Measured {
    Formatted result;
    int64_t work;
};

Measured measured(const char* format, ...) {
    char buffer[log_line_buffer];
    va_list args;
    va_start(args, format);
    line_format_work = 0;
    int count = format_line(buffer, format, args);
    va_end(args);
    return {{count, buffer}, line_format_work};
}

// The work one directive may take whatever its width and precision: a few
// formattings of at most 4,096 digits and the kept characters.
constexpr int64_t directive_work = 4 * (4096 + 64) + 1023;

// `length` bytes with no NUL after them, ending where readable memory ends (a
// guard page follows) where the system has pages to protect, and in any case in
// a heap block of exactly that size, which AddressSanitizer watches.
template <class Char>
class EndOfMemory {
public:
    explicit EndOfMemory(const Char* text, size_t length) : length_(length) {
#if __has_include(<sys/mman.h>)
        page_ = size_t(sysconf(_SC_PAGESIZE));
        void* pages =
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages != MAP_FAILED &&
            mprotect(static_cast<char*>(pages) + page_, page_, PROT_NONE) == 0) {
            pages_ = pages;
            guarded_ = reinterpret_cast<Char*>(static_cast<char*>(pages) + page_) - length;
            std::memcpy(guarded_, text, length * sizeof(Char));
        }
#endif
        heap_.reset(new Char[length]);
        std::memcpy(heap_.get(), text, length * sizeof(Char));
    }
    ~EndOfMemory() {
#if __has_include(<sys/mman.h>)
        if (pages_ != nullptr) munmap(pages_, 2 * page_);
#endif
    }
    // The copies to try: the guarded one (where there is one) and the heap one.
    std::vector<const Char*> copies() const {
        std::vector<const Char*> out{heap_.get()};
        if (guarded_ != nullptr) out.push_back(guarded_);
        return out;
    }

private:
    size_t length_, page_ = 0;
    void* pages_ = nullptr;
    Char* guarded_ = nullptr;
    std::unique_ptr<Char[]> heap_;
};

}  // namespace

// Every kind of conversion, small and past the limits where widths and
// precisions are cut (4,096; digits: 1,200 for double, the exact expansion or
// 1,200 for long double, 1,151 otherwise), against the C library itself.
TEST(LineFormat, KeepsWhatVsnprintfKeeps) {
    const std::string kilo(1500, 'k');
    EXPECT_LIKE_VSNPRINTF("plain text, 100%% sure");
    EXPECT_LIKE_VSNPRINTF("%d|%5d|%-5d|%05d|%+d|% d|%.3d|%.0d|%5.3d|%-+07d", 42, 42, 42, -42, 42,
                          42, 7, 0, -7, 3);
    EXPECT_LIKE_VSNPRINTF("%hhd %hd %ld %lld %jd %zd %td %hhu %hu", 300, 70000, -5L, LLONG_MIN,
                          INTMAX_MAX, size_t(9), ptrdiff_t(-9), 511, 65537);
    EXPECT_LIKE_VSNPRINTF("%x %X %#x %#o %o %#.0o %u %lu %#5x %'d", 255u, 255u, 255u, 8u, 0u, 0u,
                          4000000000u, ULONG_MAX, 0u, 1234567);
    EXPECT_LIKE_VSNPRINTF("%f %e %g %a %F %E %G %A", 3.25, -0.001, 1e-5, 1.0, INFINITY, 1e300, NAN,
                          -0.0);
    EXPECT_LIKE_VSNPRINTF("%.0f %#.0f %10.4f %-10.2e| %+g %#g %Lf %Le %.30Lg", 2.5, 2.5,
                          3.14159265358979, 3.14159265358979, 100.0, 1.0, 1e4000L, 1e-4000L,
                          1.0L / 3);
    EXPECT_LIKE_VSNPRINTF("%c%5c%-3c|%p %p %20p", 'a', 'b', 'c', (void*)0x1234, nullptr,
                          (void*)&kilo);
    EXPECT_LIKE_VSNPRINTF("%s|%8s|%-8s|%.2s|%8.2s|%05s", "abc", "abc", "abc", "abc", "abc", "ab");
    EXPECT_LIKE_VSNPRINTF("%s|%.5s|%.6s|%10s|%-10.3s|", (char*)nullptr, (char*)nullptr,
                          (char*)nullptr, (char*)nullptr, (char*)nullptr);
    EXPECT_LIKE_VSNPRINTF("%*d|%-*d|%*d|%.*f|%.*d|%*.*s", 6, 1, 6, 2, -6, 3, 2, 1.0, -1, 5, -9, 2,
                          "xyz");
    EXPECT_LIKE_VSNPRINTF("%s and %s", kilo.c_str(), "more");  // cut inside a string
    EXPECT_LIKE_VSNPRINTF("%1020d%d%s", 1, 12345, "tail");     // cut inside a number
    // Past the limits: the reduced forms keep the same characters and lengths.
    for (int width : {1023, 4097, 200000}) {
        EXPECT_LIKE_VSNPRINTF("%*d|", width, -5);
        EXPECT_LIKE_VSNPRINTF("%-*d|", width, -5);
        EXPECT_LIKE_VSNPRINTF("%0*x|", width, 0xbeefu);
        EXPECT_LIKE_VSNPRINTF("%*s|%s", width, "right", "after");
        EXPECT_LIKE_VSNPRINTF("%-*c|", width, 'L');
        EXPECT_LIKE_VSNPRINTF("%0*.3f|", width, -2.5);
        EXPECT_LIKE_VSNPRINTF("%*p|", width, (void*)0x1234);
        EXPECT_LIKE_VSNPRINTF("ab%*d%s", width, 7, kilo.c_str());
    }
    for (int precision : {1201, 4097, 17001}) {
        EXPECT_LIKE_VSNPRINTF("%.*d|", precision, -5);
        EXPECT_LIKE_VSNPRINTF("%+#.*x|", precision, 0xbeefu);
        EXPECT_LIKE_VSNPRINTF("%#.*o|", precision, 8u);
        EXPECT_LIKE_VSNPRINTF("%.*f|", precision, 0.1);
        EXPECT_LIKE_VSNPRINTF("%.*e|", precision, 1e-300);
        EXPECT_LIKE_VSNPRINTF("%.*g|%#.*g|", precision, 0.1, precision, 0.1);
        EXPECT_LIKE_VSNPRINTF("%.*Lf|", precision, 1e-4940L);
        EXPECT_LIKE_VSNPRINTF("%.*Le|%.*Lg|", precision, 1e-4940L, precision, 1e4000L);
        EXPECT_LIKE_VSNPRINTF("%.*a|%.*f|%.*s|", precision, 0.1, precision, -INFINITY, precision,
                              "short");
        EXPECT_LIKE_VSNPRINTF("%*.*d|", precision + 5, precision, 12);
        EXPECT_LIKE_VSNPRINTF("%-*.*e|", precision * 2, precision, 3.0);
    }
    // Numbered arguments, and formats with directives C does not define, which go
    // to vsnprintf as they are.
    EXPECT_EQ(ours("%2$s %1$s", "world", "hello"), theirs("%2$s %1$s", "world", "hello"));
    EXPECT_EQ(ours("%lc %ls %5%|%y|tail%", L'x', L"wide"),
              theirs("%lc %ls %5%|%y|tail%", L'x', L"wide"));
    EXPECT_EQ(ours(nullptr), (Formatted{0, ""}));
    EXPECT_EQ(ours("%s", std::string(5000, 's').c_str()),
              (Formatted{1023, std::string(1023, 's')}));
}

// %n stores the full count so far, as if nothing had been cut.
TEST(LineFormat, CountsStoredWithPercentNAreFullLengths) {
    int a = -1, b = -1, ra = -1, rb = -1;
    signed char small = 0, reference_small = 0;
    long long wide = 0, reference_wide = 0;
    Formatted got = ours("ab%n%*d%n%s%hhn%lln", &a, 5000, 1, &b, "xyz", &small, &wide);
    EXPECT_EQ(got, theirs("ab%n%*d%n%s%hhn%lln", &ra, 5000, 1, &rb, "xyz", &reference_small,
                          &reference_wide));
    EXPECT_EQ(got, (Formatted{1023, std::string("ab").append(1021, ' ')}));
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 5002);
    EXPECT_EQ(wide, 5005);
    EXPECT_EQ(small, reference_small);
    EXPECT_EQ(ra, a);
    EXPECT_EQ(rb, b);
    EXPECT_EQ(reference_wide, wide);
}

// Widths and precisions up to INT_MAX cost no more than small ones; results past
// INT_MAX characters fail as vsnprintf fails. (vsnprintf needs 5 to 15 s for
// each of the long cases here; the expected values are its results.)
TEST(LineFormat, HugeWidthsAndPrecisionsCostNoMoreThanSmallOnes) {
    const std::string spaces(1023, ' '), zeros(1023, '0');
    struct Case {
        Measured got;
        Formatted expected;
    };
    int last = 0;
    const Case cases[] = {
        {measured("%2147483647d", 5), {1023, spaces}},
        {measured("%-2147483647d", 5), {1023, std::string("5").append(1022, ' ')}},
        {measured("%.2147483647d", 5), {1023, zeros}},
        {measured("%+.2147483600x", 255u), {1023, zeros}},
        {measured("%0+2147483600d", -42), {1023, std::string("-").append(1022, '0')}},
        {measured("%1000000000d%1000000000d%147483647d", 1, 2, 3), {1023, spaces}},
        {measured("ab%2147483645d%n", 1, &last), {1023, std::string("ab").append(1021, ' ')}},
        // One character more than an int counts, and widths an int cannot hold.
        {measured("%1000000000d%1000000000d%147483648d", 1, 2, 3), {0, ""}},
        {measured("ab%-2147483646d", 1), {0, ""}},
        {measured("%*d", INT_MIN, 5), {0, ""}},
        {measured("%2147483648d", 5), {0, ""}},
        {measured("x%.99999999999f", 1.0), {0, ""}},
        // Floating point: the exact expansion, then zeros.
        {measured("%.2147483600f", 0.1), {1023, theirs("%.1021f", 0.1).text}},
        {measured("%.100000000e", 0.1), {1023, theirs("%.1021e", 0.1).text}},
        {measured("%.100000000g", 0.1), theirs("%.100g", 0.1)},  // trailing zeros go
        {measured("%.100000000Lf", 1e-4940L), {1023, theirs("%.1021Lf", 1e-4940L).text}},
        {measured("%.2147483647f", INFINITY), {3, "inf"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.got.result, c.expected);
        EXPECT_LT(c.got.work, 3 * directive_work);
    }
    EXPECT_EQ(last, INT_MAX);
}

// Formats that took the C library seconds: wide characters, numbered arguments,
// the rarer length modifiers and conversions, and long doubles at precisions
// past 4,096 (up to 16,000 digits each for the C library).
TEST(LineFormat, RarerDirectivesCostNoMoreThanWhatIsKept) {
    const std::string spaces(1023, ' ');
    // %m and %C are the C library's to accept.
    errno = EDOM;
    const std::string domain = theirs("%m").text;
    // (Emscripten's C library has no %m.)
    const Formatted left_domain =
        domain.empty() ? Formatted{0, ""}
                       : Formatted{1023, domain + std::string(1023 - domain.size(), ' ')};
    const Measured huge[] = {
        measured("%*lc", 2000000000, wint_t('x')),
        measured("%-*lc|", 2000000000, wint_t('x')),
        measured("%2000000000ls", L"wide"),
        measured("%-2000000000ls", L"wide"),
        measured("%1$2000000000d", 7),
        measured("%2$s%1$*3$d", 7, "ab", 2000000000),
        (errno = EDOM, measured("%-2000000000m")),
        measured("%2000000000C", wint_t('c')),
    };
    const Formatted expected[] = {
        {1023, spaces}, {1023, std::string("x").append(1022, ' ')},
        {1023, spaces}, {1023, std::string("wide").append(1019, ' ')},
        {1023, spaces}, {1023, std::string("ab").append(1021, ' ')},
        left_domain,    {1023, spaces},
    };
    for (size_t k = 0; k < std::size(huge); ++k) {
        EXPECT_EQ(huge[k].result, expected[k]) << k;
        EXPECT_LT(huge[k].work, directive_work) << k;
    }
    // Twenty long doubles of 16,000 digits: settled from their first 1,200.
#define TWENTY(d) d d d d d d d d d d d d d d d d d d d d
#define TEN_ARGS(v) v, v, v, v, v, v, v, v, v, v
    const Measured settled = measured(TWENTY("%.16000Le"), TEN_ARGS(1e-4940L), TEN_ARGS(1.0L / 3));
    EXPECT_EQ(settled.result, theirs(TWENTY("%.16000Le"), TEN_ARGS(1e-4940L), TEN_ARGS(1.0L / 3)));
    EXPECT_LT(settled.work, 20 * directive_work);
    const Measured zero = measured("%.16000Lf|%.16000Lf", LDBL_TRUE_MIN, -1e-4000L);
    EXPECT_EQ(zero.result, theirs("%.16000Lf|%.16000Lf", LDBL_TRUE_MIN, -1e-4000L));
    EXPECT_LT(zero.work, 2 * directive_work);
    const Measured exact = measured("%.16000Lg|%#.9000Lg", 1e4000L, 0.5L);
    EXPECT_EQ(exact.result, theirs("%.16000Lg|%#.9000Lg", 1e4000L, 0.5L));
    EXPECT_LT(exact.work, 2 * directive_work);
#undef TWENTY
#undef TEN_ARGS
}

// Formats whose result cannot be bounded, or that POSIX leaves undefined, are
// refused with a line that says so. Non-standard directives (%Ld, %qx, %hc ...),
// which glibc reads differently in different formats, go to the C library whole
// while every field is small, and are refused otherwise.
TEST(LineFormat, RefusedFormatsSaySo) {
    const char* const formats[] = {"%1$d %d", "%3$d %1$d",     "%65$d",   "%.*5d",
                                   "%1$y",    "%2000000000Ld", "%d%*hc%d"};
    for (const char* format : formats) {
        Formatted got = ours(format, 1, 2000000000, 3, 4);
        EXPECT_EQ(got.text.rfind("format refused", 0), 0u) << format << ": " << got.text;
        EXPECT_EQ(got.count, int(got.text.size()));
    }
    EXPECT_EQ(ours("%2000000000Ld", 1LL).text,
              "format refused at \"%2000000000Ld\": a field over 4096 in a format with a "
              "non-standard conversion");
    EXPECT_EQ(ours("%Ld|%qx|%hc|%5%|%4096y|%Lx", 5LL, 6LL, 'c', 7LL),
              theirs("%Ld|%qx|%hc|%5%|%4096y|%Lx", 5LL, 6LL, 'c', 7LL));
    // (Emscripten's C library prints a long double as a double: 0 here.)
    if (theirs("%.3Le", 1e-4940L).text != "0.000e+00") {
        EXPECT_EQ(ours("%.5000Lg", 1e-4940L).text,
                  "format refused at \"%.5000Lg\": the value needs more digits than a line keeps");
    } else {
        EXPECT_EQ(ours("%.5000Lg", 1e-4940L), theirs("%.5000Lg", 1e-4940L));
    }
    EXPECT_EQ(ours("%.5000Lg", 0.1L), theirs("%.5000Lg", 0.1L));  // this one is short
}

// %s and %ls with a precision read at most that many characters (wide: as many
// as the precision's bytes need), as the C library does: arrays without a NUL,
// at the end of readable memory.
TEST(LineFormat, StringsAreReadNoFurtherThanTheirPrecision) {
    const EndOfMemory<char> code("ABCD", 4), three("xyz", 3);
    const EndOfMemory<wchar_t> wide(L"wxyz", 4);
    for (const char* s : code.copies()) {
        EXPECT_EQ(ours("chunk %.4s|%.*s|%-6.2s|%.0s.", s, 3, s, s, s),
                  (Formatted{23, "chunk ABCD|ABC|AB    |."}));
        EXPECT_EQ(ours("%*.*s|", 9, 4, s), theirs("%*.*s|", 9, 4, "ABCD"));
    }
    for (const char* s : three.copies()) EXPECT_EQ(ours("%.3s", s), (Formatted{3, "xyz"}));
    for (const wchar_t* w : wide.copies()) {
        EXPECT_EQ(ours("%.4ls|%.*ls|%6.2ls", w, 3, w, w),
                  theirs("%.4ls|%.*ls|%6.2ls", L"wxyz", 3, L"wxyz", L"wxyz"));
        EXPECT_EQ(ours("%.4ls", w), (Formatted{4, "wxyz"}));
    }
}

// Random formats of every kind of directive against the C library itself, over
// fixed seeds: sequential and numbered arguments, widths and precisions up to
// past the cuts, arrays without NUL, wide characters, long doubles.
TEST(LineFormat, RandomFormatsMatchTheCLibrary) {
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 random(seed);
        format_cases::Pick pick = [&](uint32_t bound) {
            return bound <= 1 ? 0u : uint32_t(random() % bound);
        };
        for (int round = 0; round < 60; ++round) {
            const format_cases::Case c = format_cases::sequential_case(pick);
            int our_count = -7, their_count = -7;
            Formatted got = format_cases::call_sequential(ours, c, &our_count);
            Formatted expected = format_cases::call_sequential(theirs, c, &their_count, true);
            ASSERT_EQ(got, expected) << "seed " << seed << ": " << c.format.substr(0, 300);
            ASSERT_EQ(our_count, their_count) << c.format.substr(0, 300);
            const format_cases::Case n = format_cases::numbered_case(pick);
            ASSERT_EQ(format_cases::call_numbered(ours, n),
                      format_cases::call_numbered(theirs, n, true))
                << "seed " << seed << ": " << n.format;
        }
    }
}

class LineFormatCalls : public CanvasTest {};

// Both formatting calls of the package: the count and the kept line, and a
// 4-character array without NUL at the end of readable memory.
TEST_F(LineFormatCalls, LogPrintfAndPrintTextKeep1023CharactersOfAHugeField) {
    line_format_work = 0;
    EXPECT_EQ(log_printf("%2147483647d", 5), 1023);
    EXPECT_EQ(log_lines().back(), std::string(1023, ' '));
    EXPECT_EQ(print_text(0, 0, 0, 10, "%-2147483647d", 5), 1023);
    const std::string too_long = "%1000000000d%1000000000d%147483648d";  // INT_MAX + 1
    EXPECT_EQ(print_text(0, 0, 0, 10, too_long.c_str(), 1, 2, 3), 0);
    EXPECT_LT(line_format_work, 6 * directive_work);           // with the call log's lines
    EXPECT_LT(count(0xFFFFFF), canvas_width * canvas_height);  // the 5 was drawn
    const EndOfMemory<char> code("WXYZ", 4);
    for (const char* s : code.copies()) {
        EXPECT_EQ(log_printf("chunk %.4s\n", s), 11);
        EXPECT_EQ(log_lines().back(), "chunk WXYZ\n");
        EXPECT_EQ(print_text(0, 0, 0, 10, "%.*s", 2, s), 2);
    }
}
