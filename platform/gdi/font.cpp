// Font handles: each HFONT's per-size glyph cache, and the bookkeeping that keeps a font alive while a
// device context still has it selected.
#include "platform/gdi/font_faces.h"

#include "platform/gdi/gdi.h"

namespace platform {

// The font registries are never destroyed: the exit-time release of the library still reads them after
// ordinary static objects are gone.
std::unordered_set<FontObject*>& liveFonts()
{
    static auto* fonts = new std::unordered_set<FontObject*>;
    return *fonts;
}

namespace {

struct FontState {
    int selections = 0;
    bool deletePending = false;
};
std::unordered_map<FontObject*, FontState>& fontStates()
{
    static auto* states = new std::unordered_map<FontObject*, FontState>;
    return *states;
}

}

bool fontsStillHeld() { return !liveFonts().empty() || !fontStates().empty(); }

bool retainFont(FontObject* font)
{
    if (!liveFonts().count(font))
        return false;
    ++fontStates()[font].selections;
    return true;
}

void releaseFont(FontObject* font)
{
    auto it = fontStates().find(font);
    if (it == fontStates().end())
        return;
    if (--it->second.selections > 0)
        return;
    const bool deleteNow = it->second.deletePending;
    fontStates().erase(it);
    if (deleteNow)
        delete font;
}

}

static uint64_t nextFontSerial = 1;

FontObject::FontObject(std::unique_ptr<platform::FontFaces> faces, int cellHeight, int ascent)
    : faces_(std::move(faces))
    , cellHeight_(cellHeight)
    , ascent_(ascent)
    , serial_(nextFontSerial++)
{
}

FontObject::~FontObject() = default;

const platform::Glyph& FontObject::glyph(char32_t c)
{
    auto found = cache_.find(c);
    if (found != cache_.end())
        return found->second;
    platform::Glyph& g = cache_[c];
    // Control characters have no picture; a line break is never drawn.
    if (c < 0x20 || c == 0x7F)
        return g;
    FT_UInt index = 0;
    FT_Face face = faces_->faceFor(c, index);
    faces_->render(face, index, ascent_, g);
    g.fallback = face != faces_->primary.get();
    return g;
}

const std::string& FontObject::familyName() const { return faces_->family; }
bool FontObject::syntheticBold() const { return faces_->emboldenStrength > 0; }

BOOL DeleteObject(HFONT font)
{
    using namespace platform;
    if (!font || !liveFonts().erase(font))
        return FALSE;
    auto state = fontStates().find(font);
    if (state != fontStates().end() && state->second.selections > 0) {
        state->second.deletePending = true;
        return TRUE;
    }
    if (state != fontStates().end())
        fontStates().erase(state);
    delete font;
    return TRUE;
}
