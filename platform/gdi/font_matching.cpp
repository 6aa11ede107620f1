// Font matching: the font library's lifetime, the fontconfig request behind CreateFontA, the matched face
// sized to the requested cell, and the installed faces that fill in characters it lacks.
#include "platform/gdi/font_faces.h"

#include "platform/gdi/gdi.h"
#include "platform/gdi/text_decoding.h"
#include "platform/kernel.h"
#include "platform/resource_files.h"

#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace platform {

namespace {

FcConfig* loadConfiguration()
{
    std::string path = findFontConfiguration();
    if (!path.empty()) {
        FcConfig* config = FcConfigCreate();
        if (config && FcConfigParseAndLoad(config, reinterpret_cast<const FcChar8*>(path.c_str()), FcTrue)
            && FcConfigBuildFonts(config))
            return config;
        platformLog("fonts: cannot load %s, using the system font configuration\n", path.c_str());
        if (config)
            FcConfigDestroy(config);
    } else {
        platformLog("fonts: no fonts.conf found, using the system font configuration\n");
    }
    return FcInitLoadConfigAndFonts();
}

FontLibrary* libraryInstance = nullptr;
FontObject* defaultFontInstance = nullptr;

// At exit: the default font, the configuration and FreeType go, in that order (faces before their
// library). While the program still holds fonts of its own, all of it stays, so that a late
// DeleteObject remains safe.
void releaseLibrary()
{
    if (defaultFontInstance)
        DeleteObject(defaultFontInstance);
    defaultFontInstance = nullptr;
    if (fontsStillHeld())
        return;
    if (libraryInstance->config)
        FcConfigDestroy(libraryInstance->config);
    // fontconfig's process-wide defaults (languages, caches) go last.
    FcFini();
    if (libraryInstance->freetype)
        FT_Done_FreeType(libraryInstance->freetype);
    libraryInstance->config = nullptr;
    libraryInstance->freetype = nullptr;
}

// The face's ascent and descent in font units as the cell is measured: the usWinAscent/usWinDescent
// metrics of the OS/2 table where present, so that a cell height covers every glyph the face draws.
void cellMetrics(FT_Face face, long& ascent, long& descent)
{
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
    } else {
        ascent = face->ascender;
        descent = -face->descender;
    }
    if (ascent + descent <= 0) {
        ascent = face->units_per_EM * 8 / 10;
        descent = face->units_per_EM - ascent;
    }
}

}

FontLibrary* library()
{
    static FontLibrary* instance = [] {
        libraryInstance = new FontLibrary;
        std::atexit(releaseLibrary);
        if (FT_Init_FreeType(&libraryInstance->freetype) != 0) {
            platformLog("fonts: FreeType cannot start\n");
            libraryInstance->freetype = nullptr;
            return libraryInstance;
        }
        libraryInstance->config = loadConfiguration();
        return libraryInstance;
    }();
    return instance->freetype && instance->config ? instance : nullptr;
}

FaceHandle openFace(FT_Library freetype, const FcPattern* match)
{
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch || !file)
        return nullptr;
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    FT_Face face = nullptr;
    if (FT_New_Face(freetype, reinterpret_cast<const char*>(file), index, &face) != 0)
        return nullptr;
    FaceHandle handle(face);
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0 || !FT_IS_SCALABLE(face))
        return nullptr;
    return handle;
}

FT_Face FontFaces::faceFor(char32_t c, FT_UInt& index)
{
    index = FT_Get_Char_Index(primary.get(), c);
    if (index != 0 || c < 0x20)
        return primary.get();

    FontLibrary* lib = library();
    if (!fallbackSearched) {
        fallbackSearched = true;
        FcResult result;
        fallbackSet.reset(FcFontSort(lib->config, request.get(), FcTrue, nullptr, &result));
    }
    if (fallbackSet) {
        for (int i = 0; i < fallbackSet->nfont; ++i) {
            FcCharSet* charset = nullptr;
            if (FcPatternGetCharSet(fallbackSet->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch
                || !FcCharSetHasChar(charset, c))
                continue;
            auto known = std::find_if(fallbackFaces.begin(), fallbackFaces.end(),
                [&](const auto& entry) { return entry.first == i; });
            FT_Face face = nullptr;
            if (known != fallbackFaces.end()) {
                face = known->second.get();
            } else {
                FaceHandle opened = openFace(lib->freetype, fallbackSet->fonts[i]);
                if (!opened || FT_Set_Char_Size(opened.get(), 0, emSize, 72, 72) != 0)
                    continue;
                face = opened.get();
                fallbackFaces.emplace_back(i, std::move(opened));
            }
            index = FT_Get_Char_Index(face, c);
            if (index != 0)
                return face;
        }
    }
    index = 0;  // the primary face's missing-glyph box
    return primary.get();
}

std::string findFontConfiguration()
{
    return resourceFile("fonts.conf");
}

HFONT createFont(int height, int weight, const char* face)
{
    return CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
        DRAFT_QUALITY, DEFAULT_PITCH, face);
}

