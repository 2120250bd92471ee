#include <qcore/core/core.h>
#include <qcore/data/pak_file.h>
#include <qcore/data/wait_window.h>
#include <qcore/platform/win32/message_box.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

static_assert(std::endian::native == std::endian::little, "records are stored in the host's byte order");

namespace {

constexpr size_t kHeaderSize = 64;
constexpr size_t kNameSize = 48;
constexpr size_t kMaxName = kNameSize - 1;
constexpr size_t kWriteChunk = size_t{1} << 18;
constexpr size_t kReadChunk = size_t{1} << 16;
constexpr size_t kFirstWindow = size_t{1} << 12;
constexpr int kMaxTypeLength = 260;
const char kFileHeader[8] = {'t', 'p', 'k', '\0', '1', '.', '0', '\0'};

int g_next_id = 0;

struct TypeInfo {
    const char* name;
    int length;
};

constexpr TypeInfo kTypes[] = {
    {"NODE_DIR", 0},    {"NODE_BUF", -1},       {"NODE_INT", 4},     {"NODE_FILENAME", 260},
    {"NODE_STR32", 32}, {"NODE_STR64", 64},     {"NODE_MATRIX", 64}, {"NODE_VEC", 12},
    {"NODE_FLOAT", 4},  {"NODE_D3DXCOLOR", 16}, {"NODE_GUID", 16},   {"NODE_BOX", 24},
    {"NODE_CRECT", 16}, {"NODE_FRECT", 16},     {"NODE_CSIZE", 8},   {"NODE_FLOAT4", 16},
    {"NODE_TIME", 4},   {"NODE_QUAT", 16},
};

const TypeInfo* type_info(WORD type) {
    if (type < NODE_DIR || type > NODE_QUAT) return nullptr;
    return &kTypes[type - 1];
}

bool is_text_type(WORD type) {
    return type == NODE_FILENAME || type == NODE_STR32 || type == NODE_STR64;
}

std::string cut_name(const char* name) {
    return name ? std::string(name, strnlen(name, kMaxName)) : "";
}

void show_name_taken(const char* name) {
    CString text;
    text.Format("%s : such node name already exist, Create Failed!", name);
    AfxMessageBox(text);
}

template <class T> T get_le(const BYTE* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T> void put_le(BYTE* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

} // namespace

// ---------------------------------------------------------------------------------------------------------

namespace {

// Index keys that differ from their node's own name (added under another name, or renamed since), by node.
std::unordered_map<const CPakNode*, std::string> g_set_aside_keys;

const std::vector<CPakNode*> kNoChildren;

unsigned char folded(char c) {
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

bool equal_folded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (folded(a[i]) != folded(b[i])) return false;
    return true;
}

// FNV-1a over the folded bytes, so that names equal but for letter case hash alike.
uint32_t hash_folded(std::string_view key) {
    uint32_t h = 2166136261u;
    for (const char c : key)
        h = (h ^ folded(c)) * 16777619u;
    return h;
}

std::string_view name_view(const char* name) {
    return name ? std::string_view(name) : std::string_view();
}

// Nodes whose data is held but empty point here, so that a held pointer is never null.
const BYTE kNoBytes[1] = {};

} // namespace

CPakNode::~CPakNode() {
    if (!g_set_aside_keys.empty()) g_set_aside_keys.erase(this);
    if (!extra) return;
    // Iterative, so that a deeply nested tree read from a hostile file cannot exhaust the stack.
    std::vector<CPakNode*> doomed = extra->children.take_children();
    while (!doomed.empty()) {
        CPakNode* node = doomed.back();
        doomed.pop_back();
        if (node->extra) {
            const std::vector<CPakNode*> kids = node->extra->children.take_children();
            doomed.insert(doomed.end(), kids.begin(), kids.end());
        }
        delete node;
    }
}

const std::vector<CPakNode*>& CPakNode::get_children() const {
    return extra ? extra->children.children() : kNoChildren;
}

CPakNode::Extra& CPakNode::extra_part() {
    if (!extra) extra = std::make_unique<Extra>();
    return *extra;
}

std::string_view CPakNode::index_key() const {
    if (!g_set_aside_keys.empty()) {
        const auto it = g_set_aside_keys.find(this);
        if (it != g_set_aside_keys.end()) return it->second;
    }
    return name;
}

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define QCORE_PAK_NODE_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QCORE_PAK_NODE_POOL 0
#endif
#endif
#ifndef QCORE_PAK_NODE_POOL
#define QCORE_PAK_NODE_POOL 1
#endif

// Nodes come from blocks of many: a tree of small nodes then costs no heap header per node, and a block
// goes back to the heap as soon as its last node does. (Builds with the address checker use the heap, so
// that it sees every node.)
class NodePool {
public:
    static constexpr size_t kSlot =
        (sizeof(CPakNode) + alignof(CPakNode) - 1) / alignof(CPakNode) * alignof(CPakNode);
    static constexpr size_t kSlots = 512;

    void* take() {
        std::lock_guard lock(mutex_);
        if (hint_ >= blocks_.size() || !has_room(blocks_[hint_])) {
            hint_ = blocks_.size();
            for (size_t i = 0; i < blocks_.size(); ++i)
                if (has_room(blocks_[i])) {
                    hint_ = i;
                    break;
                }
            if (hint_ == blocks_.size()) add_block();
        }
        Block& b = blocks_[hint_];
        ++b.live;
        if (b.free_head) {
            void* p = b.free_head;
            b.free_head = *static_cast<void**>(p);
            return p;
        }
        return b.base + kSlot * b.unused_from++;
    }

    void give(void* p) {
        std::lock_guard lock(mutex_);
        auto it = std::upper_bound(blocks_.begin(), blocks_.end(), static_cast<char*>(p),
                                   [](char* q, const Block& b) { return q < b.base; });
        Block& b = *--it;
        *static_cast<void**>(p) = b.free_head;
        b.free_head = p;
        if (--b.live > 0) return;
        ::operator delete(b.base);
        const auto at = static_cast<size_t>(it - blocks_.begin());
        blocks_.erase(it);
        if (hint_ > at || hint_ >= blocks_.size()) hint_ = hint_ > 0 ? hint_ - 1 : 0;
    }

private:
    struct Block {
        char* base;
        void* free_head;
        size_t unused_from;
        size_t live;
    };
    static bool has_room(const Block& b) { return b.free_head || b.unused_from < kSlots; }
    void add_block() {
        Block b{static_cast<char*>(::operator new(kSlot* kSlots)), nullptr, 0, 0};
        const auto it = std::upper_bound(blocks_.begin(), blocks_.end(), b.base,
                                         [](char* q, const Block& x) { return q < x.base; });
        const auto placed = blocks_.insert(it, b);
        hint_ = static_cast<size_t>(placed - blocks_.begin());
    }

    std::mutex mutex_;
    std::vector<Block> blocks_;
    size_t hint_ = 0;
};

// Never destroyed: nodes may outlive every other static object.
NodePool& node_pool() {
    static NodePool* pool = new NodePool;
    return *pool;
}

} // namespace

void* CPakNode::operator new(size_t size) {
    if (!QCORE_PAK_NODE_POOL || size != sizeof(CPakNode)) return ::operator new(size);
    return node_pool().take();
}

void CPakNode::operator delete(void* p, size_t size) noexcept {
    if (!p) return;
    if (!QCORE_PAK_NODE_POOL || size != sizeof(CPakNode))
        ::operator delete(p);
    else
        node_pool().give(p);
}

CPakNode* CPakNode::new_one(const char* node_name, int pid, WORD node_type, CPakFile* file) {
    auto* node = new CPakNode();
    // The counter wraps instead of overflowing.
    g_next_id = static_cast<int>(static_cast<unsigned>(g_next_id) + 1u);
    node->id = g_next_id;
    if (node_name) std::memcpy(node->name, node_name, strnlen(node_name, kMaxName));
    node->parent_id = pid;
    node->type = node_type;
    node->pak_file = file;
    return node;
}

CPakNode* CPakNode::find(const char* child_name) const {
    return extra ? extra->children.find(name_view(child_name)) : nullptr;
}

void CPakNode::add_child(const char* child_name, CPakNode* node) {
    if (node) extra_part().children.add(name_view(child_name), node);
}

namespace qcore::detail {

void ChildIndex::add(std::string_view key, CPakNode* node) {
    // The key is the node's own name unless told otherwise.
    if (!equal_folded(node->name, key))
        g_set_aside_keys[node] = std::string(key);
    else if (!g_set_aside_keys.empty())
        g_set_aside_keys.erase(node);
    children_.push_back(node);
}

std::vector<CPakNode*> ChildIndex::take_children() {
    keys_.reset();
    room_ = indexed_ = 0;
    return std::exchange(children_, {});
}

void ChildIndex::index_tail() const {
    const size_t count = children_.size();
    if (count > room_) {
        // Exact for a directory read whole; with room to grow for one being built.
        const size_t room = indexed_ == 0 ? count : std::max(count, size_t{room_} + room_ / 2);
        auto keys = std::make_unique_for_overwrite<uint64_t[]>(room);
        if (indexed_ > 0) std::memcpy(keys.get(), keys_.get(), indexed_ * sizeof(uint64_t));
        keys_ = std::move(keys);
        room_ = static_cast<uint32_t>(room);
    }
    uint64_t* const begin = keys_.get();
    for (size_t i = indexed_; i < count; ++i)
        begin[i] = uint64_t{hash_folded(children_[i]->index_key())} << 32 | static_cast<uint32_t>(i);
    std::sort(begin + indexed_, begin + count);
    std::inplace_merge(begin, begin + indexed_, begin + count);
    indexed_ = static_cast<uint32_t>(count);
}

CPakNode* ChildIndex::find(std::string_view key) const {
    // A tail of about the square root of the size keeps both the merges and the scans of it short.
    const size_t count = children_.size();
    const size_t tail = count - indexed_;
    if (tail > 8 && tail * tail > count) index_tail();
    const bool own_names = g_set_aside_keys.empty();
    const auto matches = [&](const CPakNode* node) {
        return equal_folded(own_names ? std::string_view(node->name) : node->index_key(), key);
    };
    // The index is ordered by hash and then position, so its first match is the first-added child of
    // that name; the tail holds later additions only.
    const uint64_t hash = hash_folded(key);
    const uint64_t* const begin = keys_.get();
    const uint64_t* const end = begin + indexed_;
    for (const uint64_t* e = std::lower_bound(begin, end, hash << 32); e != end && *e >> 32 == hash; ++e)
        if (matches(children_[static_cast<uint32_t>(*e)])) return children_[static_cast<uint32_t>(*e)];
    for (size_t i = indexed_; i < count; ++i)
        if (matches(children_[i])) return children_[i];
    return nullptr;
}

} // namespace qcore::detail

CPakNode* CPakNode::create_dir_node(const char* child_name, int allow_duplicate) {
    if (type != NODE_DIR) {
        AfxMessageBox("Only DIR NODE can create data node!");
        return nullptr;
    }
    const std::string n = cut_name(child_name);
    if (!allow_duplicate && find(n.c_str())) {
        show_name_taken(child_name);
        return nullptr;
    }
    return append_child(n.c_str(), NODE_DIR, 0, nullptr, 0);
}

CPakNode* CPakNode::create_data_node(const char* child_name, WORD data_type, const void* value) {
    if (type != NODE_DIR) return nullptr;
    const std::string n = cut_name(child_name);
    if (find(n.c_str())) {
        show_name_taken(child_name);
        return nullptr;
    }
    const int size = std::max(get_type_length(data_type), 0);
    BYTE field[kMaxTypeLength] = {};
    if (value && is_text_type(data_type)) {
        const auto* text = static_cast<const char*>(value);
        std::memcpy(field, text, strnlen(text, static_cast<size_t>(size - 1)));
    } else if (value) {
        std::memcpy(field, value, static_cast<size_t>(size));
    }
    return append_child(n.c_str(), data_type, 0, field, size);
}

CPakNode* CPakNode::create_buf_node(const char* child_name, const void* bytes, int size, WORD kind) {
    if (type != NODE_DIR) {
        AfxMessageBox("Only DIR NODE can create data node!");
        return nullptr;
    }
    if (size < 0 || (!bytes && size > 0)) return nullptr;
    const std::string n = cut_name(child_name);
    if (find(n.c_str())) {
        show_name_taken(child_name);
        return nullptr;
    }
    return append_child(n.c_str(), NODE_BUF, kind, bytes, size);
}

CPakNode* CPakNode::create_str_node(const char* child_name, const CString& text) {
    return create_buf_node(child_name, text.GetString(), text.GetLength(), qcore::buf_chars);
}

CPakNode* CPakNode::append_child(const char* child_name, WORD node_type, WORD kind, const void* value,
                                 int size) {
    if (!pak_file) return nullptr;
    std::unique_ptr<CPakNode> node(new_one(child_name, id, node_type, pak_file));
    node->sub_type = kind;
    node->length = size;
    if (!pak_file->append_record(*node, value, size)) return nullptr;
    CPakNode* raw = node.release();
    add_child(raw->name, raw);
    return raw;
}

int CPakNode::get_str_node(const char* child_name, CString& text) {
    CPakNode* child = find(child_name);
    if (!child || child->type != NODE_BUF) return 0;
    std::string s(static_cast<size_t>(child->length), '\0');
    if (!child->read_data(s.data(), s.size())) return 0;
    text = CString(std::move(s));
    return 1;
}

CPakNode* CPakNode::find_data(const char* child_name, WORD data_type, void* dest, int report_missing) {
    CPakNode* child = find(child_name);
    if (child) {
        child->get_data(data_type, dest);
        return child;
    }
    if (report_missing) AfxMessageBox(CString(child_name) + " : such node not exist! find_data Err!");
    return nullptr;
}

int CPakNode::get_data(WORD data_type, void* dest) {
    if (data_type != type) {
        CString text;
        text.Format("%d != %d, err get_data(), mode type mismatch", static_cast<int>(data_type),
                    static_cast<int>(type));
        AfxMessageBox(text);
        return 0;
    }
    const TypeInfo* info = type_info(data_type);
    if (!info) {
        get_type_length(data_type); // says that the type has no length
        return 0;
    }
    // A buffer's value is its bytes, as many as it holds, wherever they are.
    if (info->length < 0) return length <= 0 || read_data(dest, static_cast<size_t>(length));
    if (length != info->length) return 0;
    if (length == 0) return 1;
    const auto count = static_cast<size_t>(length);
    if (held_bytes) {
        std::memcpy(dest, held_bytes, count);
    } else {
        // Staged, so that a failed read leaves the destination untouched.
        BYTE value[kMaxTypeLength];
        if (!read_data(value, count)) return 0;
        std::memcpy(dest, value, count);
    }
    if (is_text_type(data_type)) static_cast<BYTE*>(dest)[count - 1] = 0;
    return 1;
}

int CPakNode::buffer_element_count(size_t element_size) {
    if (type != NODE_BUF) {
        AfxMessageBox("type mismatch, get buffer err");
        return -1;
    }
    return static_cast<int>(static_cast<size_t>(length) / element_size);
}

int CPakNode::read_data(void* dest, size_t count) {
    count = std::min(count, static_cast<size_t>(std::max(length, 0)));
    if (count == 0) return 1;
    if (held_bytes) {
        std::memcpy(dest, held_bytes, count);
        return 1;
    }
    return pak_file ? pak_file->read_at(data_pos, dest, count) : 0;
}

int CPakNode::get_buffer_to_mem_allocated(void* dest, int size) {
    if (type != NODE_BUF || size != length) return 0;
    return read_data(dest, static_cast<size_t>(size));
}

void CPakNode::set_data_buf(const void* bytes, int size) {
    auto& data = extra_part().data;
    data = std::make_unique<std::vector<BYTE>>(static_cast<size_t>(std::max(length, 0)), BYTE{0});
    if (bytes && size > 0 && !data->empty())
        std::memcpy(data->data(), bytes, std::min(data->size(), static_cast<size_t>(size)));
    held_bytes = data->empty() ? kNoBytes : data->data();
}

void CPakNode::set_name(const char* new_name) {
    if (!new_name || std::strlen(new_name) > kMaxName) return;
    // The parent keeps finding the node under the key it was added with.
    if (!equal_folded(name, new_name) && !g_set_aside_keys.count(this)) g_set_aside_keys.emplace(this, name);
    std::memset(name, 0, sizeof name);
    std::memcpy(name, new_name, std::strlen(new_name));
}

int CPakNode::get_dir_node_count() const {
    int count = 0;
    std::vector<const CPakNode*> stack{this};
    while (!stack.empty()) {
        const CPakNode* node = stack.back();
        stack.pop_back();
        if (node->type == NODE_DIR) ++count;
        const auto& kids = node->get_children();
        stack.insert(stack.end(), kids.begin(), kids.end());
    }
    return count;
}

int CPakNode::is_type(const char* child_name, const char* value) {
    if (type != NODE_DIR) return 0;
    char text[32] = {};
    const CPakNode* child = find_data(child_name, NODE_STR32, text, 0);
    if (!child || child->type != NODE_STR32) return 0;
    return qcore::compare_no_case(text, value ? value : "") == 0;
}

int CPakNode::get_type_length(WORD type_code) {
    const TypeInfo* info = type_info(type_code);
    if (info) return info->length;
    AfxMessageBox("get data length err!");
    return 0;
}

const char* CPakNode::get_type_name(WORD type_code) {
    const TypeInfo* info = type_info(type_code);
    return info ? info->name : "such type not exist!";
}

void CPakNode::write_header(BYTE* out) const {
    std::memcpy(out, name, kNameSize);
    put_le<int32_t>(out + 48, id);
    put_le<int32_t>(out + 52, parent_id);
    put_le<uint16_t>(out + 56, type);
    put_le<uint16_t>(out + 58, sub_type);
    put_le<int32_t>(out + 60, length);
}

void CPakNode::read_header(const BYTE* in) {
    // Bytes after the terminator carry no meaning; a name without one keeps its first 47 bytes.
    std::memset(name, 0, sizeof name);
    std::memcpy(name, in, strnlen(reinterpret_cast<const char*>(in), kMaxName));
    id = get_le<int32_t>(in + 48);
    parent_id = get_le<int32_t>(in + 52);
    type = get_le<uint16_t>(in + 56);
    sub_type = get_le<uint16_t>(in + 58);
    length = get_le<int32_t>(in + 60);
}

// ---------------------------------------------------------------------------------------------------------

namespace qcore {

int pak_element_size(WORD kind) {
    static constexpr int sizes[] = {1, 1, 12, 12, 4, 8, 2, 4};
    return kind < 8 ? sizes[kind] : 0;
}

const char* pak_element_name(WORD kind) {
    static constexpr const char* names[] = {"raw",    "chars",  "vec",    "face",
                                            "uint32", "float2", "uint16", "float"};
    return kind < 8 ? names[kind] : "unknown";
}

namespace detail {

void PakWriteBuffer::put(CFile& f, const void* bytes, size_t count) {
    if (buf_.size() + count > kWriteChunk) flush(f);
    if (count >= kWriteChunk) {
        f.SeekToEnd();
        f.Write(bytes, static_cast<UINT>(count));
        return;
    }
    const auto* p = static_cast<const BYTE*>(bytes);
    buf_.insert(buf_.end(), p, p + count);
}

void PakWriteBuffer::flush(CFile& f) {
    if (buf_.empty()) return;
    // Cleared first: after a failed write the bytes are not retried into a stream that is already broken.
    std::vector<BYTE> out;
    out.swap(buf_);
    f.SeekToEnd();
    f.Write(out.data(), static_cast<UINT>(out.size()));
    out.clear();
    buf_.swap(out);
}

size_t PakReadBuffer::read(CFile& f, ULONGLONG pos, void* dest, size_t count) {
    if (count == 0) return 0;
    if (count >= kReadChunk) {
        f.Seek(static_cast<LONGLONG>(pos), CFile::begin);
        return f.Read(dest, static_cast<UINT>(count));
    }
    if (pos < start_ || pos + count > start_ + buf_.size()) {
        // Reading on where the window ends widens the window; a jump (over data that is not wanted)
        // starts small again, so that skipped data is not read after all.
        const bool onward = !buf_.empty() && pos >= start_ && pos <= start_ + buf_.size();
        window_ = onward ? std::min(window_ * 2, kReadChunk) : kFirstWindow;
        const size_t want = std::max(window_, count);
        f.Seek(static_cast<LONGLONG>(pos), CFile::begin);
        buf_.resize(want);
        buf_.resize(f.Read(buf_.data(), static_cast<UINT>(want)));
        start_ = pos;
    }
    const size_t avail = start_ + buf_.size() > pos ? static_cast<size_t>(start_ + buf_.size() - pos) : 0;
    count = std::min(count, avail);
    std::memcpy(dest, buf_.data() + (pos - start_), count);
    return count;
}

void PakReadBuffer::clear() {
    buf_.clear();
    start_ = 0;
    window_ = kFirstWindow;
}

} // namespace detail

int open_pak_file(CPakFile& file, const char* path, int preload, std::vector<PakProblem>* problems) {
    return file.open_file(path, preload, problems);
}

CString pak_damage(const CPakFile& file) {
    return file.damage;
}

} // namespace qcore

// ---------------------------------------------------------------------------------------------------------

namespace {

// Calls fn on every node of the tree below and including `top`, without recursion.
template <class Fn> void each_node(CPakNode* top, Fn fn) {
    std::vector<CPakNode*> stack;
    if (top) stack.push_back(top);
    while (!stack.empty()) {
        CPakNode* node = stack.back();
        stack.pop_back();
        fn(*node);
        const auto& kids = node->get_children();
        stack.insert(stack.end(), kids.begin(), kids.end());
    }
}

void add_problem(std::vector<qcore::PakProblem>* problems, ULONGLONG offset, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));

void add_problem(std::vector<qcore::PakProblem>* problems, ULONGLONG offset, const char* fmt, ...) {
    if (!problems) return;
    va_list args;
    va_start(args, fmt);
    CString text;
    text.FormatV(fmt, args);
    va_end(args);
    problems->push_back({offset, text});
}

// The checks of one record's size and data that reading itself does not need.
void check_record(const CPakNode& node, const BYTE* text_data, ULONGLONG at,
                  std::vector<qcore::PakProblem>* problems) {
    const WORD type = node.get_node_type();
    const int length = node.get_length();
    const TypeInfo* info = type_info(type);
    if (!info) {
        add_problem(problems, at, "type code %u is not a node type", static_cast<unsigned>(type));
        return;
    }
    if (type == NODE_BUF) {
        const int size = qcore::pak_element_size(node.get_sub_type());
        if (size == 0)
            add_problem(problems, at, "unknown buffer element kind %u",
                        static_cast<unsigned>(node.get_sub_type()));
        else if (length % size != 0)
            add_problem(problems, at,
                        "buffer of %d bytes is not a whole number of %s elements (%d bytes each)", length,
                        qcore::pak_element_name(node.get_sub_type()), size);
        return;
    }
    if (length != info->length) {
        add_problem(problems, at, "%s holds %d data bytes instead of %d", info->name, length, info->length);
        return;
    }
    if (text_data && !std::memchr(text_data, 0, static_cast<size_t>(length)))
        add_problem(problems, at, "%s text without terminating zero", info->name);
}

CString describe_loss(const char* cut, ULONGLONG cut_at, ULONGLONG size, int orphans) {
    CString text;
    if (cut)
        text.Format("%llu bytes from byte %llu on (%s) were not read",
                    static_cast<unsigned long long>(size - cut_at), static_cast<unsigned long long>(cut_at),
                    cut);
    if (orphans > 0) {
        if (!text.IsEmpty()) text += "; ";
        text.AppendFormat(orphans == 1 ? "%d record whose directory is missing was dropped"
                                       : "%d records whose directory is missing were dropped",
                          orphans);
    }
    return text;
}

// A damaged file opens with what is intact; the user is told what is missing before saving over it.
void report_loss(const char* path, const CString& loss) {
    if (CBaseLog* log = qcore::current_core_log())
        log->add_log(LOG_ERROR, path, (", damaged: " + loss).GetString());
    AfxMessageBox(CString(path) + " is damaged, only its intact records were read: " + loss);
}

} // namespace

