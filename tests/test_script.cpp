// The script file: the reader's handling of good, counted, empty and malformed
// lines, the writer's line formats, and files that are not regular files or
// cannot be written. Each test works in a fresh folder of its
// own, since the script is "TAVLO.SCR" in the current directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "image_compare.h"
#include "package_test_support.h"

using test_support::log_lines;
namespace fs = std::filesystem;

class Script : public ::testing::Test {
protected:
    void SetUp() override {
        reset_package_state();
        work = std::make_unique<test_support::ScopedWorkFolder>("tavlo-script");
    }
    void TearDown() override {
        reset_package_state();
        work.reset();
    }

    static void write_script(const std::string& bytes) {
        std::ofstream file("TAVLO.SCR", std::ios::binary);
        file << bytes;
    }
    static std::string read_script() { return test_support::file_text("TAVLO.SCR"); }
    // Reads one event as playback does; returns its kind, or 0 when the read ended
    // playback.
    static int next() {
        package_state.playback = true;
        package_state.pending_kind = EventKind::None;
        return read_script_event() ? package_state.pending_kind : 0;
    }

    struct Event {
        int kind, x, y;
        signed char key;
    };

    std::unique_ptr<test_support::ScopedWorkFolder> work;
};

TEST_F(Script, WriterLineFormats) {
    record_event(EventKind::Mouse, 10, -20, 0);
    package_state.periodic_count = 3;
    record_event(EventKind::Periodic, 0, 0, 0);
    record_event(EventKind::Key, 0, 0, 'a');
    record_event(EventKind::Key, 0, 0, static_cast<signed char>(233));
    record_event(EventKind::Quit, 0, 0, 0);
    close_script();
    EXPECT_EQ(read_script(),
              "TAVLO_MOUSE(10, -20);\nTAVLO_PERIODIC(3);\nTAVLO_KBD(97);\nTAVLO_KBD(-23);\n");
}

TEST_F(Script, ReaderDeliversEventsAndCountedPeriodicLines) {
    write_script(
        "TAVLO_MOUSE(-5, 7);\nTAVLO_PERIODIC(3);\nTAVLO_KBD(97);\n"
        "TAVLO_PERIODIC(0);\nTAVLO_PERIODIC(1);\n");
    EXPECT_EQ(next(), EventKind::Mouse);
    EXPECT_EQ(package_state.pending_x, -5);
    EXPECT_EQ(package_state.pending_y, 7);
    EXPECT_EQ(next(), EventKind::Periodic);
    EXPECT_EQ(next(), EventKind::Periodic);
    EXPECT_EQ(next(), EventKind::Periodic);
    EXPECT_EQ(next(), EventKind::Key);
    EXPECT_EQ(package_state.pending_key, 'a');
    EXPECT_EQ(next(), EventKind::Periodic);  // a count of 0 still gives one
    EXPECT_EQ(next(), EventKind::Periodic);
    EXPECT_TRUE(log_lines().empty());
    EXPECT_EQ(next(), 0);
    EXPECT_EQ(log_lines(),
              (std::vector<std::string>{"EOF encountered in script file TAVLO.SCR\n"}));
    EXPECT_FALSE(package_state.playback);
    EXPECT_EQ(package_state.script_stream, nullptr);  // the next playback starts afresh
    EXPECT_EQ(next(), EventKind::Mouse);
}

TEST_F(Script, EmptyLinesAreSkippedAlsoWithCarriageReturns) {
    write_script("\n\r\n\nTAVLO_KBD(65);\r\n\r\nTAVLO_MOUSE(1, 2);\r\n");
    EXPECT_EQ(next(), EventKind::Key);
    EXPECT_EQ(package_state.pending_key, 'A');
    EXPECT_EQ(next(), EventKind::Mouse);
    EXPECT_EQ(package_state.pending_y, 2);
}

TEST_F(Script, KeysAbove127RoundTrip) {
    for (int code = 1; code < 256; ++code)
        record_event(EventKind::Key, 0, 0, static_cast<signed char>(code));
    close_script();
    for (int code = 1; code < 256; ++code) {
        ASSERT_EQ(next(), EventKind::Key) << code;
        EXPECT_EQ(static_cast<unsigned char>(package_state.pending_key), code);
    }
}

