// Tests: comparing a picture with a golden PNG in tests/golden/, and a text with a
// golden text file there.
//
//   EXPECT_TRUE(matches_golden("erase_canvas", width, height, pixels));
//
// compares width x height COLORREF pixels with tests/golden/erase_canvas.png, pixel
// for pixel. On a mismatch (or a missing golden file) the actual picture is written
// to TAVLO_TEST_OUTPUT_DIR/<name>.png and the failure says how many pixels differ
// and where the first one is. To accept new pictures after an intended change, run
// the tests with TAVLO_UPDATE_GOLDEN=1: the golden files are rewritten instead
// (look at every rewritten picture before committing it).
//
//   EXPECT_TRUE(matches_golden_text("panel_calls", text));
//
// does the same for a text and tests/golden/panel_calls.txt, naming the first
// line that differs (the actual text goes to TAVLO_TEST_OUTPUT_DIR/<name>.txt).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "portable/gdi/objects.h"
#include "portable/image/png_file.h"

namespace tavlo_test {

inline std::string golden_path(const std::string& name) {
    return std::string(TAVLO_GOLDEN_DIR) + "/" + name + ".png";
}

inline std::string output_path(const std::string& name) {
    std::error_code ignored;
    std::filesystem::create_directories(TAVLO_TEST_OUTPUT_DIR, ignored);
    return std::string(TAVLO_TEST_OUTPUT_DIR) + "/" + name + ".png";
}

// Whether the file system is a POSIX system's, with devices, links to them, FIFOs,
// permissions and size limits: not so in the WebAssembly build's file system.
inline bool posix_files() {
#ifdef __EMSCRIPTEN__
    return false;
#else
    return true;
#endif
}

inline bool updating_golden() {
    const char* flag = std::getenv("TAVLO_UPDATE_GOLDEN");
    return flag != nullptr && std::string(flag) == "1";
}

inline std::string hex_colour(uint32_t colour) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", unsigned(colour & 0xFFFFFF));
    return text;
}

// Writes the actual picture next to the test output and adds its path to `failure`.
inline ::testing::AssertionResult with_actual(::testing::AssertionResult failure,
                                              const std::string& name, int width, int height,
                                              const uint32_t* pixels) {
    std::string path = output_path(name);
    std::string error;
    if (portable::write_png(path, width, height, pixels, 0, &error)) {
        return failure << "; actual picture written to " << path
                       << " (TAVLO_UPDATE_GOLDEN=1 accepts it)";
    }
    return failure << "; could not write the actual picture: " << error;
}

inline ::testing::AssertionResult matches_golden(const std::string& name, int width, int height,
                                                 const uint32_t* pixels) {
    if (updating_golden()) {
        std::string error;
        if (portable::write_png(golden_path(name), width, height, pixels, 0, &error)) {
            return ::testing::AssertionSuccess() << "golden picture rewritten";
        }
        return ::testing::AssertionFailure() << "cannot rewrite golden picture: " << error;
    }
    int golden_width = 0, golden_height = 0;
    std::vector<uint32_t> golden;
    std::string error;
    if (!portable::read_png(golden_path(name), &golden_width, &golden_height, golden, &error)) {
        return with_actual(::testing::AssertionFailure() << "no golden picture: " << error, name,
                           width, height, pixels);
    }
    if (golden_width != width || golden_height != height) {
        return with_actual(::testing::AssertionFailure()
                               << name << ": size " << width << "x" << height << ", golden "
                               << golden_width << "x" << golden_height,
                           name, width, height, pixels);
    }
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < golden.size(); ++i) {
        if ((pixels[i] & 0xFFFFFF) == golden[i]) continue;
        if (differing++ == 0) first = i;
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    return with_actual(::testing::AssertionFailure()
                           << name << ": " << differing << " pixels differ; first at ("
                           << first % width << ", " << first / width << "): "
                           << hex_colour(pixels[first]) << ", golden " << hex_colour(golden[first]),
                       name, width, height, pixels);
}

inline ::testing::AssertionResult matches_golden(const std::string& name, const HBITMAP__& bitmap) {
    if (bitmap.pixels.size() < size_t(bitmap.width) * size_t(bitmap.height)) {
        return ::testing::AssertionFailure() << "bitmap without pixels";
    }
    return matches_golden(name, bitmap.width, bitmap.height, bitmap.pixels.data());
}

inline ::testing::AssertionResult matches_golden_text(const std::string& name,
                                                      const std::string& text) {
    const std::string golden_file = std::string(TAVLO_GOLDEN_DIR) + "/" + name + ".txt";
    if (updating_golden()) {
        std::ofstream out(golden_file, std::ios::binary);
        out << text;
        out.close();
        if (out) return ::testing::AssertionSuccess() << "golden text rewritten";
        return ::testing::AssertionFailure() << "cannot rewrite golden text " << golden_file;
    }
    std::ifstream in(golden_file, std::ios::binary);
    std::ostringstream golden;
    golden << in.rdbuf();
    if (in && golden.str() == text) return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    if (!in) {
        failure << "no golden text " << golden_file;
    } else {
        std::istringstream actual_lines(text), golden_lines(golden.str());
        std::string actual_line, golden_line;
        int number = 1;
        while (true) {
            const bool more_actual = bool(std::getline(actual_lines, actual_line));
            const bool more_golden = bool(std::getline(golden_lines, golden_line));
            if (!more_actual || !more_golden || actual_line != golden_line) {
                failure << name << ": line " << number << " is \""
                        << (more_actual ? actual_line : "(the end)") << "\", golden \""
                        << (more_golden ? golden_line : "(the end)") << "\"";
                break;
            }
            ++number;
        }
    }
    std::error_code ignored;
    std::filesystem::create_directories(TAVLO_TEST_OUTPUT_DIR, ignored);
    const std::string path = std::string(TAVLO_TEST_OUTPUT_DIR) + "/" + name + ".txt";
    std::ofstream out(path, std::ios::binary);
    out << text;
    return failure << "; actual text written to " << path << " (TAVLO_UPDATE_GOLDEN=1 accepts it)";
}

}  // namespace tavlo_test
