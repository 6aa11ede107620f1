// sync_bench: how well and at what cost captions are synced to the speech of a movie (F5) or to another
// caption track (Shift+F5).
//
//   sync_bench make DIR        builds the test set in DIR (files already there are kept): movies of 20 to
//                              60 minutes of speech synthesised by espeak-ng (Korean and English voices)
//                              laid at known times over music or noise (sox), some with one or two cuts
//                              of 10 to 120 s, and captions carrying the true times, displaced by offsets
//                              of 0.5 to 600 s either way and by the common frame-rate ratios; and a
//                              2-hour movie (1080p pictures, the speech, two caption streams).
//   sync_bench accuracy DIR    syncs every caption file of the set to its movie with the player's own
//                              code and prints, by kind of displacement, the share of caption starts
//                              within 200 ms of the truth, the median error, and how often captions of
//                              another movie were refused.
//   sync_bench cpu MOVIE       the processor time of reading the movie's sound and syncing to it, against
//                              decoding its sound alone, in the same run (thread CPU time, best of two).
//   sync_bench ends DIR        Shift+F5's accuracy on the set when captions end by the rule the movie's
//                              index is read with (indexedCaptionLength) instead of at their real ends.
//   sync_bench reference MOVIE [whole]
//                              the time of syncing the movie's second caption stream to its first
//                              (Shift+F5), wall clock and CPU: the captions' times from the movie's index
//                              where it has a usable one, as the player does, or (whole) read whole.
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "caption/sync_alignment.h"
#include "platform/mmstream/movie_scan.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using sublumen::AlignmentVerdict;
using sublumen::CaptionSpan;

