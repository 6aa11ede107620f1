#include "caption/picture_caption.h"

#include "app/debug_log.h"
#include "caption/caption.h"
#include "caption/caption_formats.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace sublumen {

namespace {

uint32_t milliseconds(platform::CaptionPicture::Time t)
{
    if (t == platform::CaptionPicture::unbounded)
        return endMarker;
    int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(t).count();
    return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, endMarker - 1));
}

struct Span {
    double x0, y0, x1, y1;
};

int32_t rounded(double v) { return static_cast<int32_t>(std::clamp(std::floor(v + 0.5), -1e9, 1e9)); }

// The source pixels that make output pixel i of a row of n resampled to m: bilinear taps when
// enlarging, the covered pixels (each weighted by how much of it is covered) when shrinking.
struct Tap {
    int index;
    float weight;
};
std::vector<std::vector<Tap>> taps(int n, int m)
{
    std::vector<std::vector<Tap>> out(static_cast<size_t>(m));
    const double ratio = static_cast<double>(n) / m;
    for (int i = 0; i < m; ++i) {
        std::vector<Tap>& t = out[static_cast<size_t>(i)];
        if (ratio <= 1) {
            double at = std::clamp((i + 0.5) * ratio - 0.5, 0.0, static_cast<double>(n - 1));
            int first = static_cast<int>(at);
            double frac = at - first;
            t.push_back({ first, static_cast<float>(1 - frac) });
            if (frac > 0 && first + 1 < n)
                t.push_back({ first + 1, static_cast<float>(frac) });
        } else {
            double from = i * ratio;
            double to = std::min((i + 1) * ratio, static_cast<double>(n));
            for (int k = static_cast<int>(from); k < to; ++k) {
                double cover = std::min(to, k + 1.0) - std::max(from, static_cast<double>(k));
                if (cover > 0)
                    t.push_back({ k, static_cast<float>(cover / ratio) });
            }
        }
    }
    return out;
}

}

std::vector<ScreenBox> layoutPictureCaption(const platform::CaptionPicture& picture, const PictureCaptionView& view)
{
    std::vector<ScreenBox> boxes(picture.bitmaps.size());
    std::vector<Span> spans(picture.bitmaps.size());
    bool any = false;
    Span whole {};
    for (size_t i = 0; i < picture.bitmaps.size(); ++i) {
        const platform::CaptionBitmap& b = picture.bitmaps[i];
        if (view.forcedOnly && !b.forced)
            continue;
        Span s { b.x * view.scaleX + view.offsetX, b.y * view.scaleY + view.offsetY,
            (static_cast<double>(b.x) + b.width) * view.scaleX + view.offsetX,
            (static_cast<double>(b.y) + b.height) * view.scaleY + view.offsetY };
        spans[i] = s;
        whole = any ? Span { std::min(whole.x0, s.x0), std::min(whole.y0, s.y0), std::max(whole.x1, s.x1),
            std::max(whole.y1, s.y1) }
                    : s;
        any = true;
    }
    if (!any)
        return boxes;
    // Scaled about the bottom centre of the whole caption, then raised; a caption larger than the screen
    // is made to fit it, about the same point.
    const double W = std::max(view.screenWidth, 1);
    const double H = std::max(view.screenHeight, 1);
    double scale = view.captionScale > 0 ? view.captionScale : 1;
    const double pivotX = (whole.x0 + whole.x1) / 2;
    const double pivotY = whole.y1 - view.raise;
    const double width = (whole.x1 - whole.x0) * scale;
    const double height = (whole.y1 - whole.y0) * scale;
    if (width > W || height > H)
        scale *= std::min(width > W ? W / width : 1.0, height > H ? H / height : 1.0);
    auto place = [&](const Span& s) {
        return Span { pivotX + (s.x0 - pivotX) * scale, pivotY + (s.y0 - whole.y1) * scale,
            pivotX + (s.x1 - pivotX) * scale, pivotY + (s.y1 - whole.y1) * scale };
    };
    const Span all = place(whole);
    // Kept inside the screen as a whole: moved, never cut.
    double dx = all.x0 < 0 ? -all.x0 : all.x1 > W ? W - all.x1 : 0;
    double dy = all.y0 < 0 ? -all.y0 : all.y1 > H ? H - all.y1 : 0;
    for (size_t i = 0; i < picture.bitmaps.size(); ++i) {
        const platform::CaptionBitmap& b = picture.bitmaps[i];
        if (view.forcedOnly && !b.forced)
            continue;
        Span s = place(spans[i]);
        int32_t x0 = rounded(s.x0 + dx);
        int32_t y0 = rounded(s.y0 + dy);
        const int32_t width = std::max(rounded(s.x1 + dx) - x0, 1);
        const int32_t height = std::max(rounded(s.y1 + dy) - y0, 1);
        // A bitmap shrunk below a pixel still shows as one, inside the screen too.
        x0 = std::clamp(x0, 0, std::max(static_cast<int32_t>(W) - width, 0));
        y0 = std::clamp(y0, 0, std::max(static_cast<int32_t>(H) - height, 0));
        boxes[i] = { x0, y0, width, height };
    }
    return boxes;
}

