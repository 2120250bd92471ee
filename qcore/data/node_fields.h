#pragma once
// Quiet reads of optional children of a node-tree directory: a child that is missing or of another type
// reads as absent (false) without a message, so that readers of untrusted files decide what to do.
#include <qcore/data/pak_file.h>

#include <vector>

namespace qcore::detail {

// The child of that name when it has that node type, else null.
inline CPakNode* typed_child(CPakNode* dir, const char* name, WORD type) {
    CPakNode* child = dir ? dir->find(name) : nullptr;
    return child && child->get_node_type() == type ? child : nullptr;
}

// A fixed-size value (int, matrix, GUID, box, ...) of the given node type.
template <class T> bool read_field(CPakNode* dir, const char* name, WORD type, T& out) {
    CPakNode* child = typed_child(dir, name, type);
    if (!child || child->get_length() != static_cast<int>(sizeof(T))) return false;
    return child->get_data(type, &out) != 0;
}

// A buffer of whole elements; false (and an empty vector) when missing, of another type or unreadable.
template <class T> bool read_buffer(CPakNode* dir, const char* name, std::vector<T>& out) {
    out.clear();
    CPakNode* child = typed_child(dir, name, NODE_BUF);
    return child && child->get_buffer(out);
}

} // namespace qcore::detail
