// What a track shows: the whole track, or the chosen class of a SAMI file with several languages, made
// ready for drawing in the file's own encoding; and the caption starts the stepping keys seek to.
#include "app/debug_log.h"
#include "caption/caption.h"

#include <algorithm>

namespace sublumen {

namespace {

bool isBlank(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// Whether a text of the track (in its encoding) shows nothing, its descriptions left out when hidden.
bool shownBlank(const char* text, platform::TextEncoding encoding, SoundDescriptions descriptions)
{
    if (isBlank(text))
        return true;
    if (descriptions == SoundDescriptions::Shown)
        return false;
    const std::string utf8 = encoding == platform::TextEncoding::Guess ? std::string(text) : platform::textToUtf8(text, encoding);
    return isBlank(withoutSoundDescriptions(utf8));
}

// The class's entry in force at time: the last one whose start is not greater, or none.
const ClassEntry* classEntryAt(const CaptionClass& c, uint32_t time)
{
    auto after = std::upper_bound(c.entries.begin(), c.entries.end(), time,
        [](uint32_t t, const ClassEntry& e) { return t < e.start; });
    return after == c.entries.begin() ? nullptr : &*(after - 1);
}

struct Shown {
    uint32_t start;
    bool blank;
};

}

void Caption::nextClassChoice()
{
    if (classes.empty())
        return;
    if (shownClass == showAllClasses)
        shownClass = 0;
    else if (shownClass + 1 < static_cast<int>(classes.size()))
        ++shownClass;
    else
        shownClass = showAllClasses;
    if (shownClass == showAllClasses)
        debugLog("Caption:: showing all classes.\n");
    else
        debugLog("Caption:: showing class %s.\n", classes[static_cast<size_t>(shownClass)].name.c_str());
}

bool Caption::showClassNamed(const std::string& name)
{
    if (classes.empty())
        return false;
    if (name == "*") {
        shownClass = showAllClasses;
        return true;
    }
    for (size_t i = 0; i < classes.size(); ++i) {
        if (classes[i].name == name) {
            shownClass = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

std::string Caption::shownClassName() const
{
    if (classes.empty())
        return "";
    if (shownClass == showAllClasses)
        return "*";
    return classes[static_cast<size_t>(shownClass)].name;
}

const std::string* Caption::shownTextAt(uint32_t time, SoundDescriptions descriptions)
{
    // Reused from frame to frame, so that a lookup allocates nothing.
    std::vector<const void*>& from = lookedUp;
    from.clear();
    if (classes.empty()) {
        findAt(time);
        const CaptionEntry* entry = currentEntry();
        if (!entry)
            return nullptr;
        from.push_back(entry);
    } else {
        bool any = false;
        for (size_t i = 0; i < classes.size(); ++i) {
            if (shownClass != showAllClasses && static_cast<int>(i) != shownClass)
                continue;
            const ClassEntry* entry = classEntryAt(classes[i], time);
            any = any || entry;
            from.push_back(entry);
        }
        if (!any)
            return nullptr;
    }
    if (from == shownFrom && descriptions == shownWith)
        return &shownText;

    shownFrom.assign(from.begin(), from.end());
    shownWith = descriptions;
    shownText.clear();
    if (classes.empty()) {
        const char* text = static_cast<const CaptionEntry*>(from[0])->text;
        shownText = textEncoding == platform::TextEncoding::Guess ? std::string(text)
                                                                 : platform::textToUtf8(text, textEncoding);
    } else if (from.size() == 1) {
        shownText = platform::textToUtf8(static_cast<const ClassEntry*>(from[0])->text, textEncoding);
    } else {
        // Stacked in the order the classes are defined, each class's lines together; a class with
        // nothing to say takes no line.
        for (const void* p : from) {
            const auto* entry = static_cast<const ClassEntry*>(p);
            if (!entry || isBlank(entry->text))
                continue;
            if (!shownText.empty())
                shownText += '\n';
            shownText += platform::textToUtf8(entry->text, textEncoding);
        }
    }
    if (descriptions == SoundDescriptions::Hidden)
        shownText = withoutSoundDescriptions(shownText);
    return &shownText;
}

bool Caption::captionStart(uint32_t time, CaptionStep step, uint32_t& start, SoundDescriptions descriptions) const
{
    std::vector<Shown> shown;
    if (classes.empty()) {
        for (const ListNode* n = entries; n; n = n->next) {
            const auto* e = static_cast<const CaptionEntry*>(n->data);
            shown.push_back({ e->start, shownBlank(e->text, textEncoding, descriptions) });
        }
    } else {
        for (size_t i = 0; i < classes.size(); ++i) {
            if (shownClass != showAllClasses && static_cast<int>(i) != shownClass)
                continue;
            for (const ClassEntry& e : classes[i].entries)
                shown.push_back({ e.start, shownBlank(e.text.c_str(), textEncoding, descriptions) });
        }
        std::stable_sort(shown.begin(), shown.end(), [](const Shown& a, const Shown& b) { return a.start < b.start; });
    }

    // The entry in force is the last one not after time; among equal starts the last one wins.
    const Shown* inForce = nullptr;
    for (const Shown& s : shown)
        if (s.start <= time)
            inForce = &s;
    const Shown* found = nullptr;
    switch (step) {
    case CaptionStep::Current:
        for (const Shown& s : shown)
            if (!s.blank && s.start <= time)
                found = &s;
        break;
    case CaptionStep::Previous: {
        // Inside a caption the one before it; between captions the one just shown.
        uint32_t before = inForce && !inForce->blank ? inForce->start : time;
        for (const Shown& s : shown)
            if (!s.blank && s.start < before)
                found = &s;
        break;
    }
    case CaptionStep::Next:
        for (const Shown& s : shown) {
            if (!s.blank && s.start > time) {
                found = &s;
                break;
            }
        }
        break;
    }
    if (!found)
        return false;
    start = found->start;
    return true;
}

bool Caption::shownEnd(uint32_t time, uint32_t& end, SoundDescriptions descriptions)
{
    if (classes.empty()) {
        findAt(time);
        const CaptionEntry* entry = currentEntry();
        if (!entry || shownBlank(entry->text, textEncoding, descriptions))
            return false;
        // The lookup stops at the last entry not after time, so the next one starts after it.
        end = current->next ? static_cast<const CaptionEntry*>(current->next->data)->start : endMarker;
        return true;
    }
    bool shown = false;
    end = endMarker;
    for (size_t i = 0; i < classes.size(); ++i) {
        if (shownClass != showAllClasses && static_cast<int>(i) != shownClass)
            continue;
        const CaptionClass& c = classes[i];
        auto after = std::upper_bound(c.entries.begin(), c.entries.end(), time,
            [](uint32_t t, const ClassEntry& e) { return t < e.start; });
        if (after != c.entries.begin() && !shownBlank((after - 1)->text.c_str(), textEncoding, descriptions))
            shown = true;
        // Stacked classes change together on the screen: the first change of any of them ends it.
        if (after != c.entries.end())
            end = std::min(end, after->start);
    }
    return shown;
}

}
