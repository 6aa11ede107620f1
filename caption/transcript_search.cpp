#include "caption/transcript_search.h"

#include "platform/gdi/text_decoding.h"

#include <array>

namespace sublumen {

namespace {

constexpr char32_t firstSyllable = 0xAC00;
constexpr char32_t syllableCount = 11172;
constexpr char32_t syllablesPerInitial = 588;
constexpr char32_t finalsPerVowel = 28;

// The compatibility letters (U+3131 …) of the 19 initials, 21 vowels and 27 finals of a syllable.
constexpr std::array<char32_t, 19> initialLetters = { 0x3131, 0x3132, 0x3134, 0x3137, 0x3138, 0x3139, 0x3141,
    0x3142, 0x3143, 0x3145, 0x3146, 0x3147, 0x3148, 0x3149, 0x314A, 0x314B, 0x314C, 0x314D, 0x314E };
constexpr char32_t firstVowelLetter = 0x314F;
constexpr std::array<char32_t, 28> finalLetters = { 0, 0x3131, 0x3132, 0x3133, 0x3134, 0x3135, 0x3136, 0x3137,
    0x3139, 0x313A, 0x313B, 0x313C, 0x313D, 0x313E, 0x313F, 0x3140, 0x3141, 0x3142, 0x3144, 0x3145, 0x3146, 0x3147,
    0x3148, 0x314A, 0x314B, 0x314C, 0x314D, 0x314E };

bool isSyllable(char32_t c)
{
    return c - firstSyllable < syllableCount;
}

// The initial consonant of a syllable as a letter; 0 for any other character.
char32_t initialOf(char32_t c)
{
    return isSyllable(c) ? initialLetters[(c - firstSyllable) / syllablesPerInitial] : 0;
}

bool isConsonantLetter(char32_t c)
{
    return c >= 0x3131 && c <= 0x314E;
}

// The two keys of a letter typed as two (ㄶ = ㄴ ㅎ, ㅘ = ㅗ ㅏ); 0 for a letter of one key.
struct LetterPair {
    char32_t letter;
    char32_t first;
    char32_t second;
};
constexpr LetterPair letterPairs[] = {
    { 0x3133, 0x3131, 0x3145 }, { 0x3135, 0x3134, 0x3148 }, { 0x3136, 0x3134, 0x314E }, { 0x313A, 0x3139, 0x3131 },
    { 0x313B, 0x3139, 0x3141 }, { 0x313C, 0x3139, 0x3142 }, { 0x313D, 0x3139, 0x3145 }, { 0x313E, 0x3139, 0x314C },
    { 0x313F, 0x3139, 0x314D }, { 0x3140, 0x3139, 0x314E }, { 0x3144, 0x3142, 0x3145 }, { 0x3158, 0x3157, 0x314F },
    { 0x3159, 0x3157, 0x3150 }, { 0x315A, 0x3157, 0x3163 }, { 0x315D, 0x315C, 0x3153 }, { 0x315E, 0x315C, 0x3154 },
    { 0x315F, 0x315C, 0x3163 }, { 0x3162, 0x3161, 0x3163 },
};

// letterPairs by letter, from U+3131: the pair's place plus one, 0 for a letter of one key.
constexpr auto pairIndex = [] {
    std::array<uint8_t, 0x33> index {};
    for (size_t i = 0; i < std::size(letterPairs); ++i)
        index[letterPairs[i].letter - 0x3131] = static_cast<uint8_t>(i + 1);
    return index;
}();

const LetterPair* pairOf(char32_t letter)
{
    const char32_t i = letter - 0x3131;
    return i < pairIndex.size() && pairIndex[i] ? &letterPairs[pairIndex[i] - 1] : nullptr;
}

int appendLetterKeys(char32_t letter, char32_t* keys)
{
    if (const LetterPair* pair = pairOf(letter)) {
        keys[0] = pair->first;
        keys[1] = pair->second;
        return 2;
    }
    keys[0] = letter;
    return 1;
}

// The keys that type c on the standard two-set Korean keyboard (at most six), or c itself for a
// character that is not Hangul.
int keysOf(char32_t c, char32_t* keys)
{
    if (!isSyllable(c))
        return appendLetterKeys(c, keys);
    const char32_t index = c - firstSyllable;
    int n = appendLetterKeys(initialLetters[index / syllablesPerInitial], keys);
    n += appendLetterKeys(firstVowelLetter + index % syllablesPerInitial / finalsPerVowel, keys + n);
    if (const char32_t final = finalLetters[index % finalsPerVowel])
        n += appendLetterKeys(final, keys + n);
    return n;
}

// The first key of keysOf, without the rest: a syllable begins with its initial, which is one key.
char32_t firstKeyOf(char32_t c)
{
    if (isSyllable(c))
        return initialOf(c);
    const LetterPair* pair = pairOf(c);
    return pair ? pair->first : c;
}

bool isBlank(char32_t c)
{
    return c <= 0x20 || c == 0x7F || c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B)
        || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

char32_t foldCase(char32_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    // Fullwidth forms of ASCII, as Korean texts often write letters and digits.
    if (c >= 0xFF01 && c <= 0xFF5E)
        return foldCase(c - 0xFEE0);
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    // Latin Extended-A pairs its cases as neighbours: upper case on the even code in these runs,
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c | 1;
    // and on the odd one in these.
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && (c & 1))
        return c + 1;
    return c;
}

// The query's characters as the matcher reads them.
struct QueryCharacter {
    enum class Kind { Same, Initial, Typing };
    Kind kind = Kind::Same;
    char32_t c = 0;
    // Typing: the keys of the syllable being typed.
    char32_t keys[6] = {};
    int keyCount = 0;
};

std::vector<QueryCharacter> readQuery(std::u32string_view query)
{
    std::vector<QueryCharacter> read(query.size());
    for (size_t i = 0; i < query.size(); ++i) {
        QueryCharacter& q = read[i];
        q.c = query[i];
        if (isConsonantLetter(q.c) && firstKeyOf(q.c) == q.c)
            q.kind = QueryCharacter::Kind::Initial;
        else if (i + 1 == query.size() && isSyllable(q.c)) {
            q.kind = QueryCharacter::Kind::Typing;
            q.keyCount = keysOf(q.c, q.keys);
        }
    }
    return read;
}

// Whether the keys of text (as many characters as it takes) begin with the given keys.
bool keysBegin(const char32_t* text, size_t available, const char32_t* keys, int keyCount)
{
    int matched = 0;
    for (size_t i = 0; i < available && matched < keyCount; ++i) {
        char32_t own[6];
        const int n = keysOf(text[i], own);
        for (int k = 0; k < n && matched < keyCount; ++k)
            if (own[k] != keys[matched++])
                return false;
    }
    return matched == keyCount;
}

bool matchesAt(const char32_t* text, size_t available, const QueryCharacter* query, size_t count)
{
    if (available < count)
        return false;
    for (size_t i = 0; i < count; ++i) {
        const QueryCharacter& q = query[i];
        const char32_t t = text[i];
        switch (q.kind) {
        case QueryCharacter::Kind::Same:
            if (t != q.c)
                return false;
            break;
        case QueryCharacter::Kind::Initial:
            if (t != q.c && initialOf(t) != q.c)
                return false;
            break;
        case QueryCharacter::Kind::Typing:
            return keysBegin(text + i, available - i, q.keys, q.keyCount);
        }
    }
    return true;
}

// Whether the line text[0, length) holds the query; the first character is tested inline, as nearly
// every place fails there.
bool lineMatches(const char32_t* text, size_t length, const std::vector<QueryCharacter>& query)
{
    const size_t count = query.size();
    if (count == 0)
        return true;
    if (length < count)
        return false;
    const QueryCharacter& first = query[0];
    const size_t last = length - count;
    for (size_t p = 0; p <= last; ++p) {
        const char32_t t = text[p];
        bool candidate;
        switch (first.kind) {
        case QueryCharacter::Kind::Same:
            candidate = t == first.c;
            break;
        case QueryCharacter::Kind::Initial:
            candidate = t == first.c || initialOf(t) == first.c;
            break;
        default:
            candidate = firstKeyOf(t) == first.keys[0];
            break;
        }
        if (candidate && matchesAt(text + p, length - p, query.data(), count))
            return true;
    }
    return false;
}

// Conjoining letters (U+1100 …) of an initial, a vowel and maybe a final, as texts decomposed into
// letters write a syllable, composed into the syllable.
size_t composeConjoining(std::u32string_view text, size_t i, char32_t& syllable)
{
    if (i + 1 >= text.size())
        return 0;
    const char32_t l = text[i] - 0x1100;
    const char32_t v = text[i + 1] - 0x1161;
    if (l >= 19 || v >= 21)
        return 0;
    syllable = firstSyllable + (l * 21 + v) * finalsPerVowel;
    if (i + 2 < text.size() && text[i + 2] - 0x11A7 < finalsPerVowel && text[i + 2] != 0x11A7) {
        syllable += text[i + 2] - 0x11A7;
        return 3;
    }
    return 2;
}

void appendFolded(std::u32string& out, std::string_view text)
{
    const std::u32string characters = platform::decodeText(text, platform::TextEncoding::Utf8);
    for (size_t i = 0; i < characters.size(); ++i) {
        char32_t c = characters[i];
        if (isBlank(c))
            continue;
        char32_t syllable = 0;
        if (const size_t used = composeConjoining(characters, i, syllable)) {
            out.push_back(syllable);
            i += used - 1;
            continue;
        }
        out.push_back(foldCase(c));
    }
}

}

std::u32string searchFolded(std::string_view text)
{
    std::u32string folded;
    appendFolded(folded, text);
    return folded;
}

bool transcriptMatches(std::u32string_view text, std::u32string_view query)
{
    return lineMatches(text.data(), text.size(), readQuery(query));
}

void TranscriptSearch::add(std::string_view text)
{
    lineStarts.push_back(static_cast<uint32_t>(characters.size()));
    appendFolded(characters, text);
}

void TranscriptSearch::clear()
{
    characters.clear();
    lineStarts.clear();
}

std::vector<uint32_t> TranscriptSearch::find(std::string_view query) const
{
    const std::vector<QueryCharacter> read = readQuery(searchFolded(query));
    std::vector<uint32_t> found;
    const size_t lines = lineStarts.size();
    for (size_t line = 0; line < lines; ++line) {
        const size_t start = lineStarts[line];
        const size_t end = line + 1 < lines ? lineStarts[line + 1] : characters.size();
        if (lineMatches(characters.data() + start, end - start, read))
            found.push_back(static_cast<uint32_t>(line));
    }
    return found;
}

}
