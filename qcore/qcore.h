#pragma once
// The whole public API of qcore.
#include <qcore/platform/win32/win32.h>

#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/d3d8/d3d8_types.h>
#include <qcore/platform/d3d8/d3dx/d3dx8core.h>
#include <qcore/platform/d3d8/d3dx/d3dx8math.h>
#include <qcore/platform/d3d8/d3dx/d3dx8mesh.h>
#include <qcore/platform/d3d8/d3dx/d3dx8tex.h>
#include <qcore/platform/d3d8/device_hooks.h>

#include <qcore/core/core.h>
#include <qcore/core/device.h>
#include <qcore/core/rs_man.h>
#include <qcore/core/thread_window.h>
#include <qcore/core/timer.h>
#include <qcore/data/appinfo.h>
#include <qcore/data/dll_loader.h>
#include <qcore/data/file_overwrite_dlg.h>
#include <qcore/data/filedlg.h>
#include <qcore/data/filefun.h>
#include <qcore/data/inifile.h>
#include <qcore/data/log.h>
#include <qcore/data/pak_file.h>
#include <qcore/data/text_fun.h>
#include <qcore/data/undo_man.h>
#include <qcore/data/unit.h>
#include <qcore/data/wait_window.h>
#include <qcore/geom/bitset.h>
#include <qcore/geom/frect.h>
#include <qcore/geom/math3d.h>
#include <qcore/geom/mathfun.h>
#include <qcore/image/img_channel.h>
#include <qcore/image/imgfun.h>
#include <qcore/image/psd_file.h>
#include <qcore/texture/color_adj.h>
#include <qcore/texture/tex_filter.h>
