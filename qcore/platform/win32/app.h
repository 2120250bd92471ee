#pragma once
// The framework's application object and the folders a module lives in.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/types.h>

class CWnd;

class CWinApp {
public:
    explicit CWinApp(const char* app_name = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    const char* m_pszAppName = nullptr;
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

private:
    CString app_name_;
};

// The first application object constructed that still lives (the library's own, if no host made one).
CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE instance);

namespace qcore {
// Folder of libqcore.so (where the library's helper programs and settings live), ending with '/'.
CString module_folder();
// Folder of the running executable, ending with '/'.
CString executable_folder();
// Full path of libqcore.so.
CString module_path();
} // namespace qcore
