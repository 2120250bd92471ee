#pragma once
// Animated textures: an ".atx" list file (ini text, section "QVX_ATX_SETTING") naming frame images that
// lie beside it, each with a display time; the frame-time table that turns an animation time into a frame;
// and the per-use playback parameters that keep surfaces showing one animation out of step.
#include <qcore/data/filefun.h>
#include <qcore/platform/win32/cstring.h>

#include <cstdint>
#include <vector>

class CPakNode;

class CFrameTimeMan {
public:
    const std::vector<int>& get_frame_times() const { return frame_times; }
    std::vector<int>& get_frame_times() { return frame_times; }
    float get_time_scale() const { return time_scale; }
    void set_time_scale(float scale) { time_scale = scale; }
    int get_total() const { return total; }
    const std::vector<int>& get_start_times() const { return start_times; }

    void clear_all();
    // Recomputes the scaled start of each frame and the scaled loop length.
    void update_mid_data();
    int is_mid_data_valid() const;
    // The frame shown at animation time t; -1 without timing data.
    int find_frame_index(int64_t t) const;

    std::vector<int> frame_times;
    float time_scale = 1.0f;
    int total = 0;
    std::vector<int> start_times;
};

class CAtxFile {
public:
    // Frame counts above this are refused as damaged: no real animation comes near it, and a hostile count
    // must not make the reader allocate or probe the disk without end.
    static constexpr int max_frame_count = 10000;

    const CString& get_atx_filename() const { return atx_filename; }
    void set_atx_filename(const char* name) { atx_filename = name; }
    const std::vector<CString>& get_child_files() const { return child_files; }
    std::vector<CString>& get_child_files() { return child_files; }
    const CFrameTimeMan& get_tman() const { return tman; }
    CFrameTimeMan& get_tman() { return tman; }
    int is_loaded() const { return loaded; }
    void unload_atx();

    // msg (may be null) receives the reason of a failure; missing frames do not fail the load and, with
    // show_missing_frames, are listed in a message box.
    int load_atx_from_disk(const char* name, CString* msg, int show_missing_frames);
    // Writes the list and copies the frames and the preview image beside it.
    int save_atx_to_disk(const char* name, file_overwrite_flag& overwrite);

    static int copy_atx_to_a_folder(const char* source, const char* folder, file_overwrite_flag& overwrite);
    // The first frame copied beside the list for tools that cannot show ".atx": "wave.atx" + ".jpg".
    static CString get_preview_img_filename_from_atx(const char* atx_name, const char* first_frame);
    static CString get_atx_filename_from_preview_img(const char* preview_name);
    static int is_atx_preview_img_file(const char* name);

    CString atx_filename;
    std::vector<CString> child_files;
    CFrameTimeMan tman;
    int loaded = 0;
};

// 0 to 7 play in one of eight shared groups; 8 (and anything else) gives a use its own parameters.
enum atx_random_flag : int32_t {
    ATX_RANDOM_GROUP_FIRST = 0,
    ATX_RANDOM_GROUP_LAST = 7,
    ATX_RANDOM_OWN = 8,
};

class CAtxPars {
public:
    CAtxPars();

    atx_random_flag get_random_flag() const { return random_flag; }
    void set_random_flag(int flag);
    int get_elapse_offset() const { return elapse_offset; }
    float get_elapse_scale() const { return elapse_scale; }
    void reset_default() { set_random_flag(ATX_RANDOM_OWN); }

    // Only the flag is stored; offset and speed are drawn again on load.
    int load_atxpars_from_node(CPakNode* node);
    void save_atxpars_to_node(CPakNode* parent, const char* name) const;

    // The animation time for an elapsed engine time in milliseconds, in 64 bits so that long uptimes do not
    // overflow.
    int64_t animation_time(double elapsed_ms) const;

    atx_random_flag random_flag = ATX_RANDOM_OWN;
    int elapse_offset = 0;
    float elapse_scale = 1.0f;

protected:
    static void gen_random_pars(int& offset, float& scale);

    static int s_elapse_offset_group[8];
    static float s_elapse_scale_group[8];
    static int s_inited;
};

namespace qcore {
// Installs the ".atx" copier into the file-copy helpers (done once by the texture code; idempotent).
void install_atx_copier();
} // namespace qcore
