#include <qcore/texture/atx_file.h>

#include <qcore/data/pak_file.h>
#include <qcore/data/text_fun.h>
#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/ini.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/paths.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* atx_section = "QVX_ATX_SETTING";
// No list of frames comes near this; a larger file is not read.
constexpr size_t max_atx_bytes = size_t{4} << 20;
constexpr int max_listed_missing = 15;

// Truncation toward zero, saturating at the int range (NaN gives 0).
int trunc_to_int(double v) {
    if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
    if (v >= 2147483648.0) return INT32_MAX;
    return static_cast<int>(v);
}

int64_t trunc_to_int64(double v) {
    if (!(v > -9.2e18)) return v != v ? 0 : INT64_MIN;
    if (v >= 9.2e18) return INT64_MAX;
    return static_cast<int64_t>(v);
}

// The list is read once and the keys looked up in memory: a frame table of thousands of entries must not
// re-read the file per key.
bool read_atx_document(const char* name, qcore::detail::IniDocument& doc) {
    std::string bytes;
    if (qcore::detail::read_small_file(qcore::os_path(name ? name : ""), max_atx_bytes, bytes) !=
        qcore::detail::SmallFileRead::ok)
        return false;
    doc = qcore::detail::IniDocument::parse(bytes);
    return true;
}

class AtxReader {
public:
    explicit AtxReader(const qcore::detail::IniDocument& doc) : doc_(doc) {}
    CString str(const char* key, const char* def) const {
        std::string v;
        return doc_.get(atx_section, key, v) ? CString(v.c_str()) : CString(def);
    }
    int integer(const char* key, int def) const {
        std::string v;
        return doc_.get(atx_section, key, v) ? qcore::text_to_int(v.c_str()) : def;
    }
    float real(const char* key, float def) const {
        std::string v;
        return doc_.get(atx_section, key, v) ? std::strtof(v.c_str(), nullptr) : def;
    }

private:
    const qcore::detail::IniDocument& doc_;
};

CString indexed_key(const char* stem, int i) {
    CString key;
    key.Format("%s%d", stem, i);
    return key;
}

CString int_text(int v) {
    CString t;
    t.Format("%d", v);
    return t;
}

CString float_text(float v) {
    CString t;
    t.Format("%.6f", static_cast<double>(v));
    return t;
}

} // namespace

void CFrameTimeMan::clear_all() {
    frame_times.clear();
    start_times.clear();
    total = 0;
    time_scale = 1.0f;
}

void CFrameTimeMan::update_mid_data() {
    start_times.resize(frame_times.size());
    total = 0;
    for (size_t i = 0; i < frame_times.size(); ++i) {
        start_times[i] = total;
        total = trunc_to_int(static_cast<double>(frame_times[i]) * time_scale + total);
    }
}

int CFrameTimeMan::is_mid_data_valid() const {
    return start_times.size() == frame_times.size() && total != 0;
}

int CFrameTimeMan::find_frame_index(int64_t t) const {
    if (frame_times.empty() || total <= 0 || start_times.size() != frame_times.size()) return -1;
    t %= total;
    for (size_t i = start_times.size(); i-- > 0;)
        if (t >= start_times[i]) return static_cast<int>(i);
    return 0;
}

void CAtxFile::unload_atx() {
    atx_filename.Empty();
    child_files.clear();
    tman.clear_all();
    loaded = 0;
}

int CAtxFile::load_atx_from_disk(const char* name_in, CString* msg, int show_missing_frames) {
    // The caller may pass our own atx_filename, which unloading empties.
    const CString name(name_in ? name_in : "");
    unload_atx();
    qcore::detail::IniDocument doc;
    if (!filefun::file_exist(name)) {
        if (msg) *msg = name + ", 文件不存在!";
        return 0;
    }
    if (!read_atx_document(name, doc)) {
        if (msg) *msg = name + ", 该文件存在错误!";
        return 0;
    }
    const AtxReader ini(doc);
    if (ini.real("ver", 0.0f) == 0.0f) {
        if (msg) *msg = name + ", 不是一个合法的动画贴图文件!";
        return 0;
    }
    const int count = ini.integer("file_count", 0);
    if (count <= 0 || count > max_frame_count) {
        if (msg) *msg = name + ", 该文件存在错误!";
        return 0;
    }
    float scale = ini.real("time_scale", 1.0f);
    if (!(scale > 0.0f) || !std::isfinite(scale)) scale = 1.0f;
    tman.time_scale = scale;

    const CString folder = filefun::get_file_path(name);
    CString missing_list;
    int missing = 0;
    child_files.reserve(static_cast<size_t>(count));
    tman.frame_times.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const CString frame = folder + ini.str(indexed_key("file", i), "");
        child_files.push_back(frame);
        tman.frame_times.push_back(ini.integer(indexed_key("time", i), 0));
        if (filefun::file_exist(frame)) continue;
        ++missing;
        if (missing <= max_listed_missing)
            missing_list += frame + "\n";
        else if (missing == max_listed_missing + 1)
            missing_list += "......\n";
    }
    if (!missing_list.IsEmpty() && show_missing_frames) {
        CString text;
        text.Format(
            "%s\n\n加载该动画贴图文件时，以下帧文件丢失 ( 它们本应该与atx文件位于同一个目录中 ) \n\n%s",
            name.GetString(), missing_list.GetString());
        AfxMessageBox(text, MB_OK, 0);
    }
    atx_filename = name;
    tman.update_mid_data();
    loaded = 1;
    return 1;
}

