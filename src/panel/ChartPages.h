#pragma once

#include "device/ReceivedValues.h"

#include <QString>

#include <vector>

/// The main window's live charts as data: the series each one plots from a
/// sample of the live values, for exports made without the window.
namespace ChartPages {

struct Page
{
    QString name;      ///< command-line name: position, speed, command, current, micrometres
    QString timeTitle; ///< the time axis title
    std::vector<QString> titles; ///< series titles, in series order
    bool milliseconds = false;   ///< the time advances by the refresh period, not by 1
    std::vector<int> registers;  ///< the registers its series come from
};

const std::vector<Page> &pages();
/// The index of the page called \a name, or -1.
int find(const QString &name);
/// The points that one sample adds to the series of page \a page, in series order.
std::vector<double> sample(int page, const ReceivedValues &values, float pulsesPerMicrometre);

} // namespace ChartPages
