// Picture captions read as text, measured on captions of known text made here: each line drawn by the
// player's caption drawing (white letters in a black outline) into a PGS file and a VobSub pair, at 1080p
// and 480p, in Korean and in English (tools/fixtures/text_caption_pictures.h).
//
// 1. Accuracy: the character error rate (edits to turn the text read into the true text, over the true
//    text's characters; a line break counts as a blank) by format, size and language, each set read whole.
// 2. A whole track: CAPTIONS captions (default 1500, one or two lines each, over two hours) of 1080p PGS
//    read from its start, as the CPU time the reader took (it reads on one thread) and the time it took.
// 3. The first two minutes: the same track played from its middle: how long until every caption from 5 s
//    before to 2 minutes after is read, from the start (the reader's data loaded then) and after a seek
//    to three quarters (the reader already loaded).
// Nothing is kept in the cache: every figure is of reading.
//
// Usage: caption_reading_bench [CAPTIONS]. Files go to $BENCH_DIR (default /tmp/sublumen-reading).
#include "caption/caption.h"
#include "caption/picture_caption.h"
#include "platform/caption_text_reader.h"
#include "platform/gdi/text_decoding.h"
#include "text_caption_pictures.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

const std::vector<std::string> koreanLines = {
    "그는 오늘 아침에 학교에 가지 않았다.",
    "괜찮아, 내가 다 알아서 할게.",
    "지금 몇 시예요?",
    "우리 어디서 만난 적 있지 않아요?",
    "이 길로 쭉 가면 시장이 나와요.",
    "엄마가 저녁 먹으러 오래.",
    "그 얘기는 나중에 하자.",
    "비가 올 것 같으니까 우산 챙겨.",
    "누가 문을 열어 놨어?",
    "정말 고마워요. 잊지 않을게요.",
    "배고프지? 라면이라도 끓여 줄까?",
    "내일 아침 일곱 시까지 와야 해.",
    "그러니까 네 말은 다 거짓말이었다는 거야?",
    "잠깐만요, 제 얘기 좀 들어 보세요.",
    "이번 주말에 영화 보러 갈래?",
    "아무도 모르게 조용히 나가자.",
    "경찰에 신고하는 게 좋겠어요.",
    "너 때문에 다 망쳤잖아!",
    "처음부터 다시 시작하면 돼.",
    "그 사람 이름이 뭐였더라?",
    "여기서 기다리고 있을게요.",
    "오랜만이다. 잘 지냈어?",
    "이건 우리 둘만의 비밀이야.",
    "할머니 댁에 가는 길이에요.",
    "왜 이제야 말하는 거예요?",
    "사장님이 찾으세요.",
    "전화 좀 빌려 주실 수 있어요?",
    "그날 밤에 무슨 일이 있었던 거야?",
    "걱정 마. 금방 돌아올게.",
    "다음 역은 서울역입니다.",
    "이 사진 속 남자를 본 적 있어요?",
    "오늘은 제가 살게요.",
    "서두르지 않으면 기차를 놓칠 거야.",
    "당신을 믿어도 될까요?",
    "아직 끝난 게 아니야.",
    "창문 좀 닫아 줄래?",
    "그 편지는 누가 보낸 거예요?",
    "숙제는 다 했니?",
    "우리 예전처럼 다시 친구가 될 수 있을까?",
    "여러분, 모두 자리에 앉아 주세요.",
    "OK, 알았어. 3시에 봐.",
    "오늘 회의는 CEO가 직접 맡아요.",
    "TV 좀 꺼 줄래?",
    "PC방에서 밤새 게임만 했어.",
    "1층 로비에서 10분 뒤에 만나요.",
};

