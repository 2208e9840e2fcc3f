// Portable GDI: where the face file for a font family is found.
//
// On desktops the files come from fontconfig; in the web build (TAVLO_BUILTIN_FONTS)
// from the few faces built into the program, the ones a desktop picks for the
// package's requests, so text is the same there. The font cache asks through
// these calls only and caches what they answer.
#pragma once

#include <memory>
#include <string>

namespace portable {

// A face in a file: the file's path and the face's index inside it.
struct FontFileLocation {
    std::string path;
    int index = 0;
};

// What is asked for: a family name, an OpenType weight (100..1000), the slant
// and, with `fixed`, fixed pitch when the family itself is not there.
struct FontFileRequest {
    const char* family = "";
    int weight = 400;
    bool italic = false;
    bool fixed = false;
    // Only a face of that very family will do (else the nearest offered face).
    bool exact = false;
};

class FontFileFinder {
public:
    virtual ~FontFileFinder() = default;
    // False when no face answers the request.
    virtual bool find(const FontFileRequest& request, FontFileLocation& found) = 0;
};

// The process's finder, or nullptr when none can work (no configuration).
std::unique_ptr<FontFileFinder> make_font_file_finder();

}  // namespace portable
