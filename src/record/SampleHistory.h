// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

/// How much history a live chart keeps: a number of samples, or the samples
/// of the last so many seconds (those whose key is at most that much older
/// than the newest).
struct HistoryLength
{
    enum class Unit { Samples, Seconds };
    Unit unit = Unit::Samples;
    double amount = 200;

    static HistoryLength samples(int count) { return {Unit::Samples, double(count)}; }
    static HistoryLength seconds(double s) { return {Unit::Seconds, s}; }
    /// "200 samples", "10 s".
    std::string label() const;
    bool operator==(const HistoryLength &) const = default;
};

/// One displayed point of a decimated series.
struct HistoryPoint
{
    double key;
    double value;
};

/// The samples of a live chart: a key and one value per series, kept in a ring
/// sized by the history length. A sample-count length holds exactly that many
/// samples; a time length keeps the samples not older than it, in a ring that
/// grows as needed up to MaxSamples (the oldest give way beyond). Keys must be
/// appended in non-decreasing order.
///
/// Every sample stays available (export, cursor read-out); decimate() thins a
/// key range to at most two points per pixel column for drawing only, keeping
/// each column's smallest and largest value so peaks stay visible.
class SampleHistory
{
public:
    /// 500 samples a second for 60 s fits, with room.
    static constexpr size_t MaxSamples = 65536;

    explicit SampleHistory(HistoryLength length = {});

    /// Adds a series; the samples already held get 0 in it.
    void addSeries();
    int seriesCount() const { return int(m_values.size()); }

    HistoryLength length() const { return m_length; }
    /// Changes the length; the newest samples that fit the new one stay.
    void setLength(HistoryLength length);

    /// Appends one sample at \a key (\a values in series order, missing ones 0).
    void append(double key, std::span<const double> values);

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    /// The samples held, 0 the oldest.
    double key(size_t index) const { return m_keys[slot(index)]; }
    double value(int series, size_t index) const { return m_values[size_t(series)][slot(index)]; }
    /// Replaces the key of sample \a index (the caller keeps the keys sorted).
    void setKey(size_t index, double key) { m_keys[slot(index)] = key; }
    /// The index of the first sample whose key is not below \a key (size() if none).
    size_t lowerBound(double key) const;
    /// The ring's capacity now (memory in use, in samples).
    size_t capacity() const { return m_keys.size(); }

    /// The points to draw for \a series over the keys \a from .. \a to on
    /// \a columns pixel columns, into \a out (cleared). One sample either side
    /// of the range is included so lines run to the edges. When the range holds
    /// at most \a rawLimit samples (or two per column) they are all given;
    /// otherwise each column gives its smallest and largest value in time order
    /// (one point when they are the same sample; a column without a number
    /// gives a NaN point, a gap).
    void decimate(int series, double from, double to, int columns, size_t rawLimit,
                  std::vector<HistoryPoint> &out) const;

private:
    size_t slot(size_t index) const { return (m_start + index) % m_keys.size(); }
    size_t countLimit() const;
    void reallocate(size_t capacity);
    void dropOldest(size_t count);

    HistoryLength m_length;
    std::vector<double> m_keys; ///< ring storage; its size is the capacity
    std::vector<std::vector<double>> m_values;
    size_t m_start = 0; ///< slot of the oldest sample
    size_t m_size = 0;
};
