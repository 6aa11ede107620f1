#include "platform/authored_captions.h"

#include "platform/kernel.h"
#include "platform/resource_files.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <thread>

extern "C" {
#include <ass/ass.h>
}

namespace platform {

namespace {

template<auto Free> struct Deleter {
    template<typename T> void operator()(T* p) const { Free(p); }
};
using LibraryHandle = std::unique_ptr<ASS_Library, Deleter<ass_library_done>>;
using RendererHandle = std::unique_ptr<ASS_Renderer, Deleter<ass_renderer_done>>;
using TrackHandle = std::unique_ptr<ASS_Track, Deleter<ass_free_track>>;

// The renderer's own messages that reach the log (errors and warnings: a missing font, a broken
// override tag), and at most this many of them per track, so a hostile script cannot flood the log.
constexpr int loggedLevel = 2;
constexpr int loggedMessages = 40;

// A picture larger than this is not a frame the renderer is asked to fill.
constexpr int largestFrame = 16384;

// One rendering holds at most this many mask bytes per pixel of its frame: a scene of piled-up layers
// past it is cut (the later layers, which lie on top, are the ones dropped) and logged.
constexpr size_t maskBytesPerPixel = 16;

struct Event {
    int64_t start;
    int64_t duration;
    std::string line;
};

// One mask of a rendering: its place in the frame, its colour (RGBA, alpha 0 opaque) and where its
// rows lie in the rendering's mask bytes.
struct Piece {
    int x;
    int y;
    int width;
    int height;
    uint32_t color;
    size_t offset;
};

struct Rendering {
    int width = 0;
    int height = 0;
    int pictureWidth = 0;
    int pictureHeight = 0;
    std::vector<Piece> pieces;
    std::vector<uint8_t> masks;

    bool sameFrame(const PictureFrame& f) const
    {
        return width == f.width && height == f.height && pictureWidth == f.pictureWidth && pictureHeight == f.pictureHeight;
    }
};

void logMessage(int level, const char* format, va_list args, void* data)
{
    if (level > loggedLevel)
        return;
    auto* count = static_cast<std::atomic<int>*>(data);
    int n = count->fetch_add(1);
    if (n > loggedMessages)
        return;
    if (n == loggedMessages) {
        platformLog("ass: further renderer messages of this track dropped\n");
        return;
    }
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    platformLog("ass: %s\n", text);
}

inline uint32_t mix(uint32_t under, uint32_t over, uint32_t alpha)
{
    // under + (over - under) * alpha / 255, rounded, in unsigned arithmetic.
    uint32_t v = under * (255 - alpha) + over * alpha + 128;
    return (v + (v >> 8)) >> 8;
}

void blendPiece(Surface& target, const Piece& piece, const uint8_t* mask, int64_t left, int64_t top)
{
    const int64_t x0 = std::max<int64_t>(left, 0);
    const int64_t y0 = std::max<int64_t>(top, 0);
    const int64_t x1 = std::min<int64_t>(left + piece.width, target.width);
    const int64_t y1 = std::min<int64_t>(top + piece.height, target.height);
    if (x0 >= x1 || y0 >= y1)
        return;
    const uint32_t r = piece.color >> 24;
    const uint32_t g = (piece.color >> 16) & 0xFF;
    const uint32_t b = (piece.color >> 8) & 0xFF;
    const uint32_t opacity = 255 - (piece.color & 0xFF);
    if (opacity == 0)
        return;
    for (int64_t y = y0; y < y1; ++y) {
        const uint8_t* m = mask + static_cast<size_t>(y - top) * static_cast<size_t>(piece.width) + (x0 - left);
        uint8_t* row = target.row(static_cast<int>(y));
        if (target.format == PixelFormat::XRGB8888) {
            uint32_t* px = reinterpret_cast<uint32_t*>(row) + x0;
            for (int64_t x = x0; x < x1; ++x, ++px, ++m) {
                if (!*m)
                    continue;
                const uint32_t a = (*m * opacity + 127) / 255;
                const uint32_t d = *px;
                *px = (mix((d >> 16) & 0xFF, r, a) << 16) | (mix((d >> 8) & 0xFF, g, a) << 8) | mix(d & 0xFF, b, a);
            }
        } else {
            uint16_t* px = reinterpret_cast<uint16_t*>(row) + x0;
            for (int64_t x = x0; x < x1; ++x, ++px, ++m) {
                if (!*m)
                    continue;
                const uint32_t a = (*m * opacity + 127) / 255;
                const uint32_t d = *px;
                const uint32_t dr = ((d >> 11) & 0x1F) * 255 / 31;
                const uint32_t dg = ((d >> 5) & 0x3F) * 255 / 63;
                const uint32_t db = (d & 0x1F) * 255 / 31;
                *px = static_cast<uint16_t>(packPixel(PixelFormat::RGB565, static_cast<int>(mix(dr, r, a)),
                    static_cast<int>(mix(dg, g, a)), static_cast<int>(mix(db, b, a))));
            }
        }
    }
}

}

struct AuthoredCaptions::State {
    std::atomic<int> messages {0};
    LibraryHandle library;
    TrackHandle track;
    // Made by the worker at its first rendering, since looking the fonts up takes a while.
    RendererHandle renderer;
    bool rendererFailed = false;
    std::atomic<int> events {0};

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable rendered;
    // Under mutex: the events not yet handed to the track, the newest rendering wanted, the last one made.
    std::vector<Event> pending;
    bool wanted = false;
    PictureFrame wantedFrame;
    int64_t wantedTime = 0;
    uint64_t wantedSerial = 0;
    bool busy = false;
    bool quit = false;
    std::shared_ptr<const Rendering> last;
    uint64_t lastSerial = 0;
    std::chrono::milliseconds budget = defaultRenderBudget;
    std::thread worker;
    bool cutLogged = false;

