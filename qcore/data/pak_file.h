#pragma once
// The tpk node-tree file: a tree of named, typed nodes written as a stream of records (an 8-byte file
// header "tpk\0" "1.0\0", then per node a 64-byte header followed by its data), and the in-memory tree.
//
// Reading is safe on any input. Every damage keeps what came before it intact:
// - a partial header at the end of the file ends the tree before it;
// - a negative length, or a length that runs past the end of the file, ends the tree before that record
//   (its data and everything after it cannot be trusted to be where the header says);
// - a record whose parent id names no directory read before it is dropped with its data, and so is
//   everything that names it as parent; reading goes on with the next record;
// - a first record that is not a directory is kept as the root, so nothing attaches to it;
// - of two directories with the same id the first keeps the id; the second stays in the tree where its
//   own parent puts it, but records naming that id attach to the first;
// - a type code outside 1 to 18 is kept as an opaque node whose bytes save_as copies unchanged;
// - a name without a terminating zero is cut to its first 47 bytes;
// - a fixed-size node whose length differs from its type's size reads as 0 through get_data (no partial
//   values); text fields read through get_data are always zero-terminated in the destination;
// - get_buffer reads whole elements only (length / element size), never past the destination.
// No read allocates more than the file holds, and each loop step consumes at least one 64-byte header.
// I/O errors of the file object are caught and reported; operations then return 0 or null.
#include <qcore/core/large_alloc.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

enum NODE_TYPE : WORD {
    NODE_DIR = 1,
    NODE_BUF = 2,
    NODE_INT = 3,
    NODE_FILENAME = 4,
    NODE_STR32 = 5,
    NODE_STR64 = 6,
    NODE_MATRIX = 7,
    NODE_VEC = 8,
    NODE_FLOAT = 9,
    NODE_D3DXCOLOR = 10,
    NODE_GUID = 11,
    NODE_BOX = 12,
    NODE_CRECT = 13,
    NODE_FRECT = 14,
    NODE_CSIZE = 15,
    NODE_FLOAT4 = 16,
    NODE_TIME = 17,
    NODE_QUAT = 18,
};

class CPakFile;
class CPakNode;

namespace qcore::detail {
// A directory's children in the order added, and their index by name compared without regard to letter
// case. Per child the index holds one number: a hash of the child's key (its own name, folded as it is
// compared, unless it was added under another name or renamed since; those few keys are kept aside) and
// the child's position, sorted. Children added since the index was last brought up to date are a short
// tail compared one by one; the index is built on the first lookups that need it, so that a tree read
// from a file and never searched costs nothing for it.
class ChildIndex {
public:
    void add(std::string_view key, CPakNode* node);
    // Adds a node whose key is its own name.
    void add_own(CPakNode* node) { children_.push_back(node); }
    void reserve(size_t count) { children_.reserve(count); }
    CPakNode* find(std::string_view key) const;
    const std::vector<CPakNode*>& children() const { return children_; }
    std::vector<CPakNode*> take_children();

private:
    void index_tail() const;
    std::vector<CPakNode*> children_;
    // hash << 32 | position for the first indexed_ children, in ascending order.
    mutable std::unique_ptr<uint64_t[]> keys_;
    mutable uint32_t room_ = 0;
    mutable uint32_t indexed_ = 0;
};

} // namespace qcore::detail

