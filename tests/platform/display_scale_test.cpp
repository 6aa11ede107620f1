#include "platform/screen/display_scale.h"

#include <gtest/gtest.h>

namespace {

struct ScaleCase {
    const char* text;
    double unit;
    double scale;  // 0: ignored
};

// GDK_SCALE counts in scales, Xft.dpi in dots per inch of 96 each; what is no positive number is ignored,
// and what lies outside 1 to 4 is brought into it.
const ScaleCase cases[] = {
    { "2", 1.0, 2.0 },
    { " 1.25 ", 1.0, 1.25 },
    { "3", 1.0, 3.0 },
    { "120", 96.0, 1.25 },
    { "144\t", 96.0, 1.5 },
    { "72", 96.0, 1.0 },
    { "40", 1.0, 4.0 },
    { "abc", 1.0, 0.0 },
    { "2x", 1.0, 0.0 },
    { "", 96.0, 0.0 },
    { "-2", 1.0, 0.0 },
    { "nan", 1.0, 0.0 },
    { "inf", 96.0, 0.0 },
};

TEST(DisplayScale, ReadsGdkScaleAndXftDpiAndKeepsThemSane)
{
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_DOUBLE_EQ(platform::scaleFromText(c.text, c.unit, "test"), c.scale);
    }
}

}