CPakFile::CPakFile() = default;

CPakFile::~CPakFile() {
    close_file();
}

CFile& CPakFile::get_f() {
    if (writing) {
        try {
            pending.flush(f);
        } catch (const CFileException&) {
            report_write_failure();
        }
    }
    return f;
}

CString CPakFile::get_full_filename() const {
    return f.IsOpen() ? f.GetFilePath() : CString();
}

void CPakFile::report_write_failure() {
    AfxMessageBox(CString("Can't wirte to file: ") + f.GetFilePath());
    // A stream with a lost record cannot be continued.
    writing = 0;
    pending.clear();
}

void CPakFile::clear_all_nodes() {
    root.reset();
}

void CPakFile::close_file() {
    if (writing) {
        try {
            pending.flush(f);
        } catch (const CFileException&) {
            report_write_failure();
        }
    }
    writing = 0;
    pending.clear();
    reads.clear();
    end_pos = 0;
    damage.Empty();
    f.Abort();
    clear_all_nodes();
    std::vector<BYTE, qcore::detail::LargeNoInitAllocator<BYTE>>().swap(preloaded);
}

int CPakFile::create(const char* path) {
    close_file();
    if (!f.Open(path, CFile::modeCreate | CFile::modeReadWrite | CFile::typeBinary)) {
        AfxMessageBox(CString("Can't wirte to file: ") + path);
        return 0;
    }
    writing = 1;
    try {
        pending.put(f, kFileHeader, sizeof kFileHeader);
    } catch (const CFileException&) {
        report_write_failure();
        close_file();
        return 0;
    }
    end_pos = sizeof kFileHeader;
    std::unique_ptr<CPakNode> node(CPakNode::new_one("root", 0, NODE_DIR, this));
    if (!append_record(*node, nullptr, 0)) {
        close_file();
        return 0;
    }
    root = std::move(node);
    return 1;
}

