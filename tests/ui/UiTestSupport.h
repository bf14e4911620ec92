// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/NumberText.h"
#include "support/WaitFor.h"

#include <QAction>
#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>


namespace uitest {

using testsupport::waitFor;

/// The child of \a root named \a name; fails the test when there is none.
template<typename T>
T *child(const QObject &root, const char *name)
{
    T *found = root.findChild<T *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << "no " << name;
    return found;
}

/// \a text with "." replaced by the locale's decimal separator.
inline QString local(QString text)
{
    return text.replace(QLatin1Char('.'), localeDecimalSeparator());
}

} // namespace uitest
