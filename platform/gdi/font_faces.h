// What the font files of the GDI stand-in share: FreeType and fontconfig handles, the process-wide font
// library, and the faces behind one font. Internal to the font code, the one place that includes FreeType.
#pragma once

#include "platform/gdi/font.h"
#include "platform/owned_handles.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>

#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace platform {

using FaceHandle = std::unique_ptr<FT_FaceRec_, Deleter<FT_Done_Face>>;
using PatternHandle = std::unique_ptr<FcPattern, Deleter<FcPatternDestroy>>;
using FontSetHandle = std::unique_ptr<FcFontSet, Deleter<FcFontSetDestroy>>;

// FreeType and the font configuration, made on first use and kept until the process exits: fonts may
// outlive any scope that could own them, and faces must never outlive their library.
struct FontLibrary {
    FT_Library freetype = nullptr;
    FcConfig* config = nullptr;
};

// The library once FreeType and the configuration are up; null when fonts cannot be used.
FontLibrary* library();
// The scalable face a fontconfig match names, with its Unicode character map; null when unusable.
FaceHandle openFace(FT_Library freetype, const FcPattern* match);

// The font handles the program holds.
std::unordered_set<FontObject*>& liveFonts();
// True while any font handle is alive or still selected into a device context.
bool fontsStillHeld();

// The faces behind one font: the matched face and, found when first needed, the installed faces that
// fill in characters it lacks.
struct FontFaces {
    FaceHandle primary;
    PatternHandle request;  // the configured request, kept for the fallback search
    FT_F26Dot6 emSize = 0;  // pixels per em, 26.6
    FT_Pos emboldenStrength = 0;  // 26.6; 0 when the face carries its own weight
    std::string family;

    bool fallbackSearched = false;
    FontSetHandle fallbackSet;
    std::vector<std::pair<int, FaceHandle>> fallbackFaces;  // by position in fallbackSet

    FT_Face faceFor(char32_t c, FT_UInt& index);
    void render(FT_Face face, FT_UInt index, int ascent, Glyph& out) const;
};

}