int CAtxFile::save_atx_to_disk(const char* name_in, file_overwrite_flag& overwrite) {
    const CString name(name_in ? name_in : "");
    if (child_files.empty()) {
        AfxMessageBox(name + ", 该动画贴图帧文件为空，无法保存!", MB_OK, 0);
        return 0;
    }
    // The old list stays whole until the new one is written in full.
    qcore::SafeFileWriter out;
    if (!out.open(name)) {
        AfxMessageBox(name + ", Save File Error!", MB_OK, 0);
        return 0;
    }
    qcore::detail::IniDocument doc;
    doc.set(atx_section, "ver", float_text(1.0f).view());
    doc.set(atx_section, "time_scale", float_text(tman.time_scale).view());
    doc.set(atx_section, "file_count", int_text(static_cast<int>(child_files.size())).view());
    const CString folder = filefun::get_file_path(name);
    CString errors;
    for (size_t i = 0; i < child_files.size(); ++i) {
        const CString& frame = child_files[i];
        const CString bare = filefun::get_pure_filename(frame);
        const int time = i < tman.frame_times.size() ? tman.frame_times[i] : 0;
        doc.set(atx_section, indexed_key("file", static_cast<int>(i)).view(), bare.view());
        doc.set(atx_section, indexed_key("time", static_cast<int>(i)).view(), int_text(time).view());
        if (!filefun::file_exist(frame))
            errors += bare + ", 帧文件不存在!\n";
        else if (!filefun::is_same_file(frame, folder + bare) &&
                 !filefun::copy_file_to_a_folder(frame, folder, nullptr, overwrite, 0))
            errors += bare + ", 复制帧文件失败!\n";
    }
    const std::string bytes = doc.serialize();
    bool written = true;
    try {
        out.file().Write(bytes.data(), static_cast<UINT>(bytes.size()));
    } catch (const CFileException&) {
        written = false;
    }
    if (!written || !out.commit()) {
        AfxMessageBox(name + ", Save File Error!", MB_OK, 0);
        return 0;
    }
    const CString& first = child_files.front();
    const CString preview = get_preview_img_filename_from_atx(name, first);
    // A first frame without an extension would name the list itself; the preview must not replace it.
    if (!filefun::get_file_ext(first).IsEmpty() && !CopyFileA(first, preview, FALSE))
        errors += first + ", 复制Max预览图片失败!\n";
    if (!errors.IsEmpty()) AfxMessageBox(errors + "\n保存atx文件时出现以上错误!", MB_OK, 0);
    return 1;
}

int CAtxFile::copy_atx_to_a_folder(const char* source, const char* folder, file_overwrite_flag& overwrite) {
    CAtxFile atx;
    if (!atx.load_atx_from_disk(source, nullptr, 1)) return 0;
    return atx.save_atx_to_disk(CString(folder) + filefun::get_pure_filename(source), overwrite);
}

CString CAtxFile::get_preview_img_filename_from_atx(const char* atx_name, const char* first_frame) {
    return CString(atx_name) + filefun::get_file_ext(first_frame);
}

CString CAtxFile::get_atx_filename_from_preview_img(const char* preview_name) {
    const CString name(preview_name);
    const CString ext = filefun::get_file_ext(name);
    return name.Left(name.GetLength() - ext.GetLength());
}

int CAtxFile::is_atx_preview_img_file(const char* name) {
    CString bare = filefun::get_pure_filename(name);
    bare.MakeLower();
    return bare.Find(".atx.") > 0;
}

int CAtxPars::s_elapse_offset_group[8] = {};
float CAtxPars::s_elapse_scale_group[8] = {};
int CAtxPars::s_inited = 0;

CAtxPars::CAtxPars() {
    if (!s_inited) {
        s_inited = 1;
        for (int g = 0; g < 8; ++g)
            gen_random_pars(s_elapse_offset_group[g], s_elapse_scale_group[g]);
    }
    reset_default();
}

void CAtxPars::gen_random_pars(int& offset, float& scale) {
    offset = std::rand();
    scale = static_cast<float>(std::rand() % 1000) * 0.001f * 0.2f + 0.9f;
}

void CAtxPars::set_random_flag(int flag) {
    if (flag >= ATX_RANDOM_GROUP_FIRST && flag <= ATX_RANDOM_GROUP_LAST) {
        elapse_offset = s_elapse_offset_group[flag];
        elapse_scale = s_elapse_scale_group[flag];
        random_flag = static_cast<atx_random_flag>(flag);
        return;
    }
    gen_random_pars(elapse_offset, elapse_scale);
    random_flag = ATX_RANDOM_OWN;
}

int64_t CAtxPars::animation_time(double elapsed_ms) const {
    const int64_t t = trunc_to_int64(elapsed_ms);
    return int64_t{elapse_offset} + trunc_to_int64(static_cast<double>(t) * elapse_scale);
}

int CAtxPars::load_atxpars_from_node(CPakNode* node) {
    int flag = ATX_RANDOM_OWN;
    if (node) node->find_data("random_flag", NODE_INT, &flag);
    set_random_flag(flag);
    return 1;
}

void CAtxPars::save_atxpars_to_node(CPakNode* parent, const char* name) const {
    CPakNode* dir = parent ? parent->create_dir_node(name) : nullptr;
    if (!dir) return;
    const int flag = random_flag;
    dir->create_data_node("random_flag", NODE_INT, &flag);
}

void qcore::install_atx_copier() {
    static const bool installed = [] {
        set_animated_texture_copier(&CAtxFile::copy_atx_to_a_folder);
        return true;
    }();
    (void)installed;
}
