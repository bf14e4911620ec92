// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ChartCsv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(ChartCsv, ComposesAHeaderAndOneLinePerKey)
{
    const struct
    {
        const char *what;
        ChartColumns columns;
        const char *csv;
    } cases[] = {
        {"two series",
         {QStringLiteral("Time "), {-2, -1, 0}, {{"Consign", {1, 2, 3}}, {"Position", {-4, 0.1, 1e20}}}},
         "Time,Consign,Position\n-2,1,-4\n-1,2,0.1\n0,3,1e+20\n"},
        {"titles quoted, non-finite and missing values empty",
         {QStringLiteral("Time [ms]"), {2, 4}, {{"a,b", {NaN}}, {"say \"hi\"", {INFINITY, 0.000125}}}},
         "Time [ms],\"a,b\",\"say \"\"hi\"\"\"\n2,,\n4,,0.000125\n"},
        {"no series, blank title", {QString(), {7}, {}}, "Time\n7\n"},
        {"seconds to the millisecond",
         {QStringLiteral("Time [s]"), {-0.0123456, -0.0004, 0}, {{"Speed", {1, 2, 3}}}, 3},
         "Time [s],Speed\n-0.012,1\n0.000,2\n0.000,3\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ChartCsv::compose(c.columns), QByteArray(c.csv)) << c.what;
}

TEST(ChartCsv, ReadoutNumbersAndLines)
{
    const struct
    {
        double value;
        const char *text;
    } numbers[] = {{0, "0"},           {-0.0, "0"},          {1500, "1500"},
                   {-2147483648.0, "-2147483648"}, {0.1234375, "0,1234375"}, {1000.3333333, "1000,333"},
                   {1e-9, "1e-09"},    {NaN, "-"}};
    for (const auto &n : numbers)
        EXPECT_EQ(ChartCsv::readoutNumber(n.value, 7, QLatin1Char(',')), QLatin1String(n.text))
            << n.value;
    EXPECT_EQ(ChartCsv::readout(QStringLiteral("Time "), 120, {"Speed", "Desired state"}, {2.5}),
              QStringLiteral("Time: 120\nSpeed: 2.5\nDesired state: -"));
    EXPECT_EQ(ChartCsv::readout(QStringLiteral("Time [s]"), -1.23456, {"Speed"}, {7},
                                QLatin1Char(','), 3),
              QStringLiteral("Time [s]: -1,235\nSpeed: 7"));
}

} // namespace
