// Image files: PNG round trips, animated GIFs read back with giflib, failures, and
// the golden-picture helper.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "image_compare.h"
#include "portable/image/gif_writer.h"
#include "portable/image/output_file.h"
#include "portable/image/png_file.h"
#include "win32.h"

namespace {

std::string temp_path(const std::string& name) {
    return tavlo_test::output_path(name);
}

// A picture of `colours` distinct colours in diagonal stripes.
std::vector<uint32_t> stripes(int width, int height, int colours) {
    std::vector<uint32_t> pixels(size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t k = uint32_t((x + 3 * y) % colours);
            pixels[size_t(y) * width + x] = RGB(k * 37, 255 - k, k * 7);
        }
    }
    return pixels;
}

TEST(PngFile, RoundTripIsExact) {
    for (int colours : {1, 24, 256, 300, 5000}) {
        std::vector<uint32_t> picture = stripes(97, 31, colours);
        std::string path = temp_path("round_trip.png");
        std::string error;
        ASSERT_TRUE(portable::write_png(path, 97, 31, picture.data(), 0, &error)) << error;
        int width = 0, height = 0;
        std::vector<uint32_t> back;
        ASSERT_TRUE(portable::read_png(path, &width, &height, back, &error)) << error;
        EXPECT_EQ(width, 97);
        EXPECT_EQ(height, 31);
        EXPECT_EQ(back, picture) << colours << " colours";
    }
    // A rectangle out of a larger picture, by stride; the top byte is ignored.
    std::vector<uint32_t> big = stripes(50, 40, 24);
    big[0] |= 0xFF000000;
    std::string path = temp_path("rectangle.png");
    ASSERT_TRUE(portable::write_png(path, 20, 10, big.data(), 50));
    int width = 0, height = 0;
    std::vector<uint32_t> back;
    ASSERT_TRUE(portable::read_png(path, &width, &height, back));
    ASSERT_EQ(back.size(), 200u);
    EXPECT_EQ(back[0], big[0] & 0xFFFFFF);
    EXPECT_EQ(back[9 * 20 + 19], big[9 * 50 + 19]);
}

TEST(PngFile, FailuresAreReportedNotThrown) {
    uint32_t pixel = 0;
    std::string error;
    EXPECT_FALSE(portable::write_png("/nonexistent-directory/x.png", 1, 1, &pixel, 0, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(portable::write_png(temp_path("empty.png"), 0, 5, &pixel));
    EXPECT_FALSE(portable::write_png(temp_path("null.png"), 1, 1, nullptr));
    EXPECT_FALSE(portable::write_png(temp_path("stride.png"), 4, 1, &pixel, 2));

    int width = 7, height = 7;
    std::vector<uint32_t> back(3);
    EXPECT_FALSE(portable::read_png("/nonexistent-directory/x.png", &width, &height, back));
    EXPECT_EQ(width, 0);
    EXPECT_TRUE(back.empty());
    std::string not_png = temp_path("not_a.png");
    FILE* file = std::fopen(not_png.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("\x89PNG\r\n\x1a\n this is not a picture", file);
    std::fclose(file);
    error.clear();
    EXPECT_FALSE(portable::read_png(not_png, &width, &height, back, &error));
    EXPECT_FALSE(error.empty());
}

// Plays a GIF file back: every frame composed onto the ones before it.
struct GifPlayback {
    int width = 0, height = 0, loops = -1;
    std::vector<std::vector<uint32_t>> frames;
    std::vector<int> delays;
    std::set<uint32_t> global_colours;
};

GifPlayback play(const std::string& path) {
    GifPlayback result;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    EXPECT_NE(gif, nullptr) << GifErrorString(error);
    if (gif == nullptr) return result;
    EXPECT_EQ(DGifSlurp(gif), GIF_OK);
    result.width = gif->SWidth;
    result.height = gif->SHeight;
    if (gif->SColorMap != nullptr) {
        for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
            const GifColorType& c = gif->SColorMap->Colors[i];
            result.global_colours.insert(RGB(c.Red, c.Green, c.Blue));
        }
    }
    std::vector<uint32_t> screen(size_t(gif->SWidth) * gif->SHeight, 0);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        for (int e = 0; e < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                std::string(reinterpret_cast<char*>(block.Bytes), 11) == "NETSCAPE2.0" &&
                e + 1 < image.ExtensionBlockCount) {
                const ExtensionBlock& data = image.ExtensionBlocks[e + 1];
                result.loops = data.Bytes[1] | (data.Bytes[2] << 8);
            }
        }
        GraphicsControlBlock control{};
        DGifSavedExtensionToGCB(gif, i, &control);
        result.delays.push_back(control.DelayTime);
        const GifImageDesc& d = image.ImageDesc;
        const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : gif->SColorMap;
        for (int y = 0; y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const GifColorType& c = map->Colors[image.RasterBits[y * d.Width + x]];
                screen[size_t(d.Top + y) * gif->SWidth + d.Left + x] = RGB(c.Red, c.Green, c.Blue);
            }
        }
        result.frames.push_back(screen);
    }
    DGifCloseFile(gif, &error);
    return result;
}

