// The line formatter behind log_printf and print_text: the same kept characters
// and count as vsnprintf, at a cost that does not grow with widths and precisions.
#include <chrono>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "line_format.h"
#include "package_test_support.h"

namespace {

using test_support::CanvasTest;
using test_support::log_lines;

struct Formatted {
    int count;
    std::string text;
    bool operator==(const Formatted&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Formatted& f) {
    return out << f.count << " \"" << f.text.substr(0, 60) << (f.text.size() > 60 ? "...\"" : "\"");
}

Formatted ours(const char* format, ...) {
    char buffer[log_line_buffer];
    std::memset(buffer, 'Z', sizeof buffer);
    va_list args;
    va_start(args, format);
    int count = format_line(buffer, format, args);
    va_end(args);
    return {count, buffer};
}

// What the package kept before: vsnprintf cut to 1023 characters, or nothing when
// it fails.
Formatted reference(const char* format, ...) {
    char buffer[log_line_buffer];
    va_list args;
    va_start(args, format);
    int count = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (count < 0) return {0, ""};
    return {std::min(count, log_line_buffer - 1), buffer};
}

// Each format both as it is and followed by a wide field, which makes the
// formatter take it apart instead of handing it to vsnprintf whole.
#define EXPECT_LIKE_VSNPRINTF(format, ...)                                      \
    do {                                                                        \
        EXPECT_EQ(ours(format __VA_OPT__(, ) __VA_ARGS__),                      \
                  reference(format __VA_OPT__(, ) __VA_ARGS__));                \
        EXPECT_EQ(ours(format "%*d", __VA_ARGS__ __VA_OPT__(, ) 5000, 1),       \
                  reference(format "%*d", __VA_ARGS__ __VA_OPT__(, ) 5000, 1)); \
    } while (0)

}  // namespace

// Every kind of conversion, small and past the limits where widths and
// precisions are cut (4,096; digits: 1,200 for double, 17,000 for long double,
// 1,151 otherwise),
// against the C library itself.
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
    // Formats left to vsnprintf as a whole: numbered arguments, rarer conversions.
    EXPECT_EQ(ours("%2$s %1$s", "world", "hello"), reference("%2$s %1$s", "world", "hello"));
    EXPECT_EQ(ours("%lc %ls %5%|%y|tail%", L'x', L"wide"),
              reference("%lc %ls %5%|%y|tail%", L'x', L"wide"));
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
    EXPECT_EQ(got, reference("ab%n%*d%n%s%hhn%lln", &ra, 5000, 1, &rb, "xyz", &reference_small,
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
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ours("%2147483647d", 5), (Formatted{1023, spaces}));
    EXPECT_EQ(ours("%-2147483647d", 5), (Formatted{1023, std::string("5").append(1022, ' ')}));
    EXPECT_EQ(ours("%.2147483647d", 5), (Formatted{1023, zeros}));
    EXPECT_EQ(ours("%+.2147483600x", 255u), (Formatted{1023, zeros}));
    EXPECT_EQ(ours("%0+2147483600d", -42), (Formatted{1023, std::string("-").append(1022, '0')}));
    EXPECT_EQ(ours("%1000000000d%1000000000d%147483647d", 1, 2, 3), (Formatted{1023, spaces}));
    int last = 0;
    EXPECT_EQ(ours("ab%2147483645d%n", 1, &last),
              (Formatted{1023, std::string("ab").append(1021, ' ')}));
    EXPECT_EQ(last, INT_MAX);
    // One character more than an int counts, and widths an int cannot hold.
    EXPECT_EQ(ours("%1000000000d%1000000000d%147483648d", 1, 2, 3), (Formatted{0, ""}));
    EXPECT_EQ(ours("ab%-2147483646d", 1), (Formatted{0, ""}));
    EXPECT_EQ(ours("%*d", INT_MIN, 5), (Formatted{0, ""}));
    EXPECT_EQ(ours("%2147483648d", 5), (Formatted{0, ""}));
    EXPECT_EQ(ours("x%.99999999999f", 1.0), (Formatted{0, ""}));
    // Floating point: the exact expansion, then zeros.
    Formatted tenth = ours("%.2147483600f", 0.1);
    EXPECT_EQ(tenth.count, 1023);
    EXPECT_EQ(tenth.text, reference("%.1021f", 0.1).text);
    EXPECT_EQ(ours("%.100000000e", 0.1).text, reference("%.1021e", 0.1).text);
    EXPECT_EQ(ours("%.100000000g", 0.1), reference("%.100g", 0.1));  // trailing zeros go
    EXPECT_EQ(ours("%.100000000Lf", 1e-4940L).text, reference("%.1021Lf", 1e-4940L).text);
    EXPECT_EQ(ours("%.2147483647f", INFINITY), (Formatted{3, "inf"}));
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), 1.0);
}

class LineFormatCalls : public CanvasTest {};

// Both formatting calls of the package: the count and the kept line.
TEST_F(LineFormatCalls, LogPrintfAndPrintTextKeep1023CharactersOfAHugeField) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(log_printf("%2147483647d", 5), 1023);
    EXPECT_EQ(log_lines().back(), std::string(1023, ' '));
    EXPECT_EQ(print_text(0, 0, 0, 10, "%-2147483647d", 5), 1023);
    const std::string too_long = "%1000000000d%1000000000d%147483648d";  // INT_MAX + 1
    EXPECT_EQ(print_text(0, 0, 0, 10, too_long.c_str(), 1, 2, 3), 0);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), 1.0);
    EXPECT_LT(count(0xFFFFFF), canvas_width * canvas_height);  // the 5 was drawn
}
