// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "record/SampleHistory.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

/// A time-based ring starts this small and doubles as it fills.
constexpr size_t FirstCapacity = 256;

} // namespace

std::string HistoryLength::label() const
{
    const long whole = std::lround(amount);
    if (unit == Unit::Samples)
        return std::to_string(whole) + " samples";
    if (double(whole) == amount)
        return std::to_string(whole) + " s";
    std::string text = std::to_string(amount);
    while (!text.empty() && text.back() == '0')
        text.pop_back();
    return text + " s";
}

SampleHistory::SampleHistory(HistoryLength length)
    : m_length(length)
{
    reallocate(std::min(countLimit(), length.unit == HistoryLength::Unit::Samples
                                          ? countLimit()
                                          : FirstCapacity));
}

size_t SampleHistory::countLimit() const
{
    if (m_length.unit == HistoryLength::Unit::Samples)
        return std::clamp(size_t(std::max(1.0, m_length.amount)), size_t(1), MaxSamples);
    return MaxSamples;
}

void SampleHistory::reallocate(size_t capacity)
{
    capacity = std::max<size_t>(capacity, 1);
    // Keeps the newest samples that fit, oldest first from slot 0.
    const size_t keep = std::min(m_size, capacity);
    const size_t skip = m_size - keep;
    std::vector<double> keys(capacity);
    for (size_t i = 0; i < keep; ++i)
        keys[i] = key(skip + i);
    for (std::vector<double> &series : m_values) {
        std::vector<double> values(capacity);
        for (size_t i = 0; i < keep; ++i)
            values[i] = series[(m_start + skip + i) % m_keys.size()];
        series = std::move(values);
    }
    m_keys = std::move(keys);
    m_start = 0;
    m_size = keep;
}

void SampleHistory::dropOldest(size_t count)
{
    count = std::min(count, m_size);
    m_start = (m_start + count) % m_keys.size();
    m_size -= count;
}

void SampleHistory::addSeries()
{
    m_values.emplace_back(m_keys.size(), 0.0);
}

void SampleHistory::setLength(HistoryLength length)
{
    m_length = length;
    const size_t limit = countLimit();
    if (length.unit == HistoryLength::Unit::Samples)
        reallocate(limit);
    else if (m_size > limit)
        dropOldest(m_size - limit);
    if (length.unit == HistoryLength::Unit::Seconds && m_size > 0) {
        const double newest = key(m_size - 1);
        dropOldest(lowerBound(newest - length.amount));
    }
}

void SampleHistory::append(double newKey, std::span<const double> values)
{
    if (m_size == m_keys.size()) {
        if (m_keys.size() < countLimit())
            reallocate(std::min(countLimit(), m_keys.size() * 2));
        else
            dropOldest(1);
    }
    const size_t at = slot(m_size);
    m_keys[at] = newKey;
    for (size_t s = 0; s < m_values.size(); ++s)
        m_values[s][at] = s < values.size() ? values[s] : 0;
    ++m_size;
    if (m_length.unit == HistoryLength::Unit::Seconds) {
        const double oldest = newKey - m_length.amount;
        while (m_size > 1 && key(0) < oldest)
            dropOldest(1);
    }
}

size_t SampleHistory::lowerBound(double wanted) const
{
    size_t low = 0;
    size_t high = m_size;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (key(middle) < wanted)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

void SampleHistory::decimate(int series, double from, double to, int columns, size_t rawLimit,
                             std::vector<HistoryPoint> &out) const
{
    out.clear();
    if (m_size == 0 || series < 0 || series >= seriesCount())
        return;
    const std::vector<double> &values = m_values[size_t(series)];
    size_t first = lowerBound(from);
    first = first > 0 ? first - 1 : 0;
    // One past the end: the first sample after the range is drawn too.
    const size_t last = std::min(m_size, lowerBound(std::nextafter(to, INFINITY)) + 1);
    if (first >= last)
        return;
    const size_t count = last - first;
    columns = std::max(columns, 1);
    if (count <= std::max(rawLimit, 2 * size_t(columns)) || !(to > from)) {
        out.reserve(count);
        for (size_t i = first; i < last; ++i) {
            const size_t at = slot(i);
            out.push_back({m_keys[at], values[at]});
        }
        return;
    }
    out.reserve(2 * size_t(columns) + 4);
    const double scale = double(columns) / (to - from);
    const auto columnOf = [&](double k) {
        // The samples beside the range get columns of their own.
        if (k < from)
            return -1L;
        if (k > to)
            return long(columns);
        return std::min(long((k - from) * scale), long(columns) - 1);
    };
    size_t i = first;
    while (i < last) {
        const long column = columnOf(m_keys[slot(i)]);
        size_t lowest = last, highest = last;
        size_t end = i;
        for (; end < last && columnOf(m_keys[slot(end)]) == column; ++end) {
            const double v = values[slot(end)];
            if (std::isnan(v))
                continue;
            if (lowest == last || v < values[slot(lowest)])
                lowest = end;
            if (highest == last || v > values[slot(highest)])
                highest = end;
        }
        if (lowest == last) {
            out.push_back({m_keys[slot(i)], std::numeric_limits<double>::quiet_NaN()});
        } else {
            const size_t a = std::min(lowest, highest);
            const size_t b = std::max(lowest, highest);
            out.push_back({m_keys[slot(a)], values[slot(a)]});
            if (b != a)
                out.push_back({m_keys[slot(b)], values[slot(b)]});
        }
        i = end;
    }
}