int CPakFile::append_record(CPakNode& node, const void* value, int size) {
    if (!writing || !f.IsOpen()) {
        AfxMessageBox(CString("Can't wirte to file: ") + f.GetFilePath());
        return 0;
    }
    BYTE header[kHeaderSize];
    node.write_header(header);
    try {
        pending.put(f, header, sizeof header);
        end_pos += kHeaderSize;
        if (node.type != NODE_DIR) node.data_pos = end_pos;
        if (size > 0) pending.put(f, value, static_cast<size_t>(size));
        end_pos += static_cast<ULONGLONG>(std::max(size, 0));
    } catch (const CFileException&) {
        report_write_failure();
        return 0;
    }
    return 1;
}

int CPakFile::read_at(ULONGLONG pos, void* dest, size_t count) {
    try {
        if (writing) pending.flush(f);
        return reads.read(f, pos, dest, count) == count;
    } catch (const CFileException& e) {
        e.ReportError();
        return 0;
    }
}

int CPakFile::open(const char* path, int preload) {
    return open_file(path, preload, nullptr);
}

int CPakFile::open_file(const char* path, int preload, std::vector<qcore::PakProblem>* problems) {
    close_file();
    CMyWaitCursor wait;
    CFileException error;
    if (!f.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary, &error)) {
        error.ReportError();
        return 0;
    }
    try {
        char head[sizeof kFileHeader];
        if (f.Read(head, sizeof head) != sizeof head || std::memcmp(head, kFileHeader, sizeof head) != 0) {
            AfxMessageBox(CString(path) + " , 不是一个有效的tpk格式文件!");
            close_file();
            return 0;
        }
        ULONGLONG size = f.GetLength();
        if (preload) size = read_whole_file(size);
        // Preloaded, every record comes from the one copy of the file in memory.
        auto fetch = [&](ULONGLONG at, void* dest, size_t count) -> size_t {
            if (!preload) return reads.read(f, at, dest, count);
            if (at >= preloaded.size()) return 0;
            count = std::min(count, static_cast<size_t>(preloaded.size() - at));
            std::memcpy(dest, preloaded.data() + at, count);
            return count;
        };
        ULONGLONG pos = sizeof kFileHeader;
        // Directories by id, with the number of children each gets; the map keeps the first directory
        // of an id. The children are attached once all are counted.
        struct DirEntry {
            CPakNode* node;
            size_t children;
        };
        std::unordered_map<int, DirEntry> dirs;
        std::vector<std::pair<CPakNode*, std::unique_ptr<CPakNode>>> links;
        // Records mostly follow their directory's record or a sibling's: the last parent found is tried
        // first (map entries stay where they are).
        int last_parent_id = 0;
        DirEntry* last_parent = nullptr;
        std::vector<BYTE> text;
        // What cannot be kept: the rest of the file after a broken record, and records without parent.
        const char* cut = nullptr;
        ULONGLONG cut_at = 0;
        int orphans = 0;
        size_t kept_data = 0;
        for (;;) {
            const ULONGLONG at = pos;
            BYTE header[kHeaderSize];
            const size_t got = fetch(pos, header, sizeof header);
            if (got == 0) break;
            if (got < sizeof header) {
                add_problem(problems, at, "partial record header (%zu of 64 bytes) at the end of the file",
                            got);
                cut = "a partial record header";
                cut_at = at;
                break;
            }
            pos += kHeaderSize;
            std::unique_ptr<CPakNode> node(CPakNode::new_one("", 0, NODE_DIR, this));
            node->read_header(header);
            if (problems && !std::memchr(header, 0, kMaxName + 1))
                add_problem(problems, at, "name without terminating zero");
            if (node->length < 0) {
                add_problem(problems, at, "negative data length %d", node->length);
                cut = "a negative data length";
                cut_at = at;
                break;
            }
            const auto length = static_cast<size_t>(node->length);
            if (pos > size || length > size - pos) {
                add_problem(problems, at, "data of %d bytes runs past the end of the file", node->length);
                cut = "a record whose data runs past the end of the file";
                cut_at = at;
                break;
            }
            node->data_pos = pos;
            const bool want_text =
                problems && is_text_type(node->type) && type_info(node->type)->length == node->length;
            if (preload) {
                node->held_bytes = length > 0 ? preloaded.data() + pos : kNoBytes;
            } else if (want_text) {
                text.assign(length, 0xff);
                reads.read(f, pos, text.data(), length);
            }
            pos += length;
            if (problems)
                check_record(*node, want_text ? (preload ? node->held_bytes : text.data()) : nullptr, at,
                             problems);

            CPakNode* raw = node.get();
            kept_data += length;
            if (!root) {
                if (raw->type != NODE_DIR) add_problem(problems, at, "first record is not a directory");
                root = std::move(node);
            } else {
                if (!last_parent || last_parent_id != raw->parent_id) {
                    const auto parent = dirs.find(raw->parent_id);
                    if (parent == dirs.end()) {
                        add_problem(problems, at, "parent id %d names no directory read before this record",
                                    raw->parent_id);
                        ++orphans;
                        kept_data -= length;
                        continue;
                    }
                    last_parent_id = raw->parent_id;
                    last_parent = &parent->second;
                }
                ++last_parent->children;
                links.emplace_back(last_parent->node, std::move(node));
            }
            if (raw->type == NODE_DIR && !dirs.emplace(raw->id, DirEntry{raw, 0}).second)
                add_problem(problems, at, "directory id %d used before", raw->id);
        }
        // Each directory's child list is allocated once, at its final size.
        for (const auto& [id, dir] : dirs)
            if (dir.children > 0) dir.node->extra_part().children.reserve(dir.children);
        for (auto& [parent, child] : links)
            parent->extra->children.add_own(child.release());
        if (preload) keep_only_data(kept_data);
        damage = describe_loss(cut, cut_at, size, orphans);
        if (!damage.IsEmpty() && !problems) report_loss(path, damage);
    } catch (const CFileException& e) {
        e.ReportError();
        close_file();
        return 0;
    }
    return 1;
}

