// The same captions written as each kind of caption file the player reads, for tests that compare what
// the kinds give. Every cue's lines are joined by "\n"; cues must not overlap, as a SAMI file cannot
// show two at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace testing_support {

struct SampleCue {
    uint32_t start;
    uint32_t end;
    std::string text;
};

enum class CaptionForm {
    Sami,
    SubRip,
    WebVtt,
    Ass,
};

inline const char* suffixOf(CaptionForm form)
{
    switch (form) {
    case CaptionForm::Sami:
        return ".smi";
    case CaptionForm::SubRip:
        return ".srt";
    case CaptionForm::WebVtt:
        return ".vtt";
    case CaptionForm::Ass:
        return ".ass";
    }
    return "";
}

// h:mm:ss with the given separator and fraction digits (3: milliseconds, 2: hundredths).
inline std::string clockTime(uint32_t ms, char separator, int digits, bool twoDigitHours = true)
{
    char text[32];
    unsigned fraction = digits == 3 ? ms % 1000 : (ms % 1000) / 10;
    std::snprintf(text, sizeof text, twoDigitHours ? "%02u:%02u:%02u%c%0*u" : "%u:%02u:%02u%c%0*u", ms / 3600000,
        ms / 60000 % 60, ms / 1000 % 60, separator, digits, fraction);
    return text;
}

inline std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The file's bytes, with each form's own markup around the text, which the reader must remove.
inline std::string captionFile(CaptionForm form, const std::vector<SampleCue>& cues)
{
    std::string out;
    int n = 0;
    switch (form) {
    case CaptionForm::Sami:
        out = "<SAMI><HEAD><TITLE>t</TITLE></HEAD><BODY>\r\n";
        for (const SampleCue& c : cues)
            out += "<SYNC Start=" + std::to_string(c.start) + "><P Class=KRCC>" + replaced(c.text, "\n", "<br>")
                + "\r\n<SYNC Start=" + std::to_string(c.end) + "><P Class=KRCC>&nbsp;\r\n";
        return out + "</BODY></SAMI>\r\n";
    case CaptionForm::SubRip:
        for (const SampleCue& c : cues)
            out += std::to_string(++n) + "\r\n" + clockTime(c.start, ',', 3) + " --> " + clockTime(c.end, ',', 3)
                + "\r\n<i>" + replaced(c.text, "\n", "</i>\r\n<i>") + "</i>\r\n\r\n";
        return out;
    case CaptionForm::WebVtt:
        out = "WEBVTT\n\nNOTE written by the test\n\n";
        for (const SampleCue& c : cues)
            out += "c" + std::to_string(++n) + "\n" + clockTime(c.start, '.', 3) + " --> " + clockTime(c.end, '.', 3)
                + " align:start line:0\n<b>" + c.text + "</b>\n\n";
        return out;
    case CaptionForm::Ass:
        out = "[Script Info]\nScriptType: v4.00+\nPlayResX: 640\nPlayResY: 480\n\n[V4+ Styles]\n"
              "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, "
              "Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, "
              "MarginL, MarginR, MarginV, Encoding\n"
              "Style: Default,Arial,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,2,2,10,10,10,1\n"
              "\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
        for (const SampleCue& c : cues)
            out += "Dialogue: 0," + clockTime(c.start, '.', 2, false) + "," + clockTime(c.end, '.', 2, false)
                + ",Default,,0,0,0,,{\\an8\\i1}" + replaced(c.text, "\n", "\\N") + "\n";
        return out;
    }
    return out;
}

}