    ~State()
    {
        if (worker.joinable()) {
            {
                std::lock_guard lock(mutex);
                quit = true;
            }
            wake.notify_all();
            worker.join();
        }
    }

    void start() { worker = std::thread([this] { run(); }); }

    void run()
    {
        std::shared_ptr<const Rendering> previous;
        for (;;) {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return quit || wanted; });
            if (quit)
                return;
            wanted = false;
            busy = true;
            const PictureFrame want = wantedFrame;
            const int64_t time = wantedTime;
            const uint64_t serial = wantedSerial;
            std::vector<Event> events;
            events.swap(pending);
            lock.unlock();

            for (Event& e : events)
                ass_process_chunk(track.get(), e.line.data(), static_cast<int>(e.line.size()), e.start, e.duration);
            this->events.store(track->n_events);
            std::shared_ptr<const Rendering> made = render(want, time, previous);
            previous = made;

            lock.lock();
            last = std::move(made);
            lastSerial = serial;
            busy = false;
            lock.unlock();
            rendered.notify_all();
        }
    }

    // The rendering at time over want; previous itself when nothing changed since it was made.
    std::shared_ptr<const Rendering> render(const PictureFrame& want, int64_t time,
        const std::shared_ptr<const Rendering>& previous)
    {
        if (!renderer) {
            if (rendererFailed)
                return nullptr;
            renderer.reset(ass_renderer_init(library.get()));
            if (!renderer) {
                rendererFailed = true;
                platformLog("ass: the renderer cannot start; captions as authored are not shown\n");
                return nullptr;
            }
            const std::string config = resourceFile("fonts.conf");
            ass_set_fonts(renderer.get(), nullptr, "sans-serif", ASS_FONTPROVIDER_AUTODETECT,
                config.empty() ? nullptr : config.c_str(), 1);
        }
        const bool resized = !previous || !previous->sameFrame(want);
        if (resized) {
            ass_set_frame_size(renderer.get(), want.width, want.height);
            ass_set_storage_size(renderer.get(), want.pictureWidth, want.pictureHeight);
        }
        int changed = 0;
        ASS_Image* image = ass_render_frame(renderer.get(), track.get(), time, &changed);
        if (!resized && changed == 0)
            return previous;

        auto made = std::make_shared<Rendering>();
        made->width = want.width;
        made->height = want.height;
        made->pictureWidth = want.pictureWidth;
        made->pictureHeight = want.pictureHeight;
        const size_t limit = static_cast<size_t>(want.width) * static_cast<size_t>(want.height) * maskBytesPerPixel;
        size_t cut = 0;
        for (; image; image = image->next) {
            if (image->w <= 0 || image->h <= 0 || !image->bitmap)
                continue;
            const size_t bytes = static_cast<size_t>(image->w) * static_cast<size_t>(image->h);
            if (made->masks.size() + bytes > limit) {
                ++cut;
                continue;
            }
            Piece piece { image->dst_x, image->dst_y, image->w, image->h, image->color, made->masks.size() };
            made->masks.resize(made->masks.size() + bytes);
            for (int y = 0; y < image->h; ++y)
                std::copy_n(image->bitmap + static_cast<ptrdiff_t>(y) * image->stride, image->w,
                    made->masks.begin() + static_cast<ptrdiff_t>(piece.offset + static_cast<size_t>(y) * image->w));
            made->pieces.push_back(piece);
        }
        if (cut && !cutLogged) {
            platformLog("ass: a scene at %lld ms has more layers than a frame holds; %u dropped\n",
                static_cast<long long>(time), static_cast<unsigned>(cut));
            cutLogged = true;
        }
        return made;
    }
};