void CPakFile::keep_only_data(size_t bytes) {
    // A file of many small nodes is mostly headers, which the tree holds already: its data moves into a
    // block of its own and the copy of the file goes. Files of large data keep the copy as it is.
    if (bytes * 2 >= preloaded.size()) return;
    std::vector<BYTE, qcore::detail::LargeNoInitAllocator<BYTE>> compact(bytes);
    size_t at = 0;
    each_node(root.get(), [&](CPakNode& node) {
        if (!node.held_bytes || node.length <= 0) return;
        std::memcpy(compact.data() + at, node.held_bytes, static_cast<size_t>(node.length));
        node.held_bytes = compact.data() + at;
        at += static_cast<size_t>(node.length);
    });
    preloaded.swap(compact);
}

ULONGLONG CPakFile::read_whole_file(ULONGLONG size) {
    preloaded.resize(static_cast<size_t>(size));
    f.SeekToBegin();
    size_t got = 0;
    while (got < preloaded.size()) {
        const UINT part = static_cast<UINT>(std::min<size_t>(preloaded.size() - got, size_t{1} << 30));
        const UINT n = f.Read(preloaded.data() + got, part);
        if (n == 0) break;
        got += n;
    }
    preloaded.resize(got);
    return got;
}

int CPakFile::save_as(const char* path, int renumber_ids) {
    CMyWaitCursor wait;
    const CString failure = CString("Can't wirte to file: ") + path;
    qcore::SafeFileWriter out;
    if (!out.open(path)) {
        AfxMessageBox(failure);
        return 0;
    }
    try {
        qcore::detail::PakWriteBuffer buffer;
        buffer.put(out.file(), kFileHeader, sizeof kFileHeader);
        // Each node with the id its parent is written under.
        std::vector<std::pair<const CPakNode*, int>> stack;
        if (root) stack.emplace_back(root.get(), root->parent_id);
        std::vector<BYTE> scratch;
        int next_id = 0;
        while (!stack.empty()) {
            const auto [node, parent] = stack.back();
            stack.pop_back();
            BYTE header[kHeaderSize];
            node->write_header(header);
            int node_id = node->id;
            if (renumber_ids) {
                node_id = ++next_id;
                put_le<int32_t>(header + 48, node_id);
                put_le<int32_t>(header + 52, parent);
            }
            buffer.put(out.file(), header, sizeof header);
            if (node->length > 0) {
                const size_t n = static_cast<size_t>(node->length);
                if (node->held_bytes) {
                    buffer.put(out.file(), node->held_bytes, n);
                } else {
                    scratch.resize(n);
                    if (!const_cast<CPakNode*>(node)->read_data(scratch.data(), n)) {
                        AfxMessageBox(failure);
                        return 0;
                    }
                    buffer.put(out.file(), scratch.data(), n);
                }
            }
            const auto& kids = node->get_children();
            for (auto kid = kids.rbegin(); kid != kids.rend(); ++kid)
                stack.emplace_back(*kid, node_id);
        }
        buffer.flush(out.file());
    } catch (const CFileException&) {
        AfxMessageBox(failure);
        return 0;
    }
    if (!out.commit()) {
        AfxMessageBox(failure);
        return 0;
    }
    return 1;
}

CPakNode* CPakFile::find_node_from_id(int node_id) const {
    std::vector<const CPakNode*> stack;
    if (root) stack.push_back(root.get());
    while (!stack.empty()) {
        const CPakNode* node = stack.back();
        stack.pop_back();
        if (node->id == node_id) return const_cast<CPakNode*>(node);
        const auto& kids = node->get_children();
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    }
    return nullptr;
}