namespace {

constexpr int speechRate = 22050; // espeak-ng's

double threadSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string shellQuoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs command and returns what it wrote; empty when it failed.
std::string output(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    return pclose(pipe) == 0 ? out : std::string();
}

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

// The samples of a WAV file of 16-bit mono sound.
std::vector<int16_t> wavSamples(const std::string& wav)
{
    std::vector<int16_t> samples;
    size_t at = 12;
    while (at + 8 <= wav.size()) {
        const std::string id = wav.substr(at, 4);
        uint32_t size = 0;
        std::memcpy(&size, wav.data() + at + 4, 4);
        at += 8;
        if (id == "data") {
            // espeak-ng writing to a pipe cannot tell the size: the data runs to the end.
            const size_t bytes
                = std::min<size_t>(size == 0 || size == 0xFFFFFFFF ? wav.size() - at : size, wav.size() - at);
            samples.resize(bytes / 2);
            std::memcpy(samples.data(), wav.data() + at, samples.size() * 2);
            break;
        }
        at += size + (size & 1);
    }
    return samples;
}

const char* koreanWords[] = { "오늘", "우리는", "정말", "그렇게", "생각해", "보세요", "어제", "학교에서", "친구가",
    "말했어요", "괜찮아", "지금", "바로", "가야", "해요", "왜", "그런", "일이", "있었는지", "모르겠어", "여기",
    "기다려", "줄래", "사랑해", "미안해", "집에", "돌아가자", "비가", "오네요", "배고파", "무슨", "소리야", "내일",
    "다시", "만나요", "조심해", "빨리", "와봐", "그게", "아니라", "선생님", "회사", "전화", "했어", "시간이", "없어",
    "이야기", "들어봐" };
const char* englishWords[] = { "we", "should", "go", "home", "now", "I", "never", "said", "that", "you", "know", "what",
    "happened", "last", "night", "listen", "to", "me", "please", "the", "car", "is", "waiting", "outside", "where",
    "were", "they", "going", "tomorrow", "morning", "it", "doesn't", "matter", "anymore", "tell", "him", "truth",
    "about", "money", "everything", "will", "be", "fine", "look", "at", "this", "door", "again", "why", "would", "she",
    "leave" };

struct Utterance {
    uint32_t start; // ms, where the speech starts in the uncut movie
    uint32_t end;
    std::string text;
};

struct MovieRecipe {
    std::string name;
    bool korean;
    bool music;
    int minutes;
    unsigned seed;
};

// A bed of music: chords of plucked tones, a bass and a hi-hat, at tempo, for the length of samples.
void addMusic(std::vector<float>& mix, std::mt19937& random, float level)
{
    const double bpm = std::uniform_real_distribution<double>(88, 132)(random);
    const size_t beat = static_cast<size_t>(speechRate * 60.0 / bpm);
    const double roots[] = { 220.0, 246.9, 196.0, 174.6, 261.6, 164.8 };
    std::uniform_int_distribution<int> chord(0, 5);
    std::normal_distribution<float> hiss(0.0f, 1.0f);
    for (size_t at = 0, n = 0; at < mix.size(); at += beat, ++n) {
        const double root = roots[n % 8 == 0 ? chord(random) : (n / 8) % 6];
        for (double ratio : { 1.0, 1.25, 1.5, 0.5 }) {
            const double f = root * ratio;
            for (size_t i = 0; i < beat * 2 && at + i < mix.size(); ++i) {
                const double t = static_cast<double>(i) / speechRate;
                const double tone
                    = std::sin(2 * M_PI * f * t) + 0.4 * std::sin(4 * M_PI * f * t) + 0.2 * std::sin(6 * M_PI * f * t);
                mix[at + i] += static_cast<float>(level * 0.3 * tone * std::exp(-3.0 * t));
            }
        }
        for (size_t i = 0; i < beat / 8 && at + i < mix.size(); ++i)
            mix[at + i] += level * 0.15f * hiss(random) * std::exp(-30.0f * static_cast<float>(i) / speechRate);
    }
}

// Noise from sox: pink or brown, for the length of mix.
bool addNoise(std::vector<float>& mix, std::mt19937& random, float level)
{
    const char* colour = random() % 2 ? "pinknoise" : "brownnoise";
    const std::string raw
        = output("sox -q -n -r " + std::to_string(speechRate) + " -c 1 -b 16 -e signed -t raw - synth "
            + std::to_string(mix.size() / speechRate + 1) + " " + colour + " vol 0.5");
    if (raw.size() < mix.size() * 2)
        return false;
    const auto* samples = reinterpret_cast<const int16_t*>(raw.data());
    for (size_t i = 0; i < mix.size(); ++i)
        mix[i] += level * static_cast<float>(samples[i]) / 32768.0f;
    return true;
}

std::string timeText(uint32_t ms, char separator)
{
    char out[32];
    std::snprintf(
        out, sizeof out, "%02u:%02u:%02u%c%03u", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, separator, ms % 1000);
    return out;
}

// A caption file of spans: SubRip, or SAMI for the Korean movies, as their viewers have them.
void writeCaptions(
    const std::string& path, const std::vector<CaptionSpan>& spans, const std::vector<std::string>& texts, bool sami)
{
    std::ofstream out(path, std::ios::binary);
    if (sami) {
        out << "<SAMI>\r\n<HEAD>\r\n<STYLE TYPE=\"text/css\"><!--\r\n.KRCC { Name:Korean; lang:ko-KR; "
               "}\r\n--></STYLE>\r\n</HEAD>\r\n<BODY>\r\n";
        for (size_t i = 0; i < spans.size(); ++i) {
            out << "<SYNC Start=" << spans[i].start << "><P Class=KRCC>" << texts[i] << "\r\n";
            if (i + 1 == spans.size() || spans[i + 1].start > spans[i].end)
                out << "<SYNC Start=" << spans[i].end << "><P Class=KRCC>&nbsp;\r\n";
        }
        out << "</BODY>\r\n</SAMI>\r\n";
        return;
    }
    for (size_t i = 0; i < spans.size(); ++i)
        out << i + 1 << "\n"
            << timeText(spans[i].start, ',') << " --> " << timeText(spans[i].end, ',') << "\n"
            << texts[i] << "\n\n";
}

struct Cut {
    uint32_t at; // ms of the uncut movie
    uint32_t length;
};

// The movie time of uncut time t once cuts are made; none inside a cut.
std::optional<uint32_t> afterCuts(uint32_t t, const std::vector<Cut>& cuts)
{
    uint32_t removed = 0;
    for (const Cut& c : cuts) {
        if (t >= c.at && t < c.at + c.length)
            return std::nullopt;
        if (t >= c.at + c.length)
            removed += c.length;
    }
    return t - removed;
}

// Encodes mono sound at speechRate as AAC (48 kHz stereo, as films carry it) into path, with pictures
// from video (a clip looped to the length) or none.
bool encode(const std::vector<float>& mix, const std::string& path, const std::string& extra)
{
    // Under another name until whole, so that a set made again keeps no half-written movie.
    const std::string partial = path + ".partial.mka";
    FILE* pipe = popen(("ffmpeg -loglevel error -y -f s16le -ar " + std::to_string(speechRate) + " -ac 1 -i - " + extra
                           + " -ar 48000 -ac 2 -c:a aac -b:a 128k " + shellQuoted(partial))
                           .c_str(),
        "w");
    if (!pipe)
        return false;
    std::vector<int16_t> samples(mix.size());
    for (size_t i = 0; i < mix.size(); ++i)
        samples[i] = static_cast<int16_t>(std::clamp(mix[i] * 32767.0f, -32768.0f, 32767.0f));
    fwrite(samples.data(), 2, samples.size(), pipe);
    if (pclose(pipe) != 0)
        return false;
    fs::rename(partial, path);
    return true;
}

// The speech of a movie: utterances one after another with pauses, as a mix over music or noise.
std::vector<Utterance> speak(const MovieRecipe& r, std::vector<float>& mix)
{
    std::mt19937 random(r.seed);
    const uint32_t length = static_cast<uint32_t>(r.minutes) * 60000u;
    mix.assign(static_cast<size_t>(length) * speechRate / 1000, 0.0f);
    std::vector<Utterance> said;
    const char* voices[] = { r.korean ? "ko" : "en-us", r.korean ? "ko+f3" : "en+m3", r.korean ? "ko+m3" : "en-us+f2" };
    std::uniform_int_distribution<int> words(2, 9);
    std::uniform_int_distribution<uint32_t> gap(300, 4000);
    std::uniform_int_distribution<int> speed(150, 190);
    std::bernoulli_distribution longPause(0.06);
    double power = 0;
    size_t powered = 0;
    for (uint32_t t = 2000; t < length - 10000;) {
        std::string text;
        const int n = words(random);
        for (int w = 0; w < n; ++w) {
            const auto& list = r.korean ? std::vector<const char*>(std::begin(koreanWords), std::end(koreanWords))
                                        : std::vector<const char*>(std::begin(englishWords), std::end(englishWords));
            text += (w ? " " : "") + std::string(list[random() % list.size()]);
        }
        const std::string voice = voices[random() % 3];
        std::vector<int16_t> samples = wavSamples(output(
            "espeak-ng -v " + voice + " -s " + std::to_string(speed(random)) + " --stdout " + shellQuoted(text)));
        // The speech proper, without the silence the synthesiser leaves around it.
        size_t first = 0;
        size_t last = samples.size();
        while (first < last && std::abs(samples[first]) < 400)
            ++first;
        while (last > first && std::abs(samples[last - 1]) < 400)
            --last;
        if (last <= first)
            continue;
        const size_t at = static_cast<size_t>(t) * speechRate / 1000;
        if (at + (last - first) >= mix.size())
            break;
        for (size_t i = first; i < last; ++i) {
            const float x = static_cast<float>(samples[i]) / 32768.0f * 0.7f;
            mix[at + i - first] += x;
            power += static_cast<double>(x) * x;
        }
        powered += last - first;
        const uint32_t spoken = static_cast<uint32_t>((last - first) * 1000 / speechRate);
        said.push_back({ t, t + spoken, text });
        t += spoken + gap(random) + (longPause(random) ? 8000 + random() % 20000 : 0);
    }
    // The bed lies 8 dB (music) or 12 dB (noise) under the speech.
    const float speechLevel = static_cast<float>(std::sqrt(power / std::max<size_t>(powered, 1)));
    if (r.music)
        addMusic(mix, random, speechLevel * 0.40f * 2.0f);
    else
        addNoise(mix, random, speechLevel * 0.25f * 2.5f);
    return said;
}

struct Case {
    std::string kind;
    std::string movie;
    std::string captions;
    std::string truth;
};

// make DIR
int makeSet(const fs::path& dir)
{
    fs::create_directories(dir);
    const MovieRecipe recipes[] = {
        { "ko-music-20", true, true, 20, 1 },
        { "en-noise-25", false, false, 25, 2 },
        { "ko-noise-30", true, false, 30, 3 },
        { "en-music-40", false, true, 40, 4 },
        { "ko-music-50", true, true, 50, 5 },
        { "en-music-60", false, true, 60, 6 },
    };
    std::ofstream manifest(dir / "set.txt");
    std::vector<std::vector<CaptionSpan>> allSpans;
    std::vector<std::vector<std::string>> allTexts;
    std::mt19937 random(2024);
    const int offsets[] = { 500, -500, 1300, -2700, 9000, -15000, 60000, -75000, 240000, -300000, 600000, -600000 };
    const double film = 24000.0 / 1001.0;
    const double ratios[] = { 25.0 / film, film / 25.0, 24.0 / film, film / 24.0, 25.0 / 24.0, 24.0 / 25.0 };
    for (size_t m = 0; m < std::size(recipes); ++m) {
        const MovieRecipe& r = recipes[m];
        std::fprintf(stderr, "sync_bench: %s\n", r.name.c_str());
        std::vector<float> mix;
        const std::vector<Utterance> said = speak(r, mix);
        std::mt19937 jitter(r.seed * 7);
        // The captions carry the true times: each starts with its words and is held a little after them.
        std::vector<CaptionSpan> spans;
        std::vector<std::string> texts;
        for (const Utterance& u : said) {
            spans.push_back({ u.start, u.end + 100 + static_cast<uint32_t>(jitter() % 500) });
            texts.push_back(u.text);
        }
        for (size_t i = 0; i + 1 < spans.size(); ++i)
            spans[i].end = std::min(spans[i].end, spans[i + 1].start);
        allSpans.push_back(spans);
        allTexts.push_back(texts);
        const std::string movie = (dir / (r.name + ".mka")).string();
        if (!fs::exists(movie) && !encode(mix, movie, ""))
            return 1;
        const char* ext = r.korean ? ".smi" : ".srt";
        auto writeCase = [&](const std::string& kind, const std::string& tag, const std::string& movieFile,
                             const std::vector<CaptionSpan>& shown, const std::vector<std::optional<uint32_t>>& truth) {
            const std::string captions = (dir / (r.name + "." + tag + ext)).string();
            const std::string truthFile = (dir / (r.name + "." + tag + ".truth")).string();
            std::vector<CaptionSpan> kept;
            std::vector<std::string> keptTexts;
            std::ofstream t(truthFile);
            for (size_t i = 0; i < shown.size(); ++i) {
                kept.push_back(shown[i]);
                keptTexts.push_back(texts[i]);
                if (truth[i])
                    t << shown[i].start << " " << *truth[i] << "\n";
            }
            writeCaptions(captions, kept, keptTexts, r.korean);
            manifest << kind << " " << movieFile << " " << captions << " " << truthFile << "\n";
        };
        auto truthOf = [&](const std::vector<Cut>& cuts) {
            std::vector<std::optional<uint32_t>> truth;
            for (const CaptionSpan& s : spans)
                truth.push_back(afterCuts(s.start, cuts));
            return truth;
        };
        // Offsets: the captions start that much later (or earlier) than the speech; captions that would
        // start before 0 are not in the file.
        for (int k = 0; k < 4; ++k) {
            const int d = offsets[(m * 4 + static_cast<size_t>(k)) % std::size(offsets)];
            std::vector<CaptionSpan> shown;
            std::vector<std::optional<uint32_t>> truth;
            for (const CaptionSpan& s : spans) {
                if (static_cast<int64_t>(s.start) + d < 0)
                    continue;
                shown.push_back({ static_cast<uint32_t>(s.start + d), static_cast<uint32_t>(s.end + d) });
                truth.push_back(s.start);
            }
            const std::string kind = std::abs(d) < 60000 ? "offset <60 s" : "offset 60-600 s";
            writeCase(kind, "offset" + std::to_string(d), movie, shown, truth);
        }
        // Frame-rate ratios: captions timed for a release at another rate.
        for (int k = 0; k < 2; ++k) {
            const double ratio = ratios[(m * 2 + static_cast<size_t>(k)) % std::size(ratios)];
            std::vector<CaptionSpan> shown;
            for (const CaptionSpan& s : spans)
                shown.push_back({ static_cast<uint32_t>(std::llround(s.start * ratio)),
                    static_cast<uint32_t>(std::llround(s.end * ratio)) });
            char tag[32];
            std::snprintf(tag, sizeof tag, "rate%.4f", ratio);
            writeCase("frame rate", tag, movie, shown, truthOf({}));
        }
        // Cuts: the movie lacks one or two stretches of 10 to 120 s the captions have.
        for (int cuts = 1; cuts <= 2; ++cuts) {
            std::vector<Cut> made;
            const uint32_t length = static_cast<uint32_t>(r.minutes) * 60000u;
            for (int c = 0; c < cuts; ++c) {
                const uint32_t at = length / 5 + static_cast<uint32_t>(c) * length / 3 + random() % (length / 6);
                made.push_back({ at, 10000 + static_cast<uint32_t>(random() % 110000) });
            }
            const std::string cutMovie = (dir / (r.name + ".cut" + std::to_string(cuts) + ".mka")).string();
            if (!fs::exists(cutMovie)) {
                std::vector<float> cutMix;
                size_t from = 0;
                for (const Cut& c : made) {
                    const size_t a = static_cast<size_t>(c.at) * speechRate / 1000;
                    cutMix.insert(cutMix.end(), mix.begin() + static_cast<std::ptrdiff_t>(from),
                        mix.begin() + static_cast<std::ptrdiff_t>(a));
                    from = static_cast<size_t>(c.at + c.length) * speechRate / 1000;
                }
                cutMix.insert(cutMix.end(), mix.begin() + static_cast<std::ptrdiff_t>(from), mix.end());
                if (!encode(cutMix, cutMovie, ""))
                    return 1;
            }
            writeCase(cuts == 1 ? "one cut" : "two cuts", "cut" + std::to_string(cuts), cutMovie, spans, truthOf(made));
        }
    }
    // Captions of another movie: each movie's captions on every other movie of the other language group.
    for (size_t m = 0; m < std::size(recipes); ++m) {
        for (size_t other = 0; other < std::size(recipes); ++other) {
            if (other == m)
                continue;
            const std::string movie = (dir / (recipes[m].name + ".mka")).string();
            const std::string captions = (dir
                / (recipes[other].name + ".offset" + std::to_string(offsets[(other * 4) % std::size(offsets)])
                    + (recipes[other].korean ? ".smi" : ".srt")))
                                             .string();
            manifest << "other movie " << movie << " " << captions << " -\n";
        }
    }
    manifest.close();

    // The 2-hour movie: 1080p pictures (a clip looped), the speech over music, and two caption streams,
    // the second displaced.
    const fs::path longMovie = dir / "long-2h.mkv";
    if (!fs::exists(longMovie)) {
        std::fprintf(stderr, "sync_bench: long-2h\n");
        MovieRecipe r { "long-2h", true, true, 120, 9 };
        std::vector<float> mix;
        const std::vector<Utterance> said = speak(r, mix);
        std::vector<CaptionSpan> spans;
        std::vector<CaptionSpan> moved;
        std::vector<std::string> texts;
        for (const Utterance& u : said) {
            spans.push_back({ u.start, u.end + 300 });
            moved.push_back({ u.start + 7300, u.end + 7600 });
            texts.push_back(u.text);
        }
        writeCaptions((dir / "long-2h.true.srt").string(), spans, texts, false);
        writeCaptions((dir / "long-2h.late.srt").string(), moved, texts, false);
        const fs::path clip = dir / "clip-1080p.mkv";
        if (!run("ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=24000/1001 -t 30 -c:v libx264 "
                 "-preset veryfast -b:v 6M -g 48 "
                + shellQuoted(clip.string())))
            return 1;
        const fs::path sound = dir / "long-2h.sound.mka";
        if (!encode(mix, sound.string(), ""))
            return 1;
        if (!run("ffmpeg -loglevel error -y -stream_loop -1 -i " + shellQuoted(clip.string()) + " -i "
                + shellQuoted(sound.string()) + " -i " + shellQuoted((dir / "long-2h.true.srt").string()) + " -i "
                + shellQuoted((dir / "long-2h.late.srt").string())
                + " -map 0:v -map 1:a -map 2:s -map 3:s -c copy -metadata:s:s:0 language=kor -metadata:s:s:1 "
                  "language=eng -t 7200 "
                + shellQuoted(longMovie.string())))
            return 1;
        fs::remove(sound);
    }
    std::printf("set in %s\n", dir.c_str());
    return 0;
}

struct Tally {
    std::vector<int64_t> errors; // every caption with a truth, of every try
    int tries = 0;
    int refused = 0;
    double worstShare = 1.0; // of the tries, the lowest share within 200 ms
};

std::vector<CaptionSpan> spansOfFile(const std::string& path)
{
    sublumen::Caption track(path.c_str());
    return sublumen::captionSpans(track);
}

// accuracy DIR
int accuracy(const fs::path& dir)
{
    std::ifstream manifest(dir / "set.txt");
    if (!manifest) {
        std::fprintf(stderr, "sync_bench: no set in %s (run make first)\n", dir.c_str());
        return 1;
    }
    std::map<std::string, std::vector<uint8_t>> speech;
    std::map<std::string, Tally> tallies;
    std::vector<std::string> order;
    std::string line;
    double scanSeconds = 0;
    double alignSeconds = 0;
    int aligned = 0;
    while (std::getline(manifest, line)) {
        // kind (may hold blanks), movie, captions, truth: the last three are the last three words.
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;)
            w.push_back(s);
        if (w.size() < 4)
            continue;
        const std::string truthFile = w.back();
        const std::string captions = w[w.size() - 2];
        const std::string movie = w[w.size() - 3];
        std::string kind;
        for (size_t i = 0; i + 3 < w.size(); ++i)
            kind += (i ? " " : "") + w[i];
        if (!tallies.contains(kind))
            order.push_back(kind);
        Tally& tally = tallies[kind];
        if (!speech.contains(movie)) {
            platform::MovieScanRequest request;
            request.path = movie;
            request.audioStream = platform::defaultAudioStream;
            std::atomic<bool> cancelled { false };
            const double start = threadSeconds();
            speech[movie] = platform::scanMovie(request, cancelled).speech;
            scanSeconds += threadSeconds() - start;
        }
        const std::vector<CaptionSpan> spans = spansOfFile(captions);
        const double start = threadSeconds();
        const sublumen::Alignment found = sublumen::alignCaptions(speech[movie], spans);
        alignSeconds += threadSeconds() - start;
        ++aligned;
        ++tally.tries;
        const bool refused = found.verdict != AlignmentVerdict::Fitted;
        tally.refused += refused ? 1 : 0;
        std::fprintf(stderr, "%-16s %-40s %s shift %d rate %.5f pieces %zu clarity %.1f lead %.2f coverage %.3f\n",
            kind.c_str(), fs::path(captions).filename().c_str(), refused ? "refused" : "fitted", found.shift,
            found.rate, found.pieces.size(), found.clarity, found.lead, found.coverage);
        if (truthFile == "-")
            continue;
        std::ifstream truth(truthFile);
        uint32_t captionStart = 0;
        uint32_t movieStart = 0;
        size_t within = 0;
        size_t count = 0;
        while (truth >> captionStart >> movieStart) {
            int64_t error = INT64_MAX;
            if (!refused)
                error = std::llabs(
                    sublumen::streamTimeOfCaption(captionStart, found.shift, found.rate, found.pieces) - movieStart);
            tally.errors.push_back(error);
            within += error <= 200 ? 1 : 0;
            ++count;
        }
        if (count)
            tally.worstShare = std::min(tally.worstShare, static_cast<double>(within) / static_cast<double>(count));
    }
    std::printf(
        "%-16s %6s %10s %12s %10s %12s\n", "displacement", "tries", "≤200 ms", "worst try", "median", "refused");
    for (const std::string& kind : order) {
        Tally& t = tallies[kind];
        if (t.errors.empty()) {
            std::printf("%-16s %6d %10s %12s %10s %7d (%.0f%%)\n", kind.c_str(), t.tries, "-", "-", "-", t.refused,
                100.0 * t.refused / std::max(t.tries, 1));
            continue;
        }
        std::sort(t.errors.begin(), t.errors.end());
        const size_t within
            = static_cast<size_t>(std::upper_bound(t.errors.begin(), t.errors.end(), 200) - t.errors.begin());
        const int64_t median = t.errors[t.errors.size() / 2];
        std::printf("%-16s %6d %9.1f%% %11.1f%% %7lld ms %7d\n", kind.c_str(), t.tries,
            100.0 * within / t.errors.size(), 100.0 * t.worstShare, static_cast<long long>(median), t.refused);
    }
    std::printf("scan %.1f s CPU for %zu movies; alignment %.3f s CPU per try on average\n", scanSeconds, speech.size(),
        alignSeconds / std::max(aligned, 1));
    return 0;
}