AuthoredCaptions::AuthoredCaptions(std::unique_ptr<State> state)
    : state_(std::move(state))
{
    state_->start();
}

AuthoredCaptions::~AuthoredCaptions() = default;

namespace {

std::unique_ptr<AuthoredCaptions::State> newState()
{
    auto state = std::make_unique<AuthoredCaptions::State>();
    state->library.reset(ass_library_init());
    if (!state->library) {
        platformLog("ass: the library cannot start; captions as authored are not shown\n");
        return nullptr;
    }
    ass_set_message_cb(state->library.get(), logMessage, &state->messages);
    // Fonts embedded in a script's [Fonts] section are used like attached ones.
    ass_set_extract_fonts(state->library.get(), 1);
    return state;
}

}

std::unique_ptr<AuthoredCaptions> AuthoredCaptions::fromScript(std::string_view utf8)
{
    std::unique_ptr<State> state = newState();
    if (!state)
        return nullptr;
    std::string text(utf8);
    state->track.reset(ass_read_memory(state->library.get(), text.data(), text.size(), nullptr));
    if (!state->track) {
        platformLog("ass: no script found in the caption file; it is shown in our style only\n");
        return nullptr;
    }
    state->events.store(state->track->n_events);
    return std::unique_ptr<AuthoredCaptions>(new AuthoredCaptions(std::move(state)));
}

std::unique_ptr<AuthoredCaptions> AuthoredCaptions::fromStream(const AuthoredStyle& style)
{
    std::unique_ptr<State> state = newState();
    if (!state)
        return nullptr;
    size_t fontBytes = 0;
    for (const CaptionFont& font : style.fonts) {
        if (font.data.empty() || font.data.size() > maximumFontBytes || fontBytes + font.data.size() > maximumFontsBytes) {
            platformLog("ass: attached font \"%s\" of %zu bytes not used\n", font.name.c_str(), font.data.size());
            continue;
        }
        fontBytes += font.data.size();
        ass_add_font(state->library.get(), font.name.c_str(), font.data.data(), static_cast<int>(font.data.size()));
    }
    state->track.reset(ass_new_track(state->library.get()));
    if (!state->track) {
        platformLog("ass: no track could be made; captions as authored are not shown\n");
        return nullptr;
    }
    std::string header = style.header;
    if (!header.empty())
        ass_process_codec_private(state->track.get(), header.data(), static_cast<int>(header.size()));
    return std::unique_ptr<AuthoredCaptions>(new AuthoredCaptions(std::move(state)));
}

void AuthoredCaptions::addEvent(int64_t start, int64_t duration, std::string_view line)
{
    std::lock_guard lock(state_->mutex);
    state_->pending.push_back({ start, duration, std::string(line) });
}

void AuthoredCaptions::setRenderBudget(std::chrono::milliseconds budget)
{
    std::lock_guard lock(state_->mutex);
    state_->budget = budget;
}

int AuthoredCaptions::eventCount() const
{
    return state_->events.load();
}

void AuthoredCaptions::blend(Surface& target, const PictureFrame& frame, int64_t time)
{
    if (frame.width <= 0 || frame.height <= 0 || frame.width > largestFrame || frame.height > largestFrame
        || frame.pictureWidth <= 0 || frame.pictureHeight <= 0)
        return;
    State& s = *state_;
    std::shared_ptr<const Rendering> shown;
    {
        std::unique_lock lock(s.mutex);
        const bool waitFor = !s.busy;
        s.wanted = true;
        s.wantedFrame = frame;
        s.wantedTime = time;
        const uint64_t serial = ++s.wantedSerial;
        s.wake.notify_one();
        // While the worker is still on an earlier rendering, the last one is shown without waiting.
        if (waitFor)
            s.rendered.wait_for(lock, s.budget, [&] { return s.lastSerial >= serial; });
        shown = s.last;
    }
    if (!shown || !shown->sameFrame(frame))
        return;
    for (const Piece& piece : shown->pieces)
        blendPiece(target, piece, shown->masks.data() + piece.offset, static_cast<int64_t>(frame.left) + piece.x,
            static_cast<int64_t>(frame.top) + piece.y);
}

}