TEST_F(Script, AFinalLineWithoutNewlineIsNotReplayed) {
    write_script("TAVLO_KBD(1);\nTAVLO_KBD(2);");
    EXPECT_EQ(next(), EventKind::Key);
    EXPECT_EQ(next(), 0);
    EXPECT_EQ(log_lines().back(), "EOF encountered in script file TAVLO.SCR\n");
}

TEST_F(Script, AMissingFileEndsPlaybackWithOneMessage) {
    package_state.play_one = true;
    EXPECT_EQ(next(), 0);
    EXPECT_FALSE(package_state.playback);
    EXPECT_FALSE(package_state.play_one);
    EXPECT_EQ(log_lines(),
              (std::vector<std::string>{"Cannot open script file TAVLO.SCR for reading\n"}));
}

TEST_F(Script, MalformedLinesAreUnrecognisedAndEndPlayback) {
    const char* bad_lines[] = {
        "   \n",                            // spaces are not an empty line
        "TAVLO_kBD(97);\n",                 // the deciding letters are capitals
        "TAVLO\n",                          // shorter than seven characters
        "TAVLO_KBD();\n",                   // no digits
        "TAVLO_MOUSE(12);\n",               // only one of two numbers
        "TAVLO_MOUSE(1, -);\n",             // a sign is not a number
        "TAVLO_PERIODIC(123456789012);\n",  // a run longer than eleven characters
        "TAVLO_MOUSE(9999999999, 1);\n",    // outside the int range
        "TAVLO_XYZ(1);\n",
    };
    for (const char* line : bad_lines) {
        reset_package_state();
        write_script(std::string(line) + "TAVLO_KBD(50);\n");
        EXPECT_EQ(next(), 0) << line;
        EXPECT_EQ(log_lines(),
                  (std::vector<std::string>{"Unrecognised line in script file TAVLO.SCR\n"}))
            << line;
        EXPECT_EQ(package_state.script_stream, nullptr);
    }
}

TEST_F(Script, NumbersFollowTheirRuns) {
    write_script("TAVLO_MOUSE(3-4, -2147483648);\nTAVLO_KBD(-23);\nTAVLO_PERIODIC(-5);\n");
    EXPECT_EQ(next(), EventKind::Mouse);
    EXPECT_EQ(package_state.pending_x, 3);
    EXPECT_EQ(package_state.pending_y, INT_MIN);
    EXPECT_EQ(next(), EventKind::Key);
    EXPECT_EQ(package_state.pending_key, -23);
    EXPECT_EQ(next(), EventKind::Periodic);  // counts are read without a sign: 5
    EXPECT_EQ(package_state.periodic_count, 4);
}

TEST_F(Script, AnOverlongLineIsOneLine) {
    std::string line = "TAVLO_KBD(7);" + std::string(2000, ' ') + "TAVLO_KBD(8);\n";
    write_script(line + "TAVLO_KBD(9);\n");
    EXPECT_EQ(next(), EventKind::Key);
    EXPECT_EQ(package_state.pending_key, 7);
    EXPECT_EQ(next(), EventKind::Key);
    EXPECT_EQ(package_state.pending_key, 9);
}

TEST_F(Script, AnUnwritableFolderReportsEveryEvent) {
    fs::create_directory("TAVLO.SCR");  // a folder where the file should go
    record_event(EventKind::Mouse, 1, 1, 0);
    record_event(EventKind::Key, 0, 0, 'x');
    EXPECT_EQ(log_lines(),
              (std::vector<std::string>{"Cannot open script file TAVLO.SCR for writing\n",
                                        "Cannot open script file TAVLO.SCR for writing\n"}));
}

TEST_F(Script, ALineEndsAtItsNewlineWhateverBytesItHolds) {
    write_script(std::string("TAVLO_KBD(65);\0junk\nTAVLO_KBD(66);\nTAVLO_KBD(67);\n", 50));
    for (int key : {65, 66, 67}) {
        EXPECT_EQ(next(), EventKind::Key);
        EXPECT_EQ(package_state.pending_key, key);
    }
    // The parsers see a line up to its first NUL byte.
    for (const std::string& line :
         {std::string("\0\n", 2), std::string("TAVLO_KBD(\0 7);\n", 16)}) {
        reset_package_state();
        write_script(line + "TAVLO_KBD(50);\n");
        EXPECT_EQ(next(), 0);
        EXPECT_EQ(log_lines(),
                  (std::vector<std::string>{"Unrecognised line in script file TAVLO.SCR\n"}));
    }
}

