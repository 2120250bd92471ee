#pragma once
// The whole public API of qcore.
#include <qcore/platform/win32/win32.h>

#include <qcore/core/core.h>
#include <qcore/core/timer.h>
#include <qcore/data/log.h>
