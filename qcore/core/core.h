#pragma once
// The engine core: the one object through which everything reaches the device, the log, the status sink,
// the texture manager and the list of device-bound (local) objects.
#include <qcore/data/log.h>
#include <qcore/platform/win32/app.h>
#include <qcore/platform/win32/cstring.h>

#include <list>

class CDevice;
class CTexFileMan;
class CLocalObj;

class gCore {
public:
    gCore();
    virtual ~gCore();
    // A copy would share the local-object list and the texture manager and free them twice.
    gCore(const gCore&) = delete;
    gCore& operator=(const gCore&) = delete;

    CBaseLog default_log;
    CBaseStatus default_status;
    CDevice* dev = nullptr;
    std::list<CLocalObj*>* local_objs = nullptr;
    CBaseLog* log = nullptr;
    CBaseStatus* status = nullptr;
    CTexFileMan* tex_man = nullptr;
};

// An object holding device resources that must be released before a device reset and recreated after it.
// Registers with its core on construction and unregisters on destruction.
class CLocalObj {
public:
    explicit CLocalObj(gCore* core);
    CLocalObj(const CLocalObj& other);
    CLocalObj& operator=(const CLocalObj& other);
    virtual void v_on_restore_local_objects() = 0;
    virtual void v_on_delete_local_objects() = 0;
    virtual ~CLocalObj();

    gCore* core = nullptr;
};

// The library's application object; one static instance lives while the library is loaded.
class CCoreApp : public CWinApp {
public:
    CCoreApp();
};

namespace qcore {
// The log of the most recently made core that still lives (null without one): where code that is given
// no core, such as the node-tree reader, reports what the user should see in the log.
CBaseLog* current_core_log();
} // namespace qcore

// The symbolic name of a result code, or its hexadecimal text ("0x%08X") when it has none.
CString get_err_string(long code);
// For a negative code: a message box with the text, a blank line and "ErrCode = " and the code's name.
void MsgErr(long code, const char* text);
void CheckResult(long code, const char* text);
