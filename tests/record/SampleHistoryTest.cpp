// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "record/SampleHistory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

/// 500 samples a second, as a binary fraction so that key sums are exact.
constexpr double Period = 1.0 / 512;

/// Appends \a count samples at keys start, start + step, ... with value key x 10
/// in series 0 and -key in series 1.
void fill(SampleHistory &history, int count, double start = 0, double step = 1)
{
    for (int i = 0; i < count; ++i) {
        const double key = start + i * step;
        const double values[2] = {key * 10, -key};
        history.append(key, values);
    }
}

TEST(SampleHistory, KeepsTheNewestSamplesOfItsLength)
{
    struct Case
    {
        const char *name;
        HistoryLength length;
        int appended;
        double step;
        size_t held;
        double oldest;
    };
    const Case cases[] = {
        {"count ring not full", HistoryLength::samples(200), 150, 1, 150, 0},
        {"count ring wrapped", HistoryLength::samples(200), 1000, 1, 200, 800},
        {"time length not full", HistoryLength::seconds(10), 3000, Period, 3000, 0},
        {"time length drops older keys", HistoryLength::seconds(10), 10000, Period, 5121,
         4879 * Period},
        {"60 s at 500 a second keeps all", HistoryLength::seconds(60), 30000, Period, 30000, 0},
        {"time length capped", HistoryLength::seconds(60), 100000, 0.0005, SampleHistory::MaxSamples,
         (100000 - double(SampleHistory::MaxSamples)) * 0.0005},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SampleHistory history(c.length);
        history.addSeries();
        history.addSeries();
        fill(history, c.appended, 0, c.step);
        ASSERT_EQ(history.size(), c.held);
        EXPECT_NEAR(history.key(0), c.oldest, 1e-9);
        const size_t newest = history.size() - 1;
        EXPECT_NEAR(history.key(newest), (c.appended - 1) * c.step, 1e-9);
        EXPECT_NEAR(history.value(0, newest), (c.appended - 1) * c.step * 10, 1e-6);
        EXPECT_NEAR(history.value(1, 0), -c.oldest, 1e-9);
        for (size_t i = 1; i < history.size(); ++i)
            ASSERT_LT(history.key(i - 1), history.key(i)) << i;
    }
}

TEST(SampleHistory, ChangingTheLengthKeepsTheNewestThatFit)
{
    SampleHistory history(HistoryLength::seconds(60));
    history.addSeries();
    fill(history, 30000, 0, Period);
    history.setLength(HistoryLength::seconds(10));
    EXPECT_EQ(history.size(), 5121u);
    EXPECT_EQ(history.key(0), 24879 * Period);
    history.setLength(HistoryLength::samples(200));
    EXPECT_EQ(history.size(), 200u);
    EXPECT_EQ(history.capacity(), 200u);
    EXPECT_EQ(history.key(0), 29800 * Period);
    // A series added later reads 0 for the samples before it.
    history.addSeries();
    EXPECT_EQ(history.value(1, 0), 0);
    history.setLength(HistoryLength::seconds(60));
    fill(history, 1000, 60, 0.002);
    EXPECT_EQ(history.size(), 1200u);
    EXPECT_EQ(history.value(0, 0), 29800 * Period * 10);
}

TEST(SampleHistory, DecimationKeepsEveryColumnsExtremes)
{
    SampleHistory history(HistoryLength::seconds(60));
    history.addSeries();
    // A slow ramp with one spike up and one down, 30,000 samples.
    for (int i = 0; i < 30000; ++i) {
        double value = i * 0.01;
        if (i == 12345)
            value = 1e6;
        if (i == 23456)
            value = -1e6;
        if (i >= 29000 && i < 29100)
            value = NAN; // a stretch the device did not send
        const double v[1] = {value};
        history.append(i * Period, v);
    }
    std::vector<HistoryPoint> points;
    const int columns = 500;
    const double newest = 29999 * Period;
    history.decimate(0, 0, newest, columns, 1000, points);
    EXPECT_LE(points.size(), size_t(2 * columns + 4));
    double highest = -INFINITY, lowest = INFINITY;
    bool gap = false;
    for (size_t i = 0; i < points.size(); ++i) {
        if (std::isnan(points[i].value)) {
            gap = true;
            continue;
        }
        highest = std::max(highest, points[i].value);
        lowest = std::min(lowest, points[i].value);
        if (i > 0) {
            ASSERT_LE(points[i - 1].key, points[i].key);
        }
    }
    EXPECT_EQ(highest, 1e6);
    EXPECT_EQ(lowest, -1e6);
    EXPECT_TRUE(gap);
    EXPECT_EQ(points.front().key, 0);
    EXPECT_EQ(points.back().key, newest);

    // Each column's minimum and maximum: a column of the ramp gives its ends.
    const double columnSeconds = newest / columns;
    size_t inFirstColumn = 0;
    for (const HistoryPoint &p : points) {
        if (p.key < columnSeconds)
            ++inFirstColumn;
    }
    EXPECT_EQ(inFirstColumn, 2u);

    // A zoomed view with few samples gets every one, plus one either side.
    history.decimate(0, 5120 * Period, 5184 * Period, columns, 1000, points);
    EXPECT_EQ(points.size(), 65u + 2u);
    EXPECT_EQ(points.front().key, 5119 * Period);
    EXPECT_EQ(points.back().key, 5185 * Period);
}

TEST(SampleHistory, Labels)
{
    EXPECT_EQ(HistoryLength::samples(200).label(), "200 samples");
    EXPECT_EQ(HistoryLength::seconds(10).label(), "10 s");
    EXPECT_EQ(HistoryLength::seconds(60).label(), "60 s");
}

} // namespace
