// Camera paths loaded from node-tree directories whose five tracks and closed flags come from the input,
// then evaluated, edited and saved again.
#include <qcore/data/pak_file.h>
#include <qcore/geom/cam_path.h>
#include <qcore/platform/win32/message_box.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    // The next chunk: a length byte, then up to that many bytes.
    std::string take() {
        if (!size) return {};
        const size_t n = std::min<size_t>(data[0], size - 1);
        std::string s(reinterpret_cast<const char*>(data + 1), n);
        data += n + 1;
        size -= n + 1;
        return s;
    }
    int flag() {
        if (!size) return 0;
        --size;
        return static_cast<int8_t>(*data++);
    }
};

const std::string& scratch() {
    static const std::string path = [] {
        qcore::set_message_box_handler([](const char*, UINT) { return IDOK; });
        std::string dir =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm/cam_path_fuzz_XXXXXX" : "/tmp/cam_path_fuzz_XXXXXX";
        return mkdtemp(dir.data()) ? dir + "/path.tpk" : std::string();
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratch();
    if (path.empty()) return 0;
    Input in{data, size};
    {
        CPakFile pak;
        if (!pak.create(path.c_str())) return 0;
        CPakNode* dir = pak.get_root()->create_dir_node("p");
        dir->create_data_node("VR_TYPE", NODE_STR32, "CamPath");
        for (const char* name : {"eyepos", "targetpos", "upvec", "fov", "ortho_box"}) {
            const std::string bytes = in.take();
            const int kind = in.flag();
            if (kind >= 0) dir->create_buf_node(name, bytes.data(), static_cast<int>(bytes.size()), kind & 7);
            const int closed = in.flag();
            dir->create_data_node((std::string(name) + "-closed").c_str(), NODE_INT, &closed);
        }
        pak.close_file();
    }
    CPakFile pak;
    if (!pak.open(path.c_str(), 1)) return 0;
    CCamPath cp;
    if (!cp.load_from_node(pak.get_root()->find("p"))) return 0;
    for (float t : {-1.0f, 0.0f, 0.3f, 0.5f, 0.999f, 1.0f, 1.002f}) {
        (void)cp.eye.get(t);
        (void)cp.fov.get(t);
    }
    cp.get_box();
    const int i = in.flag();
    cp.insert_key_by_split_path(i);
    cp.remove_key(i);
    cp.sync_head_tail(i & 1);
    cp.make_closed(i & 2);
    cp.remove_key(0);
    cp.get_box();
    return 0;
}