PictureCaption::PictureCaption(const char* fileName)
{
    std::vector<platform::CaptionPictureHandle> pictures;
    const CaptionFormat format = fileName ? captionFormatOfFile(fileName).format : CaptionFormat::Sami;
    const platform::PictureCaptionFormat kind = format == CaptionFormat::Sup ? platform::PictureCaptionFormat::Sup
        : format == CaptionFormat::VobSub                                  ? platform::PictureCaptionFormat::VobSub
                                                                           : platform::PictureCaptionFormat::None;
    platform::PictureCaptionFile file = platform::readPictureCaptionFile(fileName ? fileName : "", kind,
        [&](platform::CaptionPictureHandle picture) { pictures.push_back(std::move(picture)); });
    if (!file.opened) {
        debugLog("PictureCaption:: load Fail : %s\n", file.failure.c_str());
        loadResult = -1;
        return;
    }
    if (file.undecodedPackets)
        debugLog("PictureCaption:: %d damaged packets dropped.\n", file.undecodedPackets);
    if (file.droppedBitmaps)
        debugLog("PictureCaption:: %d pictures beyond every caption size dropped.\n", file.droppedBitmaps);
    if (file.badColours)
        debugLog("PictureCaption:: %d pictures with colours beyond their palette.\n", file.badColours);
    language = file.language;
    for (const platform::CaptionDrop& drop : file.drops)
        debugLog("PictureCaption:: %s.\n", platform::captionDropLine(drop).c_str());
    drops = std::move(file.drops);
    addPictures(std::move(pictures));
    int width = 0;
    int height = 0;
    for (const Entry& e : entries_)
        if (e.picture->canvasWidth > 0) {
            width = e.picture->canvasWidth;
            height = e.picture->canvasHeight;
            break;
        }
    debugLog("PictureCaption:: %u captions on %dx%d.\n", static_cast<unsigned>(entries_.size()), width, height);
}

bool sameBitmaps(const platform::CaptionPicture& a, const platform::CaptionPicture& b)
{
    if (a.bitmaps.size() != b.bitmaps.size())
        return false;
    for (size_t i = 0; i < a.bitmaps.size(); ++i) {
        const platform::CaptionBitmap& x = a.bitmaps[i];
        const platform::CaptionBitmap& y = b.bitmaps[i];
        if (x.width != y.width || x.height != y.height || x.palette != y.palette || x.runs != y.runs)
            return false;
    }
    return true;
}