TEST(GifWriter, FramesPlayBackExactly) {
    const int width = 64, height = 48;
    std::vector<std::vector<uint32_t>> frames;
    frames.push_back(stripes(width, height, 24));
    frames.push_back(frames.back());
    for (int y = 10; y < 20; ++y) frames.back()[y * width + 30] = frames[0][5];  // small change
    frames.push_back(frames.back());                                             // unchanged
    frames.push_back(frames.back());
    frames.back()[47 * width + 63] = RGB(1, 2, 3);  // a colour the global table lacks
    frames.push_back(stripes(width, height, 40));   // 16 new colours everywhere
    frames.push_back(frames[0]);                    // back to the global table

    std::string path = temp_path("animation.gif");
    portable::GifWriter writer;
    ASSERT_TRUE(writer.open(path, width, height)) << writer.error();
    uint32_t reserved = RGB(9, 9, 9);
    writer.reserve_colours(&reserved, 1);
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(writer.add_frame(frames[i].data(), int(5 + i))) << writer.error();
    }
    ASSERT_TRUE(writer.close()) << writer.error();
    EXPECT_EQ(writer.frame_count(), 6);

    GifPlayback gif = play(path);
    EXPECT_EQ(gif.width, width);
    EXPECT_EQ(gif.height, height);
    EXPECT_EQ(gif.loops, 0);  // forever
    ASSERT_EQ(gif.frames.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(gif.frames[i], frames[i]) << "frame " << i;
        EXPECT_EQ(gif.delays[i], int(5 + i));
    }
    std::set<uint32_t> first(frames[0].begin(), frames[0].end());
    first.insert(reserved);
    for (uint32_t c : first) EXPECT_EQ(gif.global_colours.count(c), 1u);
    EXPECT_LE(gif.global_colours.size(), 32u);
    // Only the changed column of the second frame is stored.
    EXPECT_LT(std::filesystem::file_size(path), 4000u);
}

TEST(GifWriter, ManyColoursAndFailures) {
    const int width = 200, height = 60;  // 377 colours in the first frame
    std::vector<uint32_t> noisy = stripes(width, height, 1000);
    std::string path = temp_path("many_colours.gif");
    portable::GifWriter writer;
    ASSERT_TRUE(writer.open(path, width, height));
    ASSERT_TRUE(writer.add_frame(noisy.data(), 10));
    ASSERT_TRUE(writer.add_frame(stripes(width, height, 3).data(), 10));
    ASSERT_TRUE(writer.close());
    GifPlayback gif = play(path);
    ASSERT_EQ(gif.frames.size(), 2u);
    EXPECT_EQ(gif.frames[1], stripes(width, height, 3));
    EXPECT_EQ(gif.global_colours.size(), 256u);  // the first 256, the rest mapped near

    portable::GifWriter refused;
    EXPECT_FALSE(refused.open("/nonexistent-directory/x.gif", 10, 10));
    EXPECT_FALSE(refused.error().empty());
    EXPECT_FALSE(refused.add_frame(noisy.data(), 1));
    EXPECT_FALSE(refused.open(temp_path("huge.gif"), 70000, 10));

    // Closed before any frame: still a valid one-frame file.
    portable::GifWriter empty;
    ASSERT_TRUE(empty.open(temp_path("empty.gif"), 3, 2));
    EXPECT_TRUE(empty.close());
    EXPECT_EQ(play(temp_path("empty.gif")).frames.size(), 1u);

    // Sized by its first frame: frames of another size are skipped, and without
    // any frame nothing is written and the close fails.
    portable::GifWriter sized;
    std::string sized_path = temp_path("sized.gif");
    std::filesystem::remove(sized_path);
    ASSERT_TRUE(sized.open_at_first_frame(sized_path));
    ASSERT_TRUE(sized.add_sized_frame(stripes(4, 3, 2).data(), 4, 3, 5));
    ASSERT_TRUE(sized.add_sized_frame(stripes(5, 3, 2).data(), 5, 3, 5));
    ASSERT_TRUE(sized.add_sized_frame(stripes(4, 3, 3).data(), 4, 3, 5));
    ASSERT_TRUE(sized.close());
    EXPECT_EQ(play(sized_path).frames.size(), 2u);
    std::filesystem::remove(sized_path);
    ASSERT_TRUE(sized.open_at_first_frame(sized_path));
    EXPECT_FALSE(sized.close());
    EXPECT_NE(sized.error().find("no frame"), std::string::npos) << sized.error();
    EXPECT_FALSE(std::filesystem::exists(sized_path));
    EXPECT_FALSE(sized.open_at_first_frame("/nonexistent-directory/x.gif"));
}

