// Opens arbitrary bytes as a node-tree file, with and without preload, and reads every node through every
// typed reader, then rewrites the tree.
#include <qcore/data/pak_file.h>
#include <qcore/platform/win32/message_box.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

struct Scratch {
    int fd = -1;
    std::string path;
    std::string save_path;

    Scratch() {
        fd = memfd_create("tpk_fuzz", 0);
        path = "/proc/self/fd/" + std::to_string(fd);
        // tmpfs when there is one: save_as syncs to disk, which would dominate every run.
        std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm/tpk_fuzz_XXXXXX" : "/tmp/tpk_fuzz_XXXXXX";
        if (mkdtemp(dir.data())) save_path = dir + "/copy.tpk";
        qcore::set_message_box_handler([](const char*, UINT) { return IDOK; });
    }
};

struct Elem12 {
    float v[3];
};

void read_all(CPakFile& pak) {
    std::vector<CPakNode*> stack;
    if (pak.get_root()) stack.push_back(pak.get_root());
    while (!stack.empty()) {
        CPakNode* n = stack.back();
        stack.pop_back();
        // A buffer's value is all of its bytes: the destination must hold them.
        std::vector<BYTE> value(260);
        if (n->get_node_type() == NODE_BUF && n->get_length() > 260 && n->get_length() <= (1 << 20))
            value.resize(static_cast<size_t>(n->get_length()));
        for (WORD t = 0; t <= 19; ++t)
            if (t != NODE_BUF || value.size() >= static_cast<size_t>(std::max(n->get_length(), 0)))
                n->get_data(t, value.data());
        std::vector<BYTE> b;
        std::vector<uint16_t> w;
        std::vector<uint32_t> d;
        std::vector<Elem12> v;
        std::vector<double> q;
        n->get_buffer(b);
        n->get_buffer(w);
        n->get_buffer(d);
        n->get_buffer(v);
        n->get_buffer(q);
        if (n->get_length() >= 0 && n->get_length() <= (1 << 20)) {
            std::vector<BYTE> mem(static_cast<size_t>(n->get_length()));
            n->get_buffer_to_mem_allocated(mem.data(), n->get_length());
        }
        CString s;
        n->get_str_node(n->get_name(), s);
        n->is_type("VR_TYPE", "x");
        n->find(n->get_name());
        pak.find_node_from_id(n->get_id());
        stack.insert(stack.end(), n->get_children().begin(), n->get_children().end());
    }
    if (pak.get_root()) pak.get_root()->get_dir_node_count();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    if (scratch.fd < 0) return 0;
    if (ftruncate(scratch.fd, 0) != 0 || pwrite(scratch.fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    for (int preload = 0; preload < 2; ++preload) {
        CPakFile pak;
        std::vector<qcore::PakProblem> problems;
        if (!qcore::open_pak_file(pak, scratch.path.c_str(), preload, &problems)) continue;
        read_all(pak);
        if (!scratch.save_path.empty() && preload == 0) pak.save_as(scratch.save_path.c_str());
    }
    return 0;
}