HFONT createScaledFont(HFONT font, double factor)
{
    if (!font || !liveFonts().count(font) || !(factor > 0))
        return nullptr;
    const int height = static_cast<int>(std::lround(font->requestedHeight * factor));
    return createFont(height, font->requestedWeight, font->requestedFace.c_str());
}

uint64_t fontSerial(HFONT font)
{
    return font && liveFonts().count(font) ? font->serial() : 0;
}

FontObject* defaultFont()
{
    static bool tried = false;
    if (!tried) {
        tried = true;
        defaultFontInstance = createFont(16, FW_NORMAL, "굴림체");
    }
    return defaultFontInstance;
}

}

HFONT CreateFontA(int height, int, int, int, int weight, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
    const char* faceName)
{
    using namespace platform;
    FontLibrary* lib = library();
    if (!lib)
        return nullptr;
    // Face names reach fontconfig as UTF-8 whatever code page the caller's text is in.
    std::string family = encodeUtf8(decodeForDisplay(faceName ? faceName : ""));
    bool bold = weight >= FW_BOLD;

    PatternHandle request(FcPatternCreate());
    if (!request)
        return nullptr;
    if (!family.empty())
        FcPatternAddString(request.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(request.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(request.get(), FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(request.get(), FC_SCALABLE, FcTrue);
    FcConfigSubstitute(lib->config, request.get(), FcMatchPattern);
    FcDefaultSubstitute(request.get());

    FcResult result;
    PatternHandle match(FcFontMatch(lib->config, request.get(), &result));
    if (!match) {
        platformLog("fonts: no font for \"%s\"\n", family.c_str());
        return nullptr;
    }
    auto faces = std::make_unique<FontFaces>();
    faces->primary = openFace(lib->freetype, match.get());
    if (!faces->primary) {
        platformLog("fonts: cannot open the font matched for \"%s\"\n", family.c_str());
        return nullptr;
    }
    FT_Face face = faces->primary.get();
    FcChar8* matchedFamily = nullptr;
    if (FcPatternGetString(match.get(), FC_FAMILY, 0, &matchedFamily) == FcResultMatch && matchedFamily)
        faces->family = reinterpret_cast<const char*>(matchedFamily);

    // A positive height is the cell (ascent plus descent), a negative one the em; 0 asks for the default.
    long ascentUnits, descentUnits;
    cellMetrics(face, ascentUnits, descentUnits);
    const double cellUnits = static_cast<double>(ascentUnits + descentUnits);
    const double em = face->units_per_EM;
    double emPixels;
    int cellHeight;
    if (height > 0) {
        emPixels = height * em / cellUnits;
        cellHeight = height;
    } else if (height < 0) {
        emPixels = -static_cast<double>(height);
        cellHeight = static_cast<int>(std::lround(emPixels * cellUnits / em));
    } else {
        cellHeight = 16;
        emPixels = cellHeight * em / cellUnits;
    }
    // Absurd sizes would only make huge glyph images; a caption cell of 2048 pixels is already absurd.
    if (cellHeight > 2048 || emPixels < 0.5) {
        platformLog("fonts: unusable height %d for \"%s\"\n", height, family.c_str());
        return nullptr;
    }
    int ascent = static_cast<int>(std::lround(cellHeight * ascentUnits / cellUnits));
    faces->emSize = static_cast<FT_F26Dot6>(std::lround(emPixels * 64));
    if (FT_Set_Char_Size(face, 0, faces->emSize, 72, 72) != 0)
        return nullptr;

    FcBool embolden = FcFalse;
    FcPatternGetBool(match.get(), FC_EMBOLDEN, 0, &embolden);
    int matchedWeight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(match.get(), FC_WEIGHT, 0, &matchedWeight);
    if (bold && (embolden || matchedWeight < FC_WEIGHT_DEMIBOLD))
        faces->emboldenStrength = std::max<FT_Pos>(faces->emSize / 24, 32);

    faces->request = std::move(request);
    auto* font = new FontObject(std::move(faces), cellHeight, ascent);
    font->requestedHeight = height;
    font->requestedWeight = weight;
    font->requestedFace = faceName ? faceName : "";
    liveFonts().insert(font);
    return font;
}