TEST(GoldenPictures, MismatchIsReportedWithItsFirstPixel) {
    if (tavlo_test::updating_golden()) GTEST_SKIP() << "rewriting golden pictures";
    std::vector<uint32_t> picture = stripes(8, 6, 5);
    std::string name = "golden_helper_probe";
    ::testing::AssertionResult missing = tavlo_test::matches_golden(name, 8, 6, picture.data());
    EXPECT_FALSE(missing);
    EXPECT_NE(std::string(missing.message()).find("no golden picture"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(tavlo_test::output_path(name)));
}

}  // namespace

// ------------------------------------------------------------ failed writes

namespace {

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Files in `folder` other than `keep`: left-over temporary files.
std::vector<std::string> others_in(const std::string& folder, const std::string& keep) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (name != keep) names.push_back(name);
    }
    return names;
}

std::string fresh_folder(const std::string& name) {
    std::string folder = std::filesystem::path(temp_path(name)).replace_extension().string();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// A file size limit makes every write past `bytes` fail, as a full disk does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

}  // namespace

// A write that fails leaves what was at the path exactly as it was: a link to a
// device that refuses the bytes, or a file of the user's when the disk fills.
TEST(OutputFile, AFailedWriteLeavesThePathAsItWas) {
    if (!tavlo_test::posix_files()) GTEST_SKIP() << "no devices or file size limits here";
    std::string folder = fresh_folder("failed_writes");
    std::vector<uint32_t> picture = stripes(64, 64, 300);  // too many colours: a big file
    std::string link = folder + "/full.png";
    ASSERT_EQ(symlink("/dev/full", link.c_str()), 0);
    std::string error;
    EXPECT_FALSE(portable::write_png(link, 64, 64, picture.data(), 0, &error));
    EXPECT_NE(error.find("No space"), std::string::npos) << error;
    portable::GifWriter gif;
    ASSERT_TRUE(gif.open(link, 64, 64)) << gif.error();
    EXPECT_FALSE(gif.add_frame(picture.data(), 5) && gif.close());
    struct stat status;
    ASSERT_EQ(lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));

    std::string mine = folder + "/mine.png";
    put_text(mine, "the user's own file");
    {
        FileSizeLimit limit(512);
        EXPECT_FALSE(portable::write_png(mine, 64, 64, picture.data(), 0, &error));
        portable::GifWriter big;
        if (big.open(mine, 64, 64)) {
            EXPECT_FALSE(big.add_frame(picture.data(), 5) && big.close());
        }
    }
    EXPECT_EQ(file_text(mine), "the user's own file");
    std::vector<std::string> expected{"full.png"};
    EXPECT_EQ(others_in(folder, "mine.png"), expected);

    EXPECT_FALSE(portable::write_png(folder, 1, 1, picture.data(), 0, &error));  // a folder
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_FALSE(portable::OutputFile::can_write(folder + "/missing/x.png", error));
    EXPECT_TRUE(portable::OutputFile::can_write(folder + "/new.png", error));
    EXPECT_EQ(others_in(folder, "mine.png"), expected);  // checking leaves nothing behind
}

