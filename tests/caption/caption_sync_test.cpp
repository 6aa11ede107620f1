#include "caption/caption_sync.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>

using namespace sublumen;

namespace {

struct MapCase {
    uint32_t streamTime;
    int32_t shift;
    double rate;
    uint32_t captionTime;
};

TEST(CaptionSync, CaptionTimeIsStreamTimeTimesRatePlusShift)
{
    for (MapCase c : {
             MapCase { 8000, -5000, 1.0, 3000 },
             MapCase { 3000, -5000, 1.0, 0 },
             MapCase { UINT32_MAX - 1, 10, 1.0, UINT32_MAX },
             MapCase { 1000000, 0, 0.95904, 959040 },
             MapCase { 1000000, 500, 1.25, 1250500 },
             MapCase { 3, 0, 0.9, 3 },  // 2.7 rounds to the nearest millisecond
             MapCase { UINT32_MAX, 0, 1.25, UINT32_MAX },
             MapCase { 1000, -2000, 0.8, 0 },
             // A rate no snap could set counts as none.
             MapCase { 1000, 0, 0.5, 1000 },
             MapCase { 1000, 0, 0.0, 1000 },
         }) {
        EXPECT_EQ(mapCaptionTime(c.streamTime, c.shift, c.rate), c.captionTime)
            << c.streamTime << " × " << c.rate << " + " << c.shift;
    }
    // Back from caption time: the first stream time at which the caption is in force, so a seek there
    // shows it, under any rate and rounding.
    EXPECT_EQ(streamTimeOfCaption(5000, 1000, 1.0), 4000);
    EXPECT_EQ(streamTimeOfCaption(500, 1000, 1.0), -500);
    for (double rate : { 0.8, 0.95904, 1.0, 1.0427093, 1.25 }) {
        for (int32_t shift : { -90000, 0, 7 }) {
            for (uint32_t caption : { 0u, 1u, 2u, 3u, 999u, 61003u, 5178816u, 4000000000u }) {
                const int64_t s = streamTimeOfCaption(caption, shift, rate);
                auto raw = [&](int64_t t) { return static_cast<int64_t>(std::llround(t * rate)) + shift; };
                EXPECT_GE(raw(s), caption) << caption << " at rate " << rate << " shift " << shift;
                EXPECT_LT(raw(s - 1), caption) << caption << " at rate " << rate << " shift " << shift;
                if (s >= 0 && s <= UINT32_MAX) {
                    EXPECT_GE(mapCaptionTime(static_cast<uint32_t>(s), shift, rate), caption);
                }
            }
        }
    }
}

struct SnapCase {
    const char* what;
    std::optional<SyncPoint> previous;
    SyncPoint now;
    double rate;
    SnapOutcome outcome;
    int32_t shift;
    double newRate;
};

TEST(CaptionSync, SnapsSetTheShiftAndTwoFarApartTheRate)
{
    const double pal = 5063731.0 / 5280000.0;  // 23.976 fps captions timed for the 25 fps release
    for (const SnapCase& c : {
             SnapCase { "a first snap moves the shift only", std::nullopt, { 60000, 62500 }, 1.0, SnapOutcome::Shifted, 2500, 1.0 },
             SnapCase { "under a rate the shift is the caption time at stream 0", std::nullopt, { 1000000, 960000 }, 0.95904,
                 SnapOutcome::Shifted, 960, 0.95904 },
             SnapCase { "a snap under 5 minutes away replaces the last one", SyncPoint { 60000, 62500 }, { 359999, 363000 }, 1.0,
                 SnapOutcome::TooClose, 3001, 1.0 },
             SnapCase { "25 against 23.976 fps", SyncPoint { 120000, 115085 }, { 5400000, 5178816 }, 1.0, SnapOutcome::RateFixed,
                 0, pal },
             SnapCase { "another cut: a later start and a slower clock", SyncPoint { 600000, 590000 }, { 3600000, 3650000 }, 1.0,
                 SnapOutcome::RateFixed, -22000, 1.02 },
             SnapCase { "the second snap may lie before the first", SyncPoint { 3600000, 3650000 }, { 600000, 590000 }, 1.0,
                 SnapOutcome::RateFixed, -22000, 1.02 },
             SnapCase { "exactly 5 minutes is far enough", SyncPoint { 0, 0 }, { 300000, 375000 }, 1.0, SnapOutcome::RateFixed, 0,
                 1.25 },
             SnapCase { "just over 1.25 is refused and the rate stays", SyncPoint { 0, 0 }, { 400000, 500001 }, 1.0,
                 SnapOutcome::RateRefused, 100001, 1.0 },
             SnapCase { "a wild pair is refused", SyncPoint { 60000, 60000 }, { 400000, 100000 }, 1.02, SnapOutcome::RateRefused,
                 -308000, 1.02 },
             SnapCase { "a shift past 32 bits changes nothing", std::nullopt, { 0, 4294967294u }, 1.0, SnapOutcome::OutOfRange, 0,
                 1.0 },
         }) {
        const Snap snap = snapCaptionSync(c.previous, c.now, c.rate);
        EXPECT_EQ(snap.outcome, c.outcome) << c.what;
        if (c.outcome == SnapOutcome::OutOfRange)
            continue;
        EXPECT_EQ(snap.sync.shift, c.shift) << c.what;
        EXPECT_DOUBLE_EQ(snap.sync.rate, c.newRate) << c.what;
        // The snapped caption starts at the snap's moment, and with a rate so does the previous one.
        EXPECT_EQ(mapCaptionTime(c.now.streamTime, snap.sync.shift, snap.sync.rate), c.now.captionStart) << c.what;
        if (c.outcome == SnapOutcome::RateFixed) {
            EXPECT_NEAR(mapCaptionTime(c.previous->streamTime, snap.sync.shift, snap.sync.rate), c.previous->captionStart, 1)
                << c.what;
        }
    }
    EXPECT_NEAR(snapCaptionSync(SyncPoint { 60000, 60000 }, { 400000, 100000 }, 1.0).pairedRate, 40000.0 / 340000.0, 1e-12);
}

TEST(CaptionSync, RateTextRoundTripsAndRefusesWhatNoSnapSets)
{
    for (double rate : { 0.8, 5063731.0 / 5280000.0, 1.0, 1.02, 1.25 })
        EXPECT_EQ(parseCaptionRate(captionRateText(rate)), rate);
    EXPECT_EQ(parseCaptionRate("0.95904"), 0.95904);
    for (const char* bad : { "", "1.26", "0.79", "0,95", "0.95x", " 1", "nan", "inf", "-1", "1e400" })
        EXPECT_EQ(parseCaptionRate(bad), std::nullopt) << '"' << bad << '"';
}

// Two pieces after the first: from 100 s on the movie lacks 60 s of the captions (caption time jumps
// ahead), from 200 s on it has 30 s they lack (caption time stands still until the captions go on).
TEST(CaptionSync, PiecesMoveTheCaptionTimeAndNeverRunBack)
{
    const SyncPieces pieces { { 100000, 60000 }, { 200000, 30000 } };
    for (MapCase c : {
             MapCase { 99999, 1000, 1.0, 100999 },
             MapCase { 100000, 1000, 1.0, 161000 },
             MapCase { 199999, 1000, 1.0, 260999 },
             MapCase { 200000, 1000, 1.0, 260999 },  // held where the piece before ended
             MapCase { 229999, 1000, 1.0, 260999 },
             MapCase { 230001, 1000, 1.0, 261001 },
             MapCase { 0, -5000, 1.0, 0 },
         }) {
        EXPECT_EQ(mapCaptionTime(c.streamTime, c.shift, c.rate, pieces), c.captionTime) << c.streamTime;
    }
    // Back from caption time: the first stream time showing it; captions of the missing stretch come at
    // its cut, those before the movie starts before 0.
    EXPECT_EQ(streamTimeOfCaption(120000, 1000, 1.0, pieces), 100000);
    EXPECT_EQ(streamTimeOfCaption(170000, 1000, 1.0, pieces), 109000);
    EXPECT_EQ(streamTimeOfCaption(261000, 1000, 1.0, pieces), 230000);
    EXPECT_EQ(streamTimeOfCaption(500, 1000, 1.0, pieces), -500);
    for (uint32_t caption : { 3u, 99000u, 160999u, 161001u, 300000u, 4000000000u }) {
        const int64_t s = streamTimeOfCaption(caption, 1000, 0.95904, pieces);
        EXPECT_GE(mapCaptionTime(static_cast<uint32_t>(s), 1000, 0.95904, pieces), caption);
        if (s > 0) {
            EXPECT_LT(mapCaptionTime(static_cast<uint32_t>(s - 1), 1000, 0.95904, pieces), caption);
        }
    }
    // The memory's text of them, and what it refuses.
    EXPECT_EQ(syncPiecesText(pieces), "100000:60000,200000:30000");
    EXPECT_EQ(parseSyncPieces("100000:60000,200000:30000"), pieces);
    EXPECT_EQ(parseSyncPieces("5:-7"), (SyncPieces { { 5, -7 } }));
    for (const char* bad : { "", "1:2,", "2:0,1:0", "1:2,1:3", "x", "1", "1:", "-1:5", "1:2;3:4", "1:99999999999" })
        EXPECT_EQ(parseSyncPieces(bad), std::nullopt) << '"' << bad << '"';
}

}
