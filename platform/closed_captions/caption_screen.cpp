#include "platform/closed_captions/caption_screen.h"

#include "platform/gdi/text_decoding.h"

#include <algorithm>

namespace platform {

void appendRowText(std::string& text, std::span<const char32_t> row)
{
    auto blank = [](char32_t c) { return c == 0 || c == U' '; };
    auto first = std::find_if_not(row.begin(), row.end(), blank);
    if (first == row.end())
        return;
    auto last = std::find_if_not(row.rbegin(), row.rend(), blank).base();
    std::u32string cells(first, last);
    std::replace(cells.begin(), cells.end(), U'\0', U' ');
    if (!text.empty())
        text += '\n';
    text += encodeUtf8(cells);
}

}