// The sound of the movie decoded alone, as the player's own reading does it (one thread, the other
// streams skipped by the demuxer): thread CPU seconds.
double decodeSoundAlone(const std::string& path)
{
    const double start = threadSeconds();
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return -1;
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) {
        avformat_close_input(&format);
        return -1;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    const AVCodec* decoder = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, format->streams[index]->codecpar);
    codec->thread_count = 1;
    avcodec_open2(codec, decoder, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int64_t samples = 0;
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(codec, packet) >= 0) {
            while (avcodec_receive_frame(codec, frame) >= 0) {
                samples += frame->nb_samples;
                av_frame_unref(frame);
            }
        }
        av_packet_unref(packet);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    const double seconds = threadSeconds() - start;
    if (samples == 0)
        return -1;
    return seconds;
}

// cpu MOVIE [CAPTIONS]
int cpu(const std::string& movie, const std::string& captionFile)
{
    std::vector<CaptionSpan> spans;
    if (!captionFile.empty())
        spans = spansOfFile(captionFile);
    double decode = 1e9;
    double scan = 1e9;
    double align = 1e9;
    size_t steps = 0;
    for (int round = 0; round < 2; ++round) {
        decode = std::min(decode, decodeSoundAlone(movie));
        platform::MovieScanRequest request;
        request.path = movie;
        request.audioStream = platform::defaultAudioStream;
        std::atomic<bool> cancelled { false };
        double start = threadSeconds();
        platform::MovieScanResult result = platform::scanMovie(request, cancelled);
        scan = std::min(scan, threadSeconds() - start);
        steps = result.speech.size();
        if (!spans.empty()) {
            start = threadSeconds();
            sublumen::alignCaptions(result.speech, spans);
            align = std::min(align, threadSeconds() - start);
        }
    }
    if (decode < 0) {
        std::fprintf(stderr, "sync_bench: %s has no sound to decode\n", movie.c_str());
        return 1;
    }
    if (spans.empty())
        align = 0;
    std::printf("movie %s, %.1f min of sound\n", movie.c_str(), steps / 6000.0);
    std::printf("sound decoded alone:        %7.2f s CPU\n", decode);
    std::printf("sound read and speech found: %6.2f s CPU\n", scan);
    std::printf("captions placed:            %7.3f s CPU (%zu captions)\n", align, spans.size());
    std::printf("analysis / decoding alone:  %7.2f\n", (scan + align) / decode);
    return 0;
}

