// Precompiled header of the test executables without windows (see cmake/BuildSpeed.cmake).
#pragma once

#include "CorePch.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
