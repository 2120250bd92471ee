#include <qcore/core/core.h>
#include <qcore/platform/win32/error_names.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/texture/tex_man.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {
std::vector<gCore*> g_live_cores;
}

CBaseLog* qcore::current_core_log() {
    return g_live_cores.empty() ? nullptr : g_live_cores.back()->log;
}

gCore::gCore() {
    g_live_cores.push_back(this);
    dev = nullptr;
    tex_man = new CTexFileMan(this);
    local_objs = new std::list<CLocalObj*>();
    log = &default_log;
    status = &default_status;
}

gCore::~gCore() {
    std::erase(g_live_cores, this);
    delete local_objs;
    local_objs = nullptr;
    // Texture references still alive are detached here, so their later release touches no freed manager.
    delete tex_man;
    tex_man = nullptr;
}

CLocalObj::CLocalObj(gCore* core_) : core(core_) {
    core->local_objs->push_back(this);
}

CLocalObj::CLocalObj(const CLocalObj& other) : core(other.core) {}

CLocalObj& CLocalObj::operator=(const CLocalObj& other) {
    core = other.core;
    return *this;
}

CLocalObj::~CLocalObj() {
    core->local_objs->remove(this);
}

CCoreApp::CCoreApp() : CWinApp(nullptr) {}

namespace {
CCoreApp g_core_app;
}

CString get_err_string(long code) {
    if (const char* name = qcore::find_error_name(code)) return CString(name);
    CString text;
    text.Format("0x%08X", static_cast<unsigned>(static_cast<uint32_t>(code)));
    return text;
}

void MsgErr(long code, const char* text) {
    if (code >= 0) return;
    CString msg;
    msg.Format("%s\n\nErrCode = %s", text ? text : "", get_err_string(code).GetString());
    AfxMessageBox(msg, MB_OK, 0);
}

void CheckResult(long code, const char* text) {
    if (code < 0) MsgErr(code, text);
}
