// TV closed captions (CEA-708 services, CEA-608 channels) from any caption data. The input is a run of
// pictures: a byte whose low five bits count the picture's cc_data triplets (its top bit: a seek before
// the picture), then the triplets. Every caption that comes out must be whole: a TV caption stream and
// window, plain UTF-8 text, an end after its start and never further than the open reach past the
// pictures.
#include "fuzz_support.h"

#include "platform/gdi/text_decoding.h"
#include "platform/mmstream/tv_captions.h"

#include <algorithm>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzing::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using platform::MediaTime;
    constexpr MediaTime picture = std::chrono::microseconds(33367);
    platform::TvCaptions captions;
    std::vector<int> everything;
    for (int s = 1; s <= 63; ++s)
        everything.push_back(platform::cea708StreamBase + s);
    for (int c = 1; c <= 4; ++c)
        everything.push_back(platform::cea608StreamBase + c);
    std::vector<platform::CaptionText> texts;
    MediaTime at {0};
    size_t pos = 0;
    while (pos < size) {
        const uint8_t head = data[pos++];
        const size_t bytes = std::min<size_t>(3u * (head & 0x1F), size - pos);
        if (head & 0x80)
            captions.breakOff();
        captions.picture(std::span<const uint8_t>(data + pos, bytes), at, at + picture);
        pos += bytes;
        at += picture;
        // Half the streams are taken from the start, the rest only from half way.
        captions.take(texts, pos * 2 < size ? std::vector<int>(everything.begin(), everything.begin() + 30) : everything);
    }
    captions.breakOff();
    captions.take(texts, everything);
    for (const platform::CaptionText& text : texts) {
        FUZZ_CHECK(platform::isTvCaptionStream(text.stream));
        FUZZ_CHECK(text.window >= 0 && text.window < 8);
        FUZZ_CHECK(text.start < text.end);
        FUZZ_CHECK(text.end <= at + platform::openCaptionReach);
        FUZZ_CHECK(!text.text.empty());
        FUZZ_CHECK(platform::isValidUtf8(text.text));
        FUZZ_CHECK(text.text.find('\0') == std::string::npos);
    }
    for (const platform::CaptionStreamInfo& stream : captions.streams())
        FUZZ_CHECK(platform::isTvCaptionStream(stream.index));
    return 0;
}