TEST_F(Script, AFolderIsNoScriptToPlay) {
    fs::create_directory("TAVLO.SCR");
    EXPECT_EQ(next(), 0);
    EXPECT_FALSE(package_state.playback);
    EXPECT_EQ(log_lines(),
              (std::vector<std::string>{"Cannot open script file TAVLO.SCR for reading\n"}));
}

namespace {

// Runs `open_it` on a thread; when it has not returned within 30 seconds it hung
// in the open of the FIFO `path`, and opening the FIFO's other end
// (`other_end_flags`) releases it. Returns whether it returned by itself.
bool returns_without_other_end(const std::function<void()>& open_it, const char* path,
                               int other_end_flags) {
    auto done = std::async(std::launch::async, open_it);
    if (done.wait_for(std::chrono::seconds(30)) == std::future_status::ready) return true;
    int other_end = ::open(path, other_end_flags | O_NONBLOCK);
    done.wait();
    if (other_end >= 0) ::close(other_end);
    return false;
}

}  // namespace

TEST_F(Script, AFifoIsRefusedWithoutWaitingForItsOtherEnd) {
    if (!tavlo_test::posix_files()) GTEST_SKIP() << "no FIFOs here";
    ASSERT_EQ(mkfifo("TAVLO.SCR", 0600), 0);
    EXPECT_TRUE(returns_without_other_end([] { next(); }, "TAVLO.SCR", O_WRONLY))
        << "hung: opening the FIFO for reading waited for a writer";
    EXPECT_FALSE(package_state.playback);
    EXPECT_EQ(log_lines(),
              (std::vector<std::string>{"Cannot open script file TAVLO.SCR for reading\n"}));

    reset_package_state();
    EXPECT_TRUE(returns_without_other_end([] { record_event(EventKind::Key, 0, 0, 'a'); },
                                          "TAVLO.SCR", O_RDONLY))
        << "hung: opening the FIFO for writing waited for a reader";
    // A FIFO with a reader at its other end is refused as well, and gets nothing.
    int reader = ::open("TAVLO.SCR", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    record_event(EventKind::Key, 0, 0, 'b');
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
    EXPECT_EQ(package_state.script_stream, nullptr);
    EXPECT_EQ(log_lines(),
              (std::vector<std::string>{"Cannot open script file TAVLO.SCR for writing\n",
                                        "Cannot open script file TAVLO.SCR for writing\n"}));
}

TEST_F(Script, EveryRecordedLineIsInTheFileAtOnce) {
    record_event(EventKind::Mouse, 4, -5, 0);
    EXPECT_EQ(read_script(), "TAVLO_MOUSE(4, -5);\n");
    record_event(EventKind::Key, 0, 0, 'z');
    EXPECT_EQ(read_script(), "TAVLO_MOUSE(4, -5);\nTAVLO_KBD(122);\n");
    EXPECT_TRUE(log_lines().empty());
}

TEST_F(Script, AFailedWriteIsSaidOncePerRecording) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", "TAVLO.SCR");  // a full disk
    package_state.recording = true;
    record_event(EventKind::Mouse, 1, 2, 0);
    record_event(EventKind::Key, 0, 0, 'k');
    package_state.periodic_count = 4;
    close_script();  // the count line is due at the close as well
    const std::vector<std::string> once{"Cannot write script file TAVLO.SCR\n"};
    EXPECT_EQ(log_lines(), once);

    fs::remove("TAVLO.SCR");  // the next recording has room again
    record_event(EventKind::Key, 0, 0, 'k');
    close_script();
    EXPECT_EQ(read_script(), "TAVLO_KBD(107);\n");
    EXPECT_EQ(log_lines(), once);
}

TEST_F(Script, ClosingWhileRecordingWritesTheCountedPeriodicLine) {
    package_state.recording = true;  // as when the display closes at quit
    record_event(EventKind::Key, 0, 0, 'q');
    package_state.periodic_count = 2;
    close_script();
    EXPECT_EQ(read_script(), "TAVLO_KBD(113);\nTAVLO_PERIODIC(2);\n");
    EXPECT_EQ(package_state.periodic_count, 0);
}