const std::vector<std::string> englishLines = {
    "I didn't think you'd come back so soon.",
    "Where were you last night?",
    "It's not what it looks like.",
    "We need to leave before it gets dark.",
    "Can you hear me? Hello?",
    "She said she'd call when she landed.",
    "Don't touch anything until the police arrive.",
    "I'm sorry. I should have told you earlier.",
    "How long have you been standing there?",
    "That's the last time I trust him.",
    "Take the second left after the bridge.",
    "You owe me twenty dollars, remember?",
    "Nobody leaves this room.",
    "Let's get some coffee and talk about it.",
    "The train leaves at seven fifteen.",
    "Why didn't you say anything?",
    "I've never seen anything like it.",
    "Keep your voice down, they'll hear us.",
    "Is anyone sitting here?",
    "We'll figure it out together.",
    "He was here a minute ago.",
    "Turn off the lights when you go.",
    "What's that supposed to mean?",
    "I'll be right back, I promise.",
    "Have you seen my keys anywhere?",
    "This isn't over yet.",
    "My grandmother used to live here.",
    "It's freezing out there!",
    "Could you pass me the salt, please?",
    "They found the car by the river.",
    "Just tell me the truth.",
    "The meeting starts in ten minutes.",
    "You look tired. Get some sleep.",
    "I knew you'd say that.",
    "Who sent you this letter?",
    "Are you sure about this?",
    "Happy birthday, sweetheart.",
    "We're running out of time.",
    "Call me as soon as you know.",
    "Welcome home, everyone.",
};

std::u32string codePoints(const std::string& utf8)
{
    std::u32string out;
    for (char32_t c : platform::decodeText(utf8, platform::TextEncoding::Utf8))
        out += c == U'\n' ? U' ' : c;
    return out;
}

