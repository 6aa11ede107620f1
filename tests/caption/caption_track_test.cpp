#include "caption/caption.h"
#include "caption/text_cues.h"

#include "support/log_capture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace sublumen;
using testing_support::LogCapture;
using testing_support::ScratchDir;

namespace {

std::string textAt(Caption& track, uint32_t time)
{
    track.findAt(time);
    const CaptionEntry* entry = track.currentEntry();
    return entry ? std::string(entry->text) : std::string("<none>");
}

}

TEST(CaptionTrack, EqualStartsKeepTheirOrderAndTheLaterOneIsShown)
{
    Caption track(nullptr);
    track.addEntry(3000, "c");
    track.addEntry(1000, "a");
    track.addEntry(2000, "");
    track.addEntry(2000, "b");
    track.addEntry(endMarker, "");

    std::vector<std::string> order;
    for (ListNode* n = track.entries; n; n = n->next)
        order.push_back(static_cast<CaptionEntry*>(n->data)->text);
    EXPECT_EQ(order, (std::vector<std::string> { "a", "", "b", "c", "" }));
    // A blank at 2000 followed by a caption added later at 2000: the caption is shown.
    EXPECT_EQ(textAt(track, 2000), "b");
}

TEST(CaptionTrack, LookupWalksForwardAndBackFromTheLastPosition)
{
    Caption track(nullptr);
    for (uint32_t t : { 1000u, 2000u, 3000u, 4000u })
        track.addEntry(t, std::to_string(t).c_str());
    track.addEntry(endMarker, "");

    EXPECT_EQ(textAt(track, 999), "<none>");
    EXPECT_EQ(textAt(track, 1000), "1000");
    EXPECT_EQ(textAt(track, 3999), "3000");
    EXPECT_EQ(textAt(track, 10'000'000), "4000");
    EXPECT_EQ(textAt(track, 2500), "2000");
    EXPECT_EQ(textAt(track, 0), "<none>");
    // After running off the front the next lookup starts again from the first node.
    EXPECT_EQ(textAt(track, 4000), "4000");
}

TEST(CaptionTrack, EmptyTrackFindsNothing)
{
    Caption track(nullptr);
    EXPECT_EQ(textAt(track, 0), "<none>");
    EXPECT_EQ(textAt(track, 123456), "<none>");
}

TEST(CaptionTrack, EntriesAreLoggedInTheDocumentedFormat)
{
    ScratchDir dir;
    LogCapture log(dir);
    Caption track(nullptr);
    track.addEntry(1234, "Hi");
    track.addEntry(5400000, "late");
    track.addEntry(endMarker, "");
    EXPECT_EQ(log.text(),
        "00:01.23[      1234]:Hi\n"
        "90:00.00[   5400000]:late\n"
        "71582:47.29[4294967295]:\n");
}

TEST(CaptionTrack, ReaderIsChosenByTheLastFourCharacters)
{
    ScratchDir dir;
    for (const char* name : { "a.sub", "a.Sub", "a.SUB" }) {
        LogCapture log(dir);
        Caption track(dir.file(name).c_str());
        EXPECT_NE(log.text().find("Caption::loadSub"), std::string::npos) << name;
    }
    for (const char* name : { "a.smi", "a.sami", "a.txt", "ab" }) {
        LogCapture log(dir);
        Caption track(dir.file(name).c_str());
        EXPECT_NE(log.text().find("Caption::loadSMI"), std::string::npos) << name;
        EXPECT_NE(log.text().find("Caption:: load Fail -1.\n"), std::string::npos) << name;
    }
    LogCapture log(dir);
    Caption track(dir.file("movie.asf").c_str());
    EXPECT_NE(log.text().find("Caption::loadASFscript"), std::string::npos);
}

TEST(CaptionTrack, OutOfOrderEntriesAreSortedStablyAndUnloadStartsAfresh)
{
    Caption track(nullptr);
    const std::vector<std::pair<uint32_t, std::string>> added {
        { 5, "a" }, { 1, "b" }, { 5, "c" }, { 9, "d" }, { 3, "e" }, { 9, "f" }, { 0, "g" }, { 12, "h" }, { 9, "i" },
    };
    for (int round = 0; round < 2; ++round) {
        for (const auto& [start, text] : added)
            track.addEntry(start, text.c_str());
        std::string order;
        for (ListNode* n = track.entries; n; n = n->next) {
            order += static_cast<CaptionEntry*>(n->data)->text;
            if (n->next) {
                EXPECT_EQ(n->next->prev, n);
            }
        }
        EXPECT_EQ(order, "gbeacdfih");
        track.unload();
        EXPECT_EQ(track.entries, nullptr);
    }
}

// A reader builds its whole track at once; the order must be the one that adding the entries one by
// one in file order gives, ties included, whatever the order of the file.
TEST(CaptionTrack, ReadersBuildTheOrderThatAddingOneByOneGives)
{
    ScratchDir dir;
    std::string file;
    Caption oneByOne(nullptr);
    uint32_t state = 777;
    for (int i = 0; i < 5000; ++i) {
        state = state * 1103515245u + 12345u;
        // Runs in time order broken by jumps back, with many equal starts.
        uint32_t start = i % 64 < 48 ? static_cast<uint32_t>(i) : (state >> 16) % 300;
        file += "<SYNC Start=" + std::to_string(start) + ">" + std::to_string(i);
        oneByOne.addEntry(start, std::to_string(i).c_str());
    }
    oneByOne.addEntry(endMarker, "");
    Caption read(dir.write("order.smi", file).c_str());

    auto order = [](const Caption& track) {
        std::vector<std::pair<uint32_t, std::string>> out;
        for (const ListNode* n = track.entries; n; n = n->next) {
            out.emplace_back(static_cast<const CaptionEntry*>(n->data)->start, static_cast<const CaptionEntry*>(n->data)->text);
            if (n->next) {
                EXPECT_EQ(n->next->prev, n);
            }
        }
        return out;
    };
    EXPECT_EQ(order(read), order(oneByOne));
    // Lookups on the built track walk both ways as on any other.
    read.findAt(200);
    read.findAt(3);
    oneByOne.findAt(3);
    EXPECT_STREQ(read.currentEntry()->text, oneByOne.currentEntry()->text);
}

