// The text reader (optical character recognition) that picture captions are read with. Its library and
// its language data are used here and nowhere else.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A grey picture, one byte a pixel (0 black, 255 white), rows packed top row first.
struct GreyPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// The reader's languages for a caption stream's language tag: Korean with English for "kor" or "ko" and
// for no tag or any other, English alone for "eng" or "en".
std::string readerLanguages(const std::string& languageTag);

class TextRecognizer {
public:
    // Loads the reader's data for languages ("kor+eng", "eng"); failure() says why when it cannot.
    explicit TextRecognizer(const std::string& languages);
    ~TextRecognizer();
    TextRecognizer(const TextRecognizer&) = delete;
    TextRecognizer& operator=(const TextRecognizer&) = delete;

    bool isReady() const { return engine_ != nullptr; }
    const std::string& failure() const { return failure_; }

    // The text of picture, black letters on white, as UTF-8: its lines joined by line feeds. cancelled is
    // asked now and then while it reads; true gives up, and "" is returned. Reads on the calling thread
    // alone.
    std::string read(const GreyPicture& picture, const std::function<bool()>& cancelled = {});

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
    std::string failure_;
};

}
