#include <qcore/platform/win32/backend.h>

namespace qcore::detail {
namespace {

// Windows live only in memory: the registry's surfaces are what they show, so nothing is left to do here.
class HeadlessBackend final : public Backend {
public:
    void create(HWND, const RECT&, const char*, DWORD) override {}
    void destroy(HWND) override {}
    void show(HWND, bool, bool) override {}
    void move(HWND, const RECT&) override {}
    void set_title(HWND, const char*) override {}
    void present(HWND, const uint32_t*, int, int, int) override {}
    void pump() override {}
    bool needs_polling() const override { return false; }
    void set_cursor(HCURSOR) override {}
    void set_cursor_pos(int, int) override {}
};

} // namespace

Backend* headless_backend() {
    static HeadlessBackend backend;
    return &backend;
}

} // namespace qcore::detail
