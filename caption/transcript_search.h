// Finding captions by what the user types, the way Korean users search: case and blanks do not count,
// Hangul matches by whole syllables, by the letters of the syllable still being typed (괜찬 already finds
// 괜찮아) and by initial consonants (ㄱㅊㅇ finds 괜찮아), and the three mix in one query. Pure and
// single-threaded: the texts are folded once, and each query scans them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sublumen {

// A text as the search compares it: its characters without blanks, letters in lower case (fullwidth
// Latin as ASCII). UTF-8 in; what is not UTF-8 counts as U+FFFD.
std::u32string searchFolded(std::string_view text);

// Whether folded text holds folded query at some place. Each query character must match the text's
// character at its place: a Hangul syllable the same syllable, except the last one of the query, whose
// letters need only begin the text's letters from there on (가 finds 각 and 간, 각 finds 가게: what the
// keyboard passes through while typing them); a lone consonant the same consonant or a syllable that
// begins with it; anything else the same character. An empty query matches everything.
bool transcriptMatches(std::u32string_view text, std::u32string_view query);

// The folded texts of a transcript, one after another, for searching them all at once.
class TranscriptSearch {
public:
    // Adds the next line's text (UTF-8); lines are numbered from 0 in the order added.
    void add(std::string_view text);
    void clear();
    size_t size() const { return lineStarts.size(); }
    // The numbers of the lines whose text holds query (UTF-8, folded here), ascending; every line for a
    // query of blanks only.
    std::vector<uint32_t> find(std::string_view query) const;

private:
    std::u32string characters;
    std::vector<uint32_t> lineStarts;
};

}
