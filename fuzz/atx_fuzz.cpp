// Animated texture lists come from users' folders: any bytes must load or be refused with a message, never
// crash, and what loads must have one frame time per frame and a usable frame lookup.
#include <qcore/platform/win32/message_box.h>
#include <qcore/texture/atx_file.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = [] {
        qcore::set_message_box_handler([](const char*, UINT) { return IDOK; });
        return "/tmp/qcore_atx_fuzz_" + std::to_string(getpid()) + ".atx";
    }();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    CAtxFile atx;
    CString msg;
    if (atx.load_atx_from_disk(path.c_str(), &msg, 1)) {
        const CFrameTimeMan& t = atx.get_tman();
        if (t.frame_times.size() != atx.get_child_files().size() || t.frame_times.empty()) std::abort();
        for (int64_t time : {int64_t{0}, int64_t{-7}, int64_t{1} << 40})
            if (t.find_frame_index(time) >= static_cast<int>(t.frame_times.size())) std::abort();
    } else if (msg.IsEmpty()) {
        std::abort();
    }
    return 0;
}
