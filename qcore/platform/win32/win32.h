#pragma once
// The Win32 and framework stand-ins.
#include <qcore/platform/win32/app.h>
#include <qcore/platform/win32/clock.h>
#include <qcore/platform/win32/com.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/error_names.h>
#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/guid.h>
#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/mfc_types.h>
#include <qcore/platform/win32/registry.h>
#include <qcore/platform/win32/types.h>