// A written file replaces the target whole; a new one gets the umask's usual
// permissions and a replaced one keeps its own; a link stays a link.
TEST(OutputFile, WrittenFilesReplaceTheTargetWithTheUsualPermissions) {
    if (!tavlo_test::posix_files()) GTEST_SKIP() << "no umask or permissions here";
    std::string folder = fresh_folder("written_files");
    std::vector<uint32_t> picture = stripes(16, 16, 5);
    mode_t saved = umask(022);
    std::string png = folder + "/a.png", gif_path = folder + "/a.gif";
    ASSERT_TRUE(portable::write_png(png, 16, 16, picture.data()));
    portable::GifWriter gif;
    ASSERT_TRUE(gif.open(gif_path, 16, 16));
    ASSERT_TRUE(gif.add_frame(picture.data(), 5) && gif.close()) << gif.error();
    struct stat status;
    ASSERT_EQ(stat(png.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
    ASSERT_EQ(stat(gif_path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);

    chmod(png.c_str(), 0600);
    std::string link = folder + "/link.png";
    ASSERT_EQ(symlink("a.png", link.c_str()), 0);
    ASSERT_TRUE(portable::write_png(link, 8, 8, picture.data()));
    umask(saved);
    ASSERT_EQ(lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    ASSERT_EQ(stat(png.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    int width = 0, height = 0;
    std::vector<uint32_t> back;
    ASSERT_TRUE(portable::read_png(png, &width, &height, back));
    EXPECT_EQ(width, 8);
    EXPECT_EQ(others_in(folder, "a.png").size(), 2u);  // a.gif and the link
}

namespace {

// Runs as the user nobody (effective ids) while it lives, when the tests run as
// root: root writes any file, a plain user is refused by permissions.
class PlainUser {
public:
    PlainUser() {
        if (geteuid() != 0) return;
        switched_ = setegid(65534) == 0 && seteuid(65534) == 0;
    }
    ~PlainUser() {
        if (!switched_) return;
        if (seteuid(0) != 0 || setegid(0) != 0) std::abort();
    }
    bool usable() const { return switched_ || geteuid() != 0; }

private:
    bool switched_ = false;
};

}  // namespace

// Paths a plain write refuses are refused, with the reason a plain write gives;
// a folder the file cannot be written beside is named; long names work.
TEST(OutputFile, RefusesWhatAPlainWriteRefuses) {
    if (!tavlo_test::posix_files()) GTEST_SKIP() << "no links or permissions here";
    std::string folder = fresh_folder("plain_write");
    std::vector<uint32_t> picture = stripes(8, 8, 3);
    std::string error;

    // A chain of links that never ends is no file to replace.
    std::string loop = folder + "/loop.png";
    ASSERT_EQ(symlink("loop2.png", loop.c_str()), 0);
    ASSERT_EQ(symlink("loop.png", (folder + "/loop2.png").c_str()), 0);
    EXPECT_FALSE(portable::OutputFile::can_write(loop, error));
    EXPECT_NE(error.find("Too many levels of symbolic links"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(portable::write_png(loop, 8, 8, picture.data(), 0, &error));
    EXPECT_NE(error.find("Too many levels of symbolic links"), std::string::npos) << error;
    struct stat status;
    ASSERT_EQ(lstat(loop.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));

    // A name of 254 characters is legal, so its picture is written.
    std::string long_name = folder + "/" + std::string(250, 'n') + ".png";
    EXPECT_TRUE(portable::write_png(long_name, 8, 8, picture.data(), 0, &error)) << error;

    // A file the user may not write, and a writable file in a folder the user may
    // not write: the first is refused as a plain write refuses it, the second
    // names the folder that must be writable.
    std::string locked = folder + "/locked.png", open_file = folder + "/closed/open.png";
    put_text(locked, "read-only");
    chmod(locked.c_str(), 0444);
    std::filesystem::create_directory(folder + "/closed");
    put_text(open_file, "writable");
    chmod(open_file.c_str(), 0666);
    chmod((folder + "/closed").c_str(), 0555);
    chmod(folder.c_str(), 0777);
    {
        PlainUser user;
        if (!user.usable()) GTEST_SKIP() << "cannot run as a plain user";
        error.clear();
        EXPECT_FALSE(portable::OutputFile::can_write(locked, error));
        EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
        EXPECT_FALSE(portable::write_png(locked, 8, 8, picture.data(), 0, &error));
        error.clear();
        EXPECT_FALSE(portable::OutputFile::can_write(open_file, error));
        EXPECT_NE(error.find("the folder " + folder + "/closed must be writable"),
                  std::string::npos)
            << error;
    }
    EXPECT_EQ(file_text(locked), "read-only");
    EXPECT_EQ(file_text(open_file), "writable");
    chmod((folder + "/closed").c_str(), 0755);
}