std::vector<uint32_t> PictureCaption::addPictures(std::vector<platform::CaptionPictureHandle> pictures)
{
    std::vector<uint32_t> changed;
    for (platform::CaptionPictureHandle& picture : pictures) {
        if (!picture)
            continue;
        Entry entry { milliseconds(picture->start), milliseconds(picture->end), std::move(picture), std::nullopt };
        auto at = std::upper_bound(entries_.begin(), entries_.end(), entry.start,
            [](uint32_t start, const Entry& e) { return start < e.start; });
        if (at != entries_.begin() && std::prev(at)->start == entry.start) {
            Entry& held = *std::prev(at);
            if (held.picture == entry.picture)
                continue;
            // The same caption read again after a seek says what it said.
            if (sameBitmaps(*held.picture, *entry.picture))
                entry.text = std::move(held.text);
            held = std::move(entry);
            changed.push_back(held.start);
            continue;
        }
        // Logged as the text track logs its entries, with the caption's extent in place of its text.
        const uint32_t t = entry.start;
        int left = 0, top = 0, right = 0, bottom = 0;
        for (const platform::CaptionBitmap& b : entry.picture->bitmaps) {
            bool first = right == 0 && bottom == 0;
            left = first ? b.x : std::min(left, b.x);
            top = first ? b.y : std::min(top, b.y);
            right = std::max(right, b.x + b.width);
            bottom = std::max(bottom, b.y + b.height);
        }
        debugLog("%02d:%02d.%02d[%10u]:[picture %u: %d,%d %dx%d]\n", t / 60000u, (t / 1000u) % 60u, (t % 1000u) / 10u,
            t, static_cast<unsigned>(entry.picture->bitmaps.size()), left, top, right - left, bottom - top);
        entries_.insert(at, std::move(entry));
        changed.push_back(t);
    }
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    unread_.insert(unread_.end(), changed.begin(), changed.end());
    return changed;
}

const PictureCaption::Entry* PictureCaption::entryAt(uint32_t start) const
{
    auto at = std::lower_bound(
        entries_.begin(), entries_.end(), start, [](const Entry& e, uint32_t t) { return e.start < t; });
    return at != entries_.end() && at->start == start ? &*at : nullptr;
}

bool PictureCaption::setText(uint32_t start, const platform::CaptionPicture& picture, std::string text)
{
    Entry* entry = const_cast<Entry*>(entryAt(start));
    if (!entry || (entry->picture.get() != &picture && !sameBitmaps(*entry->picture, picture)))
        return false;
    entry->text = std::move(text);
    return true;
}

std::vector<uint32_t> PictureCaption::takeUnread()
{
    std::vector<uint32_t> starts = std::exchange(unread_, {});
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    std::erase_if(starts, [&](uint32_t start) {
        const Entry* e = entryAt(start);
        return !e || e->text || e->picture->bitmaps.empty();
    });
    return starts;
}

const PictureCaption::Entry* PictureCaption::shownEntry(uint32_t time) const
{
    auto at = std::upper_bound(
        entries_.begin(), entries_.end(), time, [](uint32_t t, const Entry& e) { return t < e.start; });
    if (at == entries_.begin())
        return nullptr;
    const Entry& e = *std::prev(at);
    if (time >= e.end || e.picture->bitmaps.empty())
        return nullptr;
    return &e;
}

const platform::CaptionPicture* PictureCaption::shownAt(uint32_t time) const
{
    const Entry* e = shownEntry(time);
    return e ? e->picture.get() : nullptr;
}

bool PictureCaption::draw(uint32_t time, platform::PixelView target, const PictureCaptionView& view)
{
    const Entry* shown = shownEntry(time);
    if (!shown || (view.unreadOnly && shown->text))
        return false;
    const platform::CaptionPicture* picture = shown->picture.get();
    if (shown->picture != scaledFor_) {
        scaled_.assign(picture->bitmaps.size(), {});
        scaledFor_ = shown->picture;
    }
    std::vector<ScreenBox> boxes = layoutPictureCaption(*picture, view);
    bool drawn = false;
    for (size_t i = 0; i < boxes.size(); ++i) {
        const ScreenBox& box = boxes[i];
        if (box.width <= 0 || box.height <= 0)
            continue;
        Scaled& s = scaled_[i];
        if (s.width != box.width || s.height != box.height) {
            s.pixels = scaleCaptionBitmap(picture->bitmaps[i], box.width, box.height);
            s.width = box.width;
            s.height = box.height;
        }
        blendPremultiplied(target, box.x, box.y, box.width, box.height, s.pixels.data());
        drawn = true;
    }
    return drawn;
}