// The spans as the index gives them: each ends where the next starts, at most indexedCaptionLength on.
std::vector<CaptionSpan> indexedSpans(std::vector<CaptionSpan> spans)
{
    return sublumen::spansEndedWithin(std::move(spans),
        static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(platform::indexedCaptionLength).count()));
}

// ends DIR: Shift+F5's accuracy when the ends are the index's rule instead of the real ones. Each caption
// file of the set is synced to the same captions at their true times (the reference track), with real
// ends on both sides, the rule's on both (as the player does once it has read an index), and the rule's on
// the reference only.
int ends(const fs::path& dir)
{
    std::ifstream manifest(dir / "set.txt");
    if (!manifest) {
        std::fprintf(stderr, "sync_bench: no set in %s (run make first)\n", dir.c_str());
        return 1;
    }
    const char* names[] = { "real ends", "rule's ends", "rule's on reference" };
    std::vector<int64_t> errors[3];
    int refused[3] = {};
    int tries = 0;
    std::string line;
    while (std::getline(manifest, line)) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;)
            w.push_back(s);
        if (w.size() < 4 || w.back() == "-")
            continue;
        std::map<uint32_t, uint32_t> truth;
        std::ifstream t(w.back());
        for (uint32_t c = 0, m = 0; t >> c >> m;)
            truth[c] = m;
        const std::vector<CaptionSpan> shown = spansOfFile(w[w.size() - 2]);
        std::vector<CaptionSpan> reference;
        for (const CaptionSpan& s : shown)
            if (auto found = truth.find(s.start); found != truth.end())
                reference.push_back({ found->second, found->second + (s.end - s.start) });
        std::sort(reference.begin(), reference.end(), [](auto& a, auto& b) { return a.start < b.start; });
        ++tries;
        for (int v = 0; v < 3; ++v) {
            const sublumen::Alignment found
                = sublumen::alignCaptions(sublumen::activityOfSpans(v == 0 ? reference : indexedSpans(reference)),
                    v == 1 ? indexedSpans(shown) : shown);
            const bool no = found.verdict != AlignmentVerdict::Fitted;
            refused[v] += no ? 1 : 0;
            for (const auto& [c, m] : truth)
                errors[v].push_back(no
                        ? INT64_MAX
                        : std::llabs(sublumen::streamTimeOfCaption(c, found.shift, found.rate, found.pieces) - m));
        }
    }
    std::printf("%d caption files synced to their true times\n", tries);
    for (int v = 0; v < 3; ++v) {
        std::vector<int64_t>& e = errors[v];
        std::sort(e.begin(), e.end());
        const size_t within = static_cast<size_t>(std::upper_bound(e.begin(), e.end(), 200) - e.begin());
        std::printf("%-20s %5.1f%% within 200 ms, median %lld ms, %d refused\n", names[v],
            e.empty() ? 0.0 : 100.0 * within / e.size(), e.empty() ? -1LL : static_cast<long long>(e[e.size() / 2]),
            refused[v]);
    }
    return 0;
}

