// Helpers for tests of the package: a fresh package state with an off-screen
// canvas of its own (no windows), and read-back of the message log and pixels.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fresh_state.h"
#include "package_state.h"
#include "portable/gdi/objects.h"
#include "portable/kernel/system.h"

namespace test_support {

// The stored lines of the message log, oldest first, exactly as stored.
inline std::vector<std::string> log_lines() {
    std::vector<std::string> lines;
    const PackageState& s = package_state;
    if (s.log_oldest < 0) return lines;
    int slot = s.log_oldest;
    do {
        const char* text = static_cast<const char*>(GlobalLock(s.log_slots[slot]));
        lines.emplace_back(text ? text : "");
        GlobalUnlock(s.log_slots[slot]);
        slot = (slot + 1) % log_ring_size;
    } while (slot != s.log_next);
    return lines;
}

// Makes a fresh empty folder the current directory for the test's life (the
// script file lives in the current directory), and removes it afterwards.
class ScopedWorkFolder {
public:
    explicit ScopedWorkFolder(const std::string& prefix)
        : previous_(std::filesystem::current_path()),
          folder_(std::filesystem::temp_directory_path() /
                  (prefix + "-" + std::to_string(getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        std::filesystem::current_path(folder_);
    }
    ~ScopedWorkFolder() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }
    ScopedWorkFolder(const ScopedWorkFolder&) = delete;
    ScopedWorkFolder& operator=(const ScopedWorkFolder&) = delete;

private:
    std::filesystem::path previous_;
    std::filesystem::path folder_;
};

// The whole content of a file ("" if there is none).
inline std::string file_text(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Writes a whole file, replacing what it held.
inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Catches every line the message log receives, beyond the ring's 25.
class LogCapture {
public:
    LogCapture() {
        portable::set_debug_output_sink([this](const char* text) { lines.emplace_back(text); });
    }
    ~LogCapture() { portable::set_debug_output_sink(nullptr); }
    std::vector<std::string> lines;
};

// A package state without a display: a 601 x 540 canvas in a memory DC, centre at
// (center_x, center_y), logging as given. The canvas starts white.
class CanvasTest : public ::testing::Test {
protected:
    void SetUp() override {
        fresh_state::open_offscreen_canvas();
        fill(0xFFFFFF);
    }
    void TearDown() override { reset_package_state(); }

    static std::vector<uint32_t>& pixels() { return package_state.canvas_bitmap->pixels; }
    void fill(COLORREF color) { std::fill(pixels().begin(), pixels().end(), color); }
    COLORREF pixel(int col, int row) const {
        if (col < 0 || row < 0 || col >= canvas_width || row >= canvas_height) return CLR_INVALID;
        return pixels()[size_t(row) * canvas_width + size_t(col)];
    }
    // The pixel of application point (x, y).
    COLORREF at(int x, int y) const { return pixel(center_x + x, center_y - y); }
    // Counts canvas pixels of one colour.
    int count(COLORREF color) const {
        return int(std::count(pixels().begin(), pixels().end(), color));
    }

    static constexpr int center_x = fresh_state::canvas_center_x;
    static constexpr int center_y = fresh_state::canvas_center_y;
};

}  // namespace test_support
