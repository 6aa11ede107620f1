// Replacements of stretches of a text, gathered in order and made in one pass: what the caption writers
// use to move times while every other byte stays.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sublumen {

class TextEdits {
public:
    explicit TextEdits(std::string_view text)
        : text_(text)
    {
        out_.reserve(text.size() + text.size() / 32);
    }

    // Replaces [from, to) with replacement; stretches are given in ascending order and do not overlap.
    void replace(size_t from, size_t to, std::string_view replacement)
    {
        out_.append(text_, copied_, from - copied_);
        out_.append(replacement);
        copied_ = to;
    }

    // The text with every replacement made.
    std::string result()
    {
        out_.append(text_, copied_);
        copied_ = text_.size();
        return std::move(out_);
    }

private:
    std::string_view text_;
    std::string out_;
    size_t copied_ = 0;
};

// Where the readers stop: the first Ctrl-Z, or the end.
inline size_t readableEnd(std::string_view text)
{
    const size_t stop = text.find('\x1A');
    return stop == std::string_view::npos ? text.size() : stop;
}

}