std::vector<uint32_t> scaleCaptionBitmap(const platform::CaptionBitmap& bitmap, int32_t width, int32_t height)
{
    const int w = bitmap.width;
    const int h = bitmap.height;
    std::vector<uint32_t> out(static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0)));
    if (w <= 0 || h <= 0 || width <= 0 || height <= 0)
        return out;
    const std::vector<uint32_t> argb = bitmap.argb();
    auto premultiplied = [](uint32_t p, float c[4]) {
        const float a = static_cast<float>(p >> 24);
        c[0] = a;
        c[1] = static_cast<float>((p >> 16) & 0xFF) * a / 255.f;
        c[2] = static_cast<float>((p >> 8) & 0xFF) * a / 255.f;
        c[3] = static_cast<float>(p & 0xFF) * a / 255.f;
    };
    // Across first, into rows of the new width, then down.
    const std::vector<std::vector<Tap>> across = taps(w, width);
    const std::vector<std::vector<Tap>> down = taps(h, height);
    std::vector<float> rows(static_cast<size_t>(width) * h * 4, 0.f);
    for (int y = 0; y < h; ++y) {
        const uint32_t* in = argb.data() + static_cast<size_t>(y) * w;
        float* row = rows.data() + static_cast<size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x)
            for (const Tap& t : across[static_cast<size_t>(x)]) {
                if (!(in[t.index] >> 24))
                    continue;
                float c[4];
                premultiplied(in[t.index], c);
                for (int k = 0; k < 4; ++k)
                    row[x * 4 + k] += c[k] * t.weight;
            }
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float c[4] = { 0, 0, 0, 0 };
            for (const Tap& t : down[static_cast<size_t>(y)]) {
                const float* p = rows.data() + (static_cast<size_t>(t.index) * width + x) * 4;
                for (int k = 0; k < 4; ++k)
                    c[k] += p[k] * t.weight;
            }
            auto byte = [](float v) { return static_cast<uint32_t>(std::clamp(v + 0.5f, 0.f, 255.f)); };
            uint32_t a = byte(c[0]);
            out[static_cast<size_t>(y) * width + x]
                = a << 24 | std::min(byte(c[1]), a) << 16 | std::min(byte(c[2]), a) << 8 | std::min(byte(c[3]), a);
        }
    }
    return out;
}

void blendPremultiplied(
    platform::PixelView target, int32_t x, int32_t y, int32_t width, int32_t height, const uint32_t* pixels)
{
    const int32_t left = std::max(x, 0);
    const int32_t top = std::max(y, 0);
    const int32_t right = std::min<int64_t>(static_cast<int64_t>(x) + width, target.width);
    const int32_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + height, target.height);
    // dst × (255 - a) / 255, rounded, without a division.
    auto under = [](uint32_t v, uint32_t keep) {
        uint32_t t = v * keep + 128;
        return (t + (t >> 8)) >> 8;
    };
    for (int32_t row = top; row < bottom; ++row) {
        const uint32_t* in = pixels + static_cast<size_t>(row - y) * width + (left - x);
        if (target.format == platform::PixelFormat::XRGB8888) {
            auto* out = reinterpret_cast<uint32_t*>(target.row(row)) + left;
            for (int32_t i = 0; i < right - left; ++i) {
                const uint32_t p = in[i];
                const uint32_t a = p >> 24;
                if (a == 0)
                    continue;
                if (a == 255) {
                    out[i] = p & 0xFFFFFF;
                    continue;
                }
                const uint32_t d = out[i];
                const uint32_t keep = 255 - a;
                out[i] = (((p >> 16) & 0xFF) + under((d >> 16) & 0xFF, keep)) << 16
                    | (((p >> 8) & 0xFF) + under((d >> 8) & 0xFF, keep)) << 8 | ((p & 0xFF) + under(d & 0xFF, keep));
            }
        } else {
            auto* out = reinterpret_cast<uint16_t*>(target.row(row)) + left;
            for (int32_t i = 0; i < right - left; ++i) {
                const uint32_t p = in[i];
                const uint32_t a = p >> 24;
                if (a == 0)
                    continue;
                const uint32_t d = out[i];
                const uint32_t r5 = (d >> 11) & 0x1F, g6 = (d >> 5) & 0x3F, b5 = d & 0x1F;
                const uint32_t keep = 255 - a;
                const uint32_t r = std::min<uint32_t>(((p >> 16) & 0xFF) + under((r5 << 3) | (r5 >> 2), keep), 255);
                const uint32_t g = std::min<uint32_t>(((p >> 8) & 0xFF) + under((g6 << 2) | (g6 >> 4), keep), 255);
                const uint32_t b = std::min<uint32_t>((p & 0xFF) + under((b5 << 3) | (b5 >> 2), keep), 255);
                out[i] = static_cast<uint16_t>(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
            }
        }
    }
}

}
