#pragma once
// The framework's application object and the folders a module lives in.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/types.h>

class CWnd;

// A thread with a message pump and a main window (the application object is the user-interface one).
class CWinThread {
public:
    CWinThread();
    virtual ~CWinThread() = default;
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Takes one message (waiting for it) and dispatches it; FALSE when it was WM_QUIT.
    virtual BOOL PumpMessage();
    virtual CWnd* GetMainWnd() { return m_pMainWnd; }

    CWnd* m_pMainWnd = nullptr;
    DWORD m_nThreadID = 0;
};

class CWinApp : public CWinThread {
public:
    explicit CWinApp(const char* app_name = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    const char* m_pszAppName = nullptr;
    HINSTANCE m_hInstance = nullptr;

private:
    CString app_name_;
};

// The first application object constructed that still lives (the library's own, if no host made one).
CWinApp* AfxGetApp();
// The calling thread's thread object: the application object on its own thread, else null.
CWinThread* AfxGetThread();
// The main window of the calling thread's thread object, or null.
CWnd* AfxGetMainWnd();
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
