#include <qcore/platform/win32/backend.h>

namespace qcore::detail {
Backend* sdl_backend() {
    return nullptr;
}
} // namespace qcore::detail