size_t editDistance(const std::u32string& a, const std::u32string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({ row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[b.size()];
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// The captions of a set: a line alone, then two lines together, in turn; every caption unlike the others.
std::vector<fixtures::TextCaption> captionsOf(const std::vector<std::string>& lines, size_t count, uint32_t spacing)
{
    std::vector<fixtures::TextCaption> out;
    for (size_t i = 0; i < count; ++i) {
        fixtures::TextCaption c;
        c.startMs = static_cast<uint32_t>(i) * spacing + 1000;
        c.endMs = c.startMs + spacing * 3 / 4;
        const size_t n = lines.size();
        if (i % 2 == 0)
            c.text = lines[(i * 7) % n];
        else
            c.text = lines[(i * 3) % n] + "\n" + lines[(i * 5 + 1 + i / n) % n];
        out.push_back(std::move(c));
    }
    return out;
}

struct Track {
    sublumen::Caption text { nullptr };
    std::unique_ptr<platform::CaptionReadingTrack> reading;
};

// Loads the file into a track and queues every caption for reading.
std::unique_ptr<Track> loadTrack(platform::CaptionTextReader& reader, const std::string& file, uint32_t position)
{
    auto track = std::make_unique<Track>();
    track->text.beginPictureTrack(std::make_unique<sublumen::PictureCaption>(file.c_str()));
    track->reading = reader.addTrack(track->text.pictures->language);
    track->reading->setPosition(position);
    std::vector<std::pair<uint32_t, platform::CaptionPictureHandle>> unread;
    for (uint32_t start : track->text.pictures->takeUnread())
        unread.emplace_back(start, track->text.pictures->entryAt(start)->picture);
    track->reading->submit(std::move(unread));
    return track;
}

void takeTexts(Track& track)
{
    for (platform::ReadCaptionText& read : track.reading->takeTexts())
        track.text.setPictureText(read.start, *read.picture, std::move(read.text));
}

std::string writeSet(const std::filesystem::path& dir, const std::string& name, fixtures::TextPictureRecipe recipe,
    const std::vector<fixtures::TextCaption>& captions)
{
    const std::string path = (dir / (name + (recipe.format == fixtures::TextPictureFormat::Pgs ? ".sup" : ".idx"))).string();
    const std::string error = fixtures::writeTextCaptionPictures(path, recipe, captions);
    if (!error.empty()) {
        std::fprintf(stderr, "caption_reading_bench: %s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
    }
    return path;
}

void accuracy(const std::filesystem::path& dir)
{
    std::printf("character error rate (edits / true characters), %zu Korean and %zu English captions a set\n",
        koreanLines.size(), englishLines.size());
    std::printf("%-8s %-6s %-8s %8s %8s %7s\n", "format", "size", "language", "chars", "errors", "CER");
    struct Size {
        const char* name;
        int width, height;
    };
    for (auto format : { fixtures::TextPictureFormat::Pgs, fixtures::TextPictureFormat::VobSub })
        for (Size size : { Size { "1080p", 1920, 1080 }, Size { "480p", 720, 480 } })
            for (bool korean : { true, false }) {
                const auto& lines = korean ? koreanLines : englishLines;
                std::vector<fixtures::TextCaption> captions = captionsOf(lines, lines.size(), 3000);
                fixtures::TextPictureRecipe recipe;
                recipe.format = format;
                recipe.canvasWidth = size.width;
                recipe.canvasHeight = size.height;
                recipe.language = korean ? "ko" : "en";
                const std::string name = std::string(korean ? "kor-" : "eng-") + size.name;
                const std::string file = writeSet(dir, name, recipe, captions);
                platform::CaptionTextReader reader("");
                auto track = loadTrack(reader, file, 0);
                reader.waitIdle();
                takeTexts(*track);
                size_t chars = 0, errors = 0;
                for (const fixtures::TextCaption& c : captions) {
                    const auto* entry = track->text.pictures->entryAt(c.startMs);
                    const std::u32string truth = codePoints(c.text);
                    const std::u32string read = codePoints(entry && entry->text ? *entry->text : "");
                    const size_t d = editDistance(read, truth);
                    chars += truth.size();
                    errors += d;
                    if (d && std::getenv("SHOW_ERRORS"))
                        std::printf("  [%s] read \"%s\" for \"%s\"\n", name.c_str(), entry && entry->text ? entry->text->c_str() : "",
                            c.text.c_str());
                }
                std::printf("%-8s %-6s %-8s %8zu %8zu %6.2f%%\n",
                    format == fixtures::TextPictureFormat::Pgs ? "PGS" : "VobSub", size.name,
                    korean ? "Korean" : "English", chars, errors, 100.0 * errors / chars);
                std::fflush(stdout);
            }
}

void wholeTrack(const std::filesystem::path& dir, size_t count)
{
    // Two hours: a caption every 4.8 s for 1500.
    const uint32_t spacing = static_cast<uint32_t>(7200000 / count);
    fixtures::TextPictureRecipe recipe;
    recipe.language = "ko";
    std::vector<fixtures::TextCaption> captions = captionsOf(koreanLines, count, spacing);
    const std::string file = writeSet(dir, "track-kor-1080p", recipe, captions);

    {
        platform::CaptionTextReader reader("");
        const double cpu = cpuSeconds();
        const auto wall = std::chrono::steady_clock::now();
        auto track = loadTrack(reader, file, 0);
        reader.waitIdle();
        std::printf("\nwhole track: %zu Korean captions of 1080p PGS read in %.1f s of CPU, %.1f s\n", count,
            cpuSeconds() - cpu, since(wall));
    }

    // The first two minutes from the middle, then from three quarters.
    platform::CaptionTextReader reader("");
    auto firstSpanRead = [&](Track& track, uint32_t position) {
        const auto wall = std::chrono::steady_clock::now();
        track.reading->setPosition(position);
        const uint32_t from = position - platform::CaptionTextReader::firstSpanBefore;
        const uint32_t to = position + platform::CaptionTextReader::firstSpan;
        for (;;) {
            takeTexts(track);
            bool all = true;
            for (const auto& e : track.text.pictures->entries())
                if (e.start >= from && e.start <= to && !e.text)
                    all = false;
            if (all)
                return since(wall);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    const double start = firstSpanRead(*loadTrack(reader, file, 3600000), 3600000);
    auto track = loadTrack(reader, file, 3600000);
    // Let it read on a while, as a movie plays, then seek.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double seek = firstSpanRead(*track, 5400000);
    std::printf("first two minutes (%zu captions): ready %.2f s after the start (data loaded then), %.2f s after a seek\n",
        static_cast<size_t>(125000 / spacing), start, seek);
}

}

int main(int argc, char** argv)
{
    const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1500;
    const char* base = std::getenv("BENCH_DIR");
    const std::filesystem::path dir = base ? base : "/tmp/sublumen-reading";
    std::filesystem::create_directories(dir);
    accuracy(dir);
    if (count > 0)
        wholeTrack(dir, count);
    return 0;
}
