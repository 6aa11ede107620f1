#include "platform/text_recognition.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <strings.h>

// The reader's library runs its networks' steps on a team of threads of the parallel runtime it is built
// with; for lines as short as captions the team costs four times the work of one thread, most of it
// spent waiting. No nested level may be active, so every parallel step runs on the reading thread.
extern "C" void omp_set_max_active_levels(int levels);

namespace platform {

namespace {

// One word read: its text, how sure the reader is of it (0 to 100), its box in the picture, and whether
// it ends its line.
struct Word {
    std::string text;
    float confidence = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    bool endsLine = false;
    // Korean is read in pieces smaller than words: a piece the next one follows without a blank.
    bool blankBefore = true;
};

struct Reading {
    std::vector<Word> words;
    int confidence = 0;
};

// How sure (0 to 100) the Korean data must be of a line, and of a word of it, for its reading to stand
// without the English data's; and how much surer the English data must be of a word to take its place.
// Measured on captions of known text (tools/bench/caption_reading_bench).
constexpr int unsureLine = 60;
constexpr int unsureWord = 85;
constexpr int surer = 10;

bool tagIs(const std::string& tag, const char* a, const char* b)
{
    return strcasecmp(tag.c_str(), a) == 0 || strcasecmp(tag.c_str(), b) == 0;
}

// Called by the reader between words: true stops it.
bool cancelReading(void* cancelled, int)
{
    const auto& asked = *static_cast<const std::function<bool()>*>(cancelled);
    return asked && asked();
}

bool loadLanguage(tesseract::TessBaseAPI& api, const char* language)
{
    // Its diagnostics would otherwise go to standard error, which is the user's terminal.
    const std::vector<std::string> names = { "debug_file" };
    const std::vector<std::string> values = { "/dev/null" };
    return api.Init(nullptr, language, tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) == 0;
}

// Reads the picture (or its rectangle) word by word; false when the reading was given up.
bool readWords(tesseract::TessBaseAPI& api, const GreyPicture& picture, const std::function<bool()>& cancelled,
    tesseract::PageSegMode mode, const Word* only, Reading& out)
{
    api.SetPageSegMode(mode);
    api.SetImage(picture.pixels.data(), picture.width, picture.height, 1, picture.width);
    // The pictures come at the size the reader likes best, whatever a resolution would make of them.
    api.SetSourceResolution(300);
    if (only) {
        // The word with a little of the white around it.
        const int pad = std::max(4, (only->bottom - only->top) / 4);
        const int left = std::max(0, only->left - pad);
        const int top = std::max(0, only->top - pad);
        api.SetRectangle(left, top, std::min(picture.width, only->right + pad) - left,
            std::min(picture.height, only->bottom + pad) - top);
    }
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = cancelReading;
    monitor.cancel_this = const_cast<std::function<bool()>*>(&cancelled);
    if (api.Recognize(&monitor) != 0 || (cancelled && cancelled())) {
        api.Clear();
        return false;
    }
    out = {};
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (it && !it->Empty(tesseract::RIL_WORD)) {
        do {
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
            Word w;
            w.text = text ? text.get() : "";
            w.confidence = it->Confidence(tesseract::RIL_WORD);
            it->BoundingBox(tesseract::RIL_WORD, &w.left, &w.top, &w.right, &w.bottom);
            w.endsLine = it->IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD);
            w.blankBefore = it->BlanksBeforeWord() > 0;
            if (!w.text.empty())
                out.words.push_back(std::move(w));
            else if (w.endsLine && !out.words.empty())
                out.words.back().endsLine = true;
        } while (it->Next(tesseract::RIL_WORD));
    }
    out.confidence = api.MeanTextConf();
    api.Clear();
    return true;
}

std::string textOf(const std::vector<Word>& words)
{
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0)
            text += words[i - 1].endsLine ? "\n" : words[i].blankBefore ? " " : "";
        text += words[i].text;
    }
    return text;
}

// Whether text holds a whole Hangul syllable (U+AC00 to U+D7A3: EA B0 80 to ED 9E A3 in UTF-8).
bool hasSyllable(const std::string& text)
{
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        const auto b1 = static_cast<unsigned char>(text[i + 1]);
        if ((b0 == 0xEA && b1 >= 0xB0) || (b0 >= 0xEB && b0 <= 0xEC) || (b0 == 0xED && b1 <= 0x9E))
            return true;
    }
    return false;
}

bool isAscii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}

// The reader of the first language, and for Korean with English the English one beside it: the two read
// one picture together far worse than apart, the Korean data alone taking Korean letters for Latin ones
// less often and the English data reading Latin words the Korean data cannot.
struct TextRecognizer::Engine {
    tesseract::TessBaseAPI first;
    std::unique_ptr<tesseract::TessBaseAPI> english;
};

std::string readerLanguages(const std::string& languageTag)
{
    if (tagIs(languageTag, "eng", "en"))
        return "eng";
    return "kor+eng";
}

TextRecognizer::TextRecognizer(const std::string& languages)
{
    auto engine = std::make_unique<Engine>();
    const bool withEnglish = languages == "kor+eng";
    if (!loadLanguage(engine->first, withEnglish ? "kor" : languages.c_str())) {
        failure_ = "the reader's data for " + languages + " could not be loaded";
        return;
    }
    if (withEnglish) {
        engine->english = std::make_unique<tesseract::TessBaseAPI>();
        if (!loadLanguage(*engine->english, "eng")) {
            failure_ = "the reader's data for " + languages + " could not be loaded";
            return;
        }
    }
    engine_ = std::move(engine);
}

TextRecognizer::~TextRecognizer() = default;

std::string TextRecognizer::read(const GreyPicture& picture, const std::function<bool()>& cancelled)
{
    if (!engine_ || picture.width <= 0 || picture.height <= 0
        || picture.pixels.size() < static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height))
        return "";
    omp_set_max_active_levels(0);
    Reading reading;
    if (!readWords(engine_->first, picture, cancelled, tesseract::PSM_SINGLE_LINE, nullptr, reading))
        return "";
    if (engine_->english) {
        // A line the Korean data is unsure of, or could make little Hangul of, may be English: the surer
        // reading wins.
        const auto latin = std::count_if(
            reading.words.begin(), reading.words.end(), [](const Word& w) { return !hasSyllable(w.text); });
        if (reading.confidence < unsureLine || 2 * static_cast<size_t>(latin) > reading.words.size()) {
            Reading english;
            if (!readWords(*engine_->english, picture, cancelled, tesseract::PSM_SINGLE_LINE, nullptr, english))
                return "";
            if (english.confidence > reading.confidence)
                reading = std::move(english);
        } else {
            // In a Korean line, a word the Korean data is unsure of and could not make Hangul of may be
            // a Latin one.
            for (Word& word : reading.words) {
                if (word.confidence >= unsureWord || hasSyllable(word.text))
                    continue;
                Reading english;
                if (!readWords(*engine_->english, picture, cancelled, tesseract::PSM_SINGLE_WORD, &word, english))
                    return "";
                const std::string text = textOf(english.words);
                if (!text.empty() && isAscii(text) && english.confidence > word.confidence + surer)
                    word.text = text;
            }
        }
    }
    return textOf(reading.words);
}

}
