#pragma once
// Message boxes. Every box goes through one installable handler: the default writes the text to standard
// error and gives the box's default answer; tests install a recorder; a windowed host may show real boxes.
#include <qcore/platform/win32/types.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_CANCELTRYCONTINUE 0x00000006u
#define MB_ICONHAND 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000u
#define MB_DEFBUTTON2 0x00000100u
#define MB_DEFBUTTON3 0x00000200u
#define MB_APPLMODAL 0x00000000u
#define MB_SYSTEMMODAL 0x00001000u
#define MB_TASKMODAL 0x00002000u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONMASK 0x000000F0u
#define MB_DEFMASK 0x00000F00u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10
#define IDCONTINUE 11

int AfxMessageBox(const char* text, UINT type = MB_OK, UINT help_id = 0);
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

namespace qcore {

using MessageBoxHandler = std::function<int(const char* text, UINT type)>;

// Installs the handler every message box goes through and returns the previous one; an empty function
// restores the default. Safe to call from any thread.
MessageBoxHandler set_message_box_handler(MessageBoxHandler handler);

// The answer a box of this type gives when nobody chooses: its default button (MB_DEFBUTTONn).
int default_message_box_answer(UINT type);

// Records every box shown while it lives and answers each with `answer` (0: the box's default button).
class MessageBoxRecorder {
public:
    struct Box {
        std::string text;
        UINT type;
    };

    explicit MessageBoxRecorder(int answer = 0);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void set_answer(int answer);
    std::vector<Box> boxes() const;
    std::vector<std::string> texts() const;
    size_t count() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
    int answer_;
    MessageBoxHandler previous_;
};

} // namespace qcore
