// Precompiled once for every test executable of tarnwick_add_test (they reuse one precompiled
// header). No QtTest header: those read QT_TESTCASE_BUILDDIR, which differs between the executables,
// and a precompiled header is only valid where every macro it reads has the value it was built with.
#pragma once

#include "gui.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
