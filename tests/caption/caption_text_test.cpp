#include "caption/caption_text.h"

#include <gtest/gtest.h>
#include <string>

using sublumen::filterCaptionText;

namespace {

struct FilterCase {
    std::string input;
    std::string expected;
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << testing::PrintToString(c.input); }

class FilterCaptionText : public testing::TestWithParam<FilterCase> { };

}

TEST_P(FilterCaptionText, Cleans)
{
    std::string buffer = GetParam().input;
    filterCaptionText(buffer.data());
    EXPECT_EQ(std::string(buffer.c_str()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, FilterCaptionText,
    testing::Values(FilterCase { "100% %41%4a%4A 50%% %%41 %4 %G1 end%", "100% AJJ 50% %41 %4 %G1 end%" },
        FilterCase { "&nbsp;&NBSP;&Nbsp&nbspx &amp; &", " x &amp; &" },
        FilterCase { "a<br>b</br>c<BR>d<br >e<b>f</b><center>g</center>", "a\nb\rc\nd<br >efg" },
        FilterCase { "<ruby>a<rt>b</rt></ruby>", "[a/b</rt>]" },
        FilterCase { "<bx><b", "<bx><b" },
        FilterCase { "  a \t\t b\t\n  c  ", " a b \n c " },
        FilterCase { "%20%20x", " x" },
        FilterCase { "\xb0\xa1%\xb0\xa1&\xb3\xaa", "\xb0\xa1%\xb0\xa1&\xb3\xaa" },
        FilterCase { "a%00b", "a" },
        FilterCase { "", "" }));