TEST_F(Script, AScriptEventKeepsNoFieldOfLiveInput) {
    // Live input pumped in the same pass has set fields the script event does
    // not carry; the event must reach the application as it was recorded.
    write_script("TAVLO_KBD(65);\nTAVLO_MOUSE(1, 2);\nTAVLO_PERIODIC(2);\n");
    const Event played[] = {{EventKind::Key, 0, 0, 65},
                            {EventKind::Mouse, 1, 2, 0},
                            {EventKind::Periodic, 0, 0, 0},
                            {EventKind::Periodic, 0, 0, 0}};
    for (const Event& expected : played) {
        package_state.pending_x = 300;
        package_state.pending_y = -300;
        package_state.pending_key = 'z';
        ASSERT_EQ(next(), expected.kind);
        EXPECT_EQ(package_state.pending_x, expected.x);
        EXPECT_EQ(package_state.pending_y, expected.y);
        EXPECT_EQ(package_state.pending_key, expected.key);
    }
}

// The lines of the kinds enable_input switches on: each is read only while its
// kind is on. For a program that has not switched it on it is an unrecognised
// line (playback ends with the message), never a click or a key, whatever the
// letters after its seventh character; a malformed one is unrecognised too.
TEST_F(Script, InputLinesAreReadOnlyWhileTheirKindIsOn) {
    struct Case {
        const char* line;
        int kind_needed;
        Event event;  // x, y, key as wait_event hands them out
    };
    const Case good[] = {
        {"TAVLO_UP(-3, 4, 1);\n", InputKind::MouseRelease, {EventKind::MouseUp, -3, 4, 1}},
        {"TAVLO_UP(5, 6, 2);\n",
         InputKind::MouseRelease | InputKind::RightButton,
         {EventKind::MouseUp, 5, 6, 2}},
        {"TAVLO_DRAG(7, -8, 3);\n", InputKind::MouseMovement, {EventKind::MouseMove, 7, -8, 3}},
        {"TAVLO_RIGHT(-9, 10);\n", InputKind::RightButton, {EventKind::RightMouse, -9, 10, 0}},
        {"TAVLO_VKEY(123, 7);\n", InputKind::SpecialKeys, {EventKind::SpecialKey, 7, 123, 123}},
        {"TAVLO_LIFT(222, 0);\n",
         InputKind::KeyRelease,
         {EventKind::KeyUp, 0, 222, static_cast<signed char>(222)}},
    };
    const std::vector<std::string> unrecognised = {"Unrecognised line in script file TAVLO.SCR\n"};
    for (const Case& c : good) {
        for (int kinds : {0, InputKind::All & ~c.kind_needed, c.kind_needed}) {
            reset_package_state();
            enable_input(kinds);
            write_script(std::string(c.line) + "TAVLO_KBD(50);\n");
            if (kinds != c.kind_needed) {
                EXPECT_EQ(next(), 0) << c.line << kinds;
                EXPECT_EQ(log_lines(), unrecognised) << c.line << kinds;
                continue;
            }
            ASSERT_EQ(next(), c.event.kind) << c.line;
            EXPECT_EQ(package_state.pending_x, c.event.x) << c.line;
            EXPECT_EQ(package_state.pending_y, c.event.y) << c.line;
            EXPECT_EQ(package_state.pending_key, c.event.key) << c.line;
            EXPECT_EQ(next(), EventKind::Key) << c.line;  // the reader stays in step
        }
    }
    const char* bad[] = {
        "TAVLO_UP(1, 2, 3);\n",     // no such button
        "TAVLO_UP(1, 2);\n",        // the button missing
        "TAVLO_DRAG(1, 2, 4);\n",   // buttons beyond left and right
        "TAVLO_RIGHT(1);\n",        // one coordinate
        "TAVLO_VKEY(65, 0);\n",     // a character key is no special key
        "TAVLO_VKEY(37, 8);\n",     // modifiers beyond Shift, Ctrl, Alt
        "TAVLO_LIFT(0, 0);\n",      // no key
        "TAVLO_LIFT(255, 0);\n",    // beyond the codes
        "TAVLO_LIFT(37);\n",        // the modifiers missing
        "TAVLO_WHEEL(1, 2, 1);\n",  // a letter that is no kind
    };
    for (const char* line : bad) {
        reset_package_state();
        enable_input(InputKind::All);
        write_script(std::string(line) + "TAVLO_KBD(50);\n");
        package_state.pending_x = 11;
        EXPECT_EQ(next(), 0) << line;
        EXPECT_EQ(log_lines(), unrecognised) << line;
        EXPECT_EQ(package_state.pending_kind, EventKind::None) << line;  // nothing half-set
        EXPECT_EQ(package_state.pending_x, 11) << line;
    }
}