class CPakNode {
public:
    virtual ~CPakNode();
    CPakNode(const CPakNode&) = delete;
    // Nodes are allocated in blocks of many (see pak_file.cpp).
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size) noexcept;
    CPakNode& operator=(const CPakNode&) = delete;

    // A new node with the next id of the process-wide counter; the name is cut to 47 characters.
    static CPakNode* new_one(const char* name, int parent_id, WORD type, CPakFile* file);

    int get_id() const { return id; }
    int get_parent_id() const { return parent_id; }
    void set_parent_id(int pid) { parent_id = pid; }
    WORD get_node_type() const { return type; }
    WORD get_sub_type() const { return sub_type; }
    int get_length() const { return length; }
    const char* get_name() const { return name; }
    const std::vector<CPakNode*>& get_children() const;
    CPakFile* get_pak_file() const { return pak_file; }
    int is_data_on_disk() const { return held_bytes ? 0 : 1; }
    ULONGLONG get_data_pos() const { return data_pos; }

    // The first-added child of this name, compared without regard to letter case.
    CPakNode* find(const char* child_name) const;
    // Takes ownership of node.
    void add_child(const char* child_name, CPakNode* node);

    // Each appends one record to the owning file, which must be in the writing state (after create).
    CPakNode* create_dir_node(const char* child_name, int allow_duplicate = 0);
    // value points to get_type_length(type) bytes; for the text types (NODE_FILENAME, NODE_STR32,
    // NODE_STR64) to a zero-terminated text, cut to fit. A null value writes zeros.
    CPakNode* create_data_node(const char* child_name, WORD data_type, const void* value);
    // Returns null for a negative size or a null pointer with a positive size.
    CPakNode* create_buf_node(const char* child_name, const void* bytes, int size, WORD kind = 0);
    CPakNode* create_str_node(const char* child_name, const CString& text);
    int get_str_node(const char* child_name, CString& text);

    CPakNode* find_data(const char* child_name, WORD data_type, void* dest, int report_missing = 0);
    int get_data(WORD data_type, void* dest);
    // Fills the vector with length / sizeof(T) elements; T is any plain record (bytes, VEC, CFace, ...).
    template <class T> int get_buffer(std::vector<T>& out) {
        static_assert(std::is_trivially_copyable_v<T> && !std::is_same_v<T, bool>);
        const int count = buffer_element_count(sizeof(T));
        if (count < 0) return 0;
        out.resize(static_cast<size_t>(count));
        if (read_data(out.data(), static_cast<size_t>(count) * sizeof(T))) return 1;
        out.clear();
        return 0;
    }
    int get_buffer_to_mem_allocated(void* dest, int size);
    // Replaces the in-memory data; the node keeps its length, so a shorter copy is padded with zeros and
    // a longer one is cut.
    void set_data_buf(const void* bytes, int size);
    void set_name(const char* new_name);
    int get_dir_node_count() const;
    int is_type(const char* child_name, const char* value);

    // Data size of a type code: -1 for NODE_BUF; 0 with a message box outside 1 to 18.
    static int get_type_length(WORD type_code);
    static const char* get_type_name(WORD type_code);

private:
    friend class CPakFile;
    CPakNode() = default;

    void write_header(BYTE* out) const;
    void read_header(const BYTE* in);
    int buffer_element_count(size_t element_size);
    int read_data(void* dest, size_t count);
    CPakNode* append_child(const char* child_name, WORD node_type, WORD kind, const void* value, int size);

    friend class qcore::detail::ChildIndex;
    // The key this node is indexed under in its parent (its name, or a key kept aside).
    std::string_view index_key() const;

    // What most nodes lack: a directory's children, and data set in memory (set_data_buf).
    struct Extra {
        qcore::detail::ChildIndex children;
        std::unique_ptr<std::vector<BYTE>> data;
    };
    Extra& extra_part();

    char name[48] = {};
    int id = 0;
    int parent_id = 0;
    WORD type = NODE_DIR;
    WORD sub_type = 0;
    int length = 0;
    ULONGLONG data_pos = 0;
    CPakFile* pak_file = nullptr;
    std::unique_ptr<Extra> extra;
    // The data in memory, in the preloaded file or in extra->data; null while the data is only on disk.
    const BYTE* held_bytes = nullptr;
};

