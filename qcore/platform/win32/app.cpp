#include <qcore/platform/win32/app.h>
#include <qcore/platform/win32/message.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

std::mutex g_apps_mutex;
std::vector<CWinApp*>& apps() {
    static std::vector<CWinApp*> list;
    return list;
}
HINSTANCE g_resource_handle = nullptr;

// A symbol of this library, so that dladdr names the shared object it lives in.
int g_module_anchor = 0;

CString folder_of(const CString& path) {
    const int slash = path.ReverseFind('/');
    return slash < 0 ? CString("./") : path.Left(slash + 1);
}

} // namespace

CWinThread::CWinThread() : m_nThreadID(GetCurrentThreadId()) {}

BOOL CWinThread::PumpMessage() {
    MSG msg;
    if (!GetMessageA(&msg, nullptr, 0, 0)) return FALSE;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return TRUE;
}

CWinThread* AfxGetThread() {
    CWinApp* app = AfxGetApp();
    return app && app->m_nThreadID == GetCurrentThreadId() ? app : nullptr;
}

CWnd* AfxGetMainWnd() {
    CWinThread* thread = AfxGetThread();
    return thread ? thread->GetMainWnd() : nullptr;
}

CWinApp::CWinApp(const char* app_name) : app_name_(app_name ? app_name : "") {
    m_pszAppName = app_name ? app_name_.GetString() : nullptr;
    m_hInstance = AfxGetInstanceHandle();
    std::lock_guard lock(g_apps_mutex);
    apps().push_back(this);
}

CWinApp::~CWinApp() {
    std::lock_guard lock(g_apps_mutex);
    auto& list = apps();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

CWinApp* AfxGetApp() {
    std::lock_guard lock(g_apps_mutex);
    return apps().empty() ? nullptr : apps().front();
}

HINSTANCE AfxGetInstanceHandle() {
    Dl_info info{};
    if (!dladdr(&g_module_anchor, &info)) return nullptr;
    return reinterpret_cast<HINSTANCE>(info.dli_fbase);
}

HINSTANCE AfxGetResourceHandle() {
    return g_resource_handle ? g_resource_handle : AfxGetInstanceHandle();
}

void AfxSetResourceHandle(HINSTANCE instance) {
    g_resource_handle = instance;
}

namespace qcore {

CString module_path() {
    Dl_info info{};
    if (!dladdr(&g_module_anchor, &info) || !info.dli_fname) return CString();
    char resolved[4096];
    if (realpath(info.dli_fname, resolved)) return CString(resolved);
    return CString(info.dli_fname);
}

CString module_folder() {
    return folder_of(module_path());
}

CString executable_folder() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return CString("./");
    return folder_of(CString(buf, static_cast<int>(n)));
}

} // namespace qcore