// reference MOVIE [whole]: the movie's second caption stream synced to its first.
int reference(const std::string& movie, bool whole)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, movie.c_str(), nullptr, nullptr) < 0)
        return 1;
    avformat_find_stream_info(format, nullptr);
    std::vector<int> captionStreams;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE)
            captionStreams.push_back(static_cast<int>(i));
    const int64_t bytes = avio_size(format->pb);
    avformat_close_input(&format);
    if (captionStreams.size() < 2) {
        std::fprintf(stderr, "sync_bench: %s has fewer than two caption streams\n", movie.c_str());
        return 1;
    }
    for (int round = 0; round < 2; ++round) {
        const double wall = wallSeconds();
        const double cpuStart = threadSeconds();
        platform::MovieScanRequest request;
        request.path = movie;
        request.captionStreams = { captionStreams[0], captionStreams[1] };
        request.captionTimesOnly = !whole;
        std::atomic<bool> cancelled { false };
        const platform::MovieScanResult result = platform::scanMovie(request, cancelled);
        const double readWall = wallSeconds() - wall;
        std::vector<CaptionSpan> reference;
        std::vector<CaptionSpan> shown;
        for (const platform::CaptionText& c : result.captions) {
            const CaptionSpan span { static_cast<uint32_t>(c.start.count() / 10000),
                static_cast<uint32_t>(c.end.count() / 10000) };
            (c.stream == captionStreams[0] ? reference : shown).push_back(span);
        }
        const sublumen::Alignment found = sublumen::alignCaptions(sublumen::activityOfSpans(reference), shown);
        std::printf("round %d: %.1f MB movie, %s, %zu + %zu captions; read %.3f s, total %.3f s wall, %.3f s CPU; "
                    "%s shift %d rate %.5f pieces %zu\n",
            round + 1, bytes / 1e6, result.fromIndex ? "its index" : "read whole", reference.size(), shown.size(),
            readWall, wallSeconds() - wall, threadSeconds() - cpuStart,
            found.verdict == AlignmentVerdict::Fitted ? "fitted" : "refused", found.shift, found.rate,
            found.pieces.size());
    }
    return 0;
}

}

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "make") == 0)
        return makeSet(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "accuracy") == 0)
        return accuracy(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "cpu") == 0)
        return cpu(argv[2], argc >= 4 ? argv[3] : "");
    if (argc >= 3 && std::strcmp(argv[1], "ends") == 0)
        return ends(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "reference") == 0)
        return reference(argv[2], argc >= 4 && std::strcmp(argv[3], "whole") == 0);
    std::fprintf(stderr,
        "usage: sync_bench make DIR | accuracy DIR | cpu MOVIE [CAPTIONS] | ends DIR | reference MOVIE [whole]\n");
    return 2;
}
