#include <qcore/platform/win32/message_box.h>

#include <cstdio>

namespace qcore {
namespace {

std::mutex g_handler_mutex;
MessageBoxHandler g_handler;

int default_handler(const char* text, UINT type) {
    std::fprintf(stderr, "[message] %s\n", text ? text : "");
    return default_message_box_answer(type);
}

int show(const char* text, UINT type) {
    MessageBoxHandler handler;
    {
        std::lock_guard lock(g_handler_mutex);
        handler = g_handler;
    }
    return handler ? handler(text ? text : "", type) : default_handler(text, type);
}

} // namespace

MessageBoxHandler set_message_box_handler(MessageBoxHandler handler) {
    std::lock_guard lock(g_handler_mutex);
    MessageBoxHandler previous = std::move(g_handler);
    g_handler = std::move(handler);
    return previous;
}

int default_message_box_answer(UINT type) {
    static const int buttons[][3] = {
        {IDOK, IDOK, IDOK},                 // MB_OK
        {IDOK, IDCANCEL, IDCANCEL},         // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},       // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},            // MB_YESNOCANCEL
        {IDYES, IDNO, IDNO},                // MB_YESNO
        {IDRETRY, IDCANCEL, IDCANCEL},      // MB_RETRYCANCEL
        {IDCANCEL, IDTRYAGAIN, IDCONTINUE}, // MB_CANCELTRYCONTINUE
    };
    const UINT kind = type & MB_TYPEMASK;
    const UINT def = (type & MB_DEFMASK) >> 8;
    if (kind > 6 || def > 2) return IDOK;
    return buttons[kind][def];
}

MessageBoxRecorder::MessageBoxRecorder(int answer) : answer_(answer) {
    previous_ = set_message_box_handler([this](const char* text, UINT type) {
        std::lock_guard lock(mutex_);
        boxes_.push_back({text, type});
        return answer_ ? answer_ : default_message_box_answer(type);
    });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    set_message_box_handler(std::move(previous_));
}

void MessageBoxRecorder::set_answer(int answer) {
    std::lock_guard lock(mutex_);
    answer_ = answer;
}

std::vector<MessageBoxRecorder::Box> MessageBoxRecorder::boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<std::string> MessageBoxRecorder::texts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& b : boxes_)
        out.push_back(b.text);
    return out;
}

size_t MessageBoxRecorder::count() const {
    std::lock_guard lock(mutex_);
    return boxes_.size();
}

void MessageBoxRecorder::clear() {
    std::lock_guard lock(mutex_);
    boxes_.clear();
}

} // namespace qcore

int AfxMessageBox(const char* text, UINT type, UINT /*help_id*/) {
    return qcore::show(text, type);
}

// The caption is the window's business; the handler receives the text and the type, as for AfxMessageBox.
int MessageBoxA(HWND /*owner*/, const char* text, const char* /*caption*/, UINT type) {
    return qcore::show(text, type);
}