namespace qcore {

// Element kinds of a NODE_BUF node (its sub_type).
enum PakBufKind : WORD {
    buf_raw = 0,
    buf_chars = 1,
    buf_vec = 2,
    buf_face = 3,
    buf_uint32 = 4,
    buf_float2 = 5,
    buf_uint16 = 6,
    buf_float = 7,
};
// Element size of a kind in bytes, 0 for an unknown kind; and a short name ("vec", "face", ...).
int pak_element_size(WORD kind);
const char* pak_element_name(WORD kind);

// One damage found while reading a file: the offset of the record (or field) and what is wrong.
struct PakProblem {
    ULONGLONG offset;
    CString text;
};

// Opens like CPakFile::open and also lists every damage it works around, including the checks of each
// node's data (text fields without terminator, buffers that are not whole elements, wrong sizes).
// Damage is then left to the caller to report: open itself reports lost records in one LOG_ERROR entry
// (on the current core's log) and one message box.
int open_pak_file(CPakFile& file, const char* path, int preload, std::vector<PakProblem>* problems);

// What the last open of a damaged file lost (records cut off at its end, records without their
// directory), as one line of text; empty when nothing was lost.
CString pak_damage(const CPakFile& file);

namespace detail {
// Collects small writes into large ones; each flush appends at the end of the file.
class PakWriteBuffer {
public:
    void put(CFile& f, const void* bytes, size_t count);
    void flush(CFile& f);
    void clear() { buf_.clear(); }

private:
    std::vector<BYTE> buf_;
};

// Serves small reads from a window of the file, so that neighbouring headers and values cost one system
// call per window; large reads go straight to their destination.
class PakReadBuffer {
public:
    // Returns the bytes read: fewer than count only at the end of the file.
    size_t read(CFile& f, ULONGLONG pos, void* dest, size_t count);
    void clear();

private:
    ULONGLONG start_ = 0;
    size_t window_ = 0;
    std::vector<BYTE> buf_;
};
} // namespace detail

} // namespace qcore

class CPakFile {
public:
    CPakFile();
    virtual ~CPakFile();
    CPakFile(const CPakFile&) = delete;
    CPakFile& operator=(const CPakFile&) = delete;

    // Records are appended as nodes are created (buffered, flushed before any read and on close_file); a
    // file being written can be read back and saved with save_as as well.
    int create(const char* path);
    int open(const char* path, int preload);
    // Rewrites the whole tree in depth-first pre-order; the target is replaced only once it is complete.
    // With renumber_ids the nodes get ids 1, 2, ... in that order, so the same tree always gives the same
    // bytes whatever ids the process handed out.
    int save_as(const char* path, int renumber_ids = 0);
    void close_file();

    CPakNode* get_root() const { return root.get(); }
    CFile& get_f();
    CString get_full_filename() const;
    CPakNode* find_node_from_id(int id) const;

private:
    friend class CPakNode;
    friend int qcore::open_pak_file(CPakFile&, const char*, int, std::vector<qcore::PakProblem>*);
    friend CString qcore::pak_damage(const CPakFile&);

    void clear_all_nodes();
    int open_file(const char* path, int preload, std::vector<qcore::PakProblem>* problems);
    int append_record(CPakNode& node, const void* value, int size);
    void flush_writes();
    int read_at(ULONGLONG pos, void* dest, size_t count);
    void report_write_failure();
    // Reads the file into `preloaded`; returns the bytes read.
    ULONGLONG read_whole_file(ULONGLONG size);
    // Moves the data of the nodes (`bytes` in all) out of the preloaded file when that saves memory.
    void keep_only_data(size_t bytes);

    std::unique_ptr<CPakNode> root;
    CFile f;
    int writing = 0;
    ULONGLONG end_pos = 0;
    qcore::detail::PakWriteBuffer pending;
    qcore::detail::PakReadBuffer reads;
    CString damage;
    // A preloaded file in memory, which its nodes' data points into.
    std::vector<BYTE, qcore::detail::LargeNoInitAllocator<BYTE>> preloaded;
};
