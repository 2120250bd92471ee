#include <qcore/platform/win32/file_dialogs.h>
#include <qcore/platform/win32/handler_slot.h>

namespace qcore {
namespace {

detail::HandlerSlot<FileDialogHandler> g_file_handler;
detail::HandlerSlot<FileOverwriteHandler> g_overwrite_handler;

} // namespace

FileDialogHandler set_file_dialog_handler(FileDialogHandler handler) {
    return g_file_handler.exchange(std::move(handler));
}

FileDialogAnswer show_file_dialog(const FileDialogRequest& request) {
    const FileDialogHandler handler = g_file_handler.get();
    return handler ? handler(request) : FileDialogAnswer{};
}

FileOverwriteHandler set_file_overwrite_handler(FileOverwriteHandler handler) {
    return g_overwrite_handler.exchange(std::move(handler));
}

std::optional<int> show_file_overwrite_dialog(const FileOverwriteRequest& request) {
    const FileOverwriteHandler handler = g_overwrite_handler.get();
    if (!handler) return std::nullopt;
    return handler(request);
}

} // namespace qcore