TEST(CaptionTrack, CuesArrivingInAnyOrderAndTwiceGiveTheEntriesOfAllCuesAtOnce)
{
    const std::vector<TextCue> all = {
        { 1000, 2000, "a" }, { 1500, 2500, "b" }, { 2500, 3000, "c" }, { 5000, 6000, "d" }, { 7000, 8000, "e" },
        { 5500, 7500, "f" }, { 9000, 9500, "g" }, { 4294967290u, 4294967295u, "late" }, { 3000, 4000, "h" },
        { 4000, 5000, "i" }, { 9500, 9700, "g" },
    };
    // Batches as a demuxer hands them over: out of order, overlapping cues apart, a seek back repeating some.
    const std::vector<std::vector<TextCue>> batches = {
        { all[3], all[0] }, { all[6], all[8] }, { all[2], all[1] }, { all[0], all[3], all[4] },
        { all[5], all[7], all[6] }, { all[10], all[9] },
    };
    Caption track(nullptr);
    track.beginCueTrack();
    for (const std::vector<TextCue>& batch : batches)
        track.addCues(batch);

    std::vector<TextCue> clamped = all;
    clamped[7].end = endMarker - 1;
    std::vector<ClassEntry> expected = entriesOfCues(clamped);
    expected.push_back({ endMarker, "" });
    std::vector<ClassEntry> entries;
    for (ListNode* node = track.entries; node; node = node->next) {
        auto* entry = static_cast<CaptionEntry*>(node->data);
        entries.push_back({ entry->start, entry->text });
    }
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].start, expected[i].start) << i;
        EXPECT_EQ(entries[i].text, expected[i].text) << i;
    }
    EXPECT_EQ(textAt(track, 1700), "a\nb");
    EXPECT_EQ(textAt(track, 6000), "f");
}

// A TV caption comes while its end is not known yet, grows, and is told again with its end; each telling
// replaces the one held for its window, while another window's caption stays beside it.
TEST(CaptionTrack, TvCaptionsToldAgainReplaceWhatTheirWindowHeld)
{
    Caption track(nullptr);
    track.beginCueTrack();
    track.addCues({ { 1000, 6000, "Hel", 7 }, { 1000, 6000, "other window", 8 } });
    track.addCues({ { 1000, 7000, "Hello", 7 } });
    EXPECT_EQ(textAt(track, 1500), "Hello\nother window");
    track.addCues({ { 1000, 2000, "Hello", 7 }, { 2000, 7000, "next", 7 }, { 1000, 2500, "other window", 8 } });
    EXPECT_EQ(textAt(track, 1999), "Hello\nother window");
    EXPECT_EQ(textAt(track, 2200), "other window\nnext");
    EXPECT_EQ(textAt(track, 3000), "next");
    // A seek back brings the same cues again: nothing changes.
    track.addCues({ { 1000, 2000, "Hello", 7 } });
    EXPECT_EQ(textAt(track, 6500), "next");
}

// Where study mode stops: the moment what is shown is cleared or replaced, for the class shown.
TEST(CaptionTrack, ShownEndIsWhereWhatIsShownChanges)
{
    Caption plain(nullptr);
    plain.addEntry(1000, "a");
    plain.addEntry(2000, " \r\n");
    plain.addEntry(3000, "b");
    plain.addEntry(3000, "c");
    plain.addEntry(endMarker, "");
    uint32_t end = 0;
    EXPECT_FALSE(plain.shownEnd(500, end)) << "before the first caption";
    ASSERT_TRUE(plain.shownEnd(1999, end));
    EXPECT_EQ(end, 2000u);
    EXPECT_FALSE(plain.shownEnd(2500, end)) << "a blank is shown";
    ASSERT_TRUE(plain.shownEnd(3000, end));
    EXPECT_EQ(end, endMarker) << "the last caption stays until the movie ends";

    ScratchDir dir;
    Caption classes(dir.write("two.smi",
        "<STYLE><!-- .KRCC { lang:ko-KR; } .ENCC { lang:en-US; } --></STYLE>"
        "<SYNC Start=1000><P Class=KRCC>\xC7\xD1<SYNC Start=1500><P Class=ENCC>One"
        "<SYNC Start=4000><P Class=KRCC>&nbsp;<SYNC Start=5000><P Class=ENCC>&nbsp;").c_str());
    ASSERT_EQ(classes.classes.size(), 2u);
    ASSERT_TRUE(classes.shownEnd(1200, end));
    EXPECT_EQ(end, 4000u) << "the Korean class alone";
    classes.nextClassChoice();
    EXPECT_FALSE(classes.shownEnd(1200, end)) << "English starts at 1500";
    ASSERT_TRUE(classes.shownEnd(2000, end));
    EXPECT_EQ(end, 5000u);
    EXPECT_FALSE(classes.shownEnd(5200, end));
    classes.nextClassChoice();
    ASSERT_TRUE(classes.shownEnd(1200, end));
    EXPECT_EQ(end, 1500u) << "stacked: English joining changes the block";
    ASSERT_TRUE(classes.shownEnd(4500, end));
    EXPECT_EQ(end, 5000u);
}
