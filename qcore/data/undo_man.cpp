#include <qcore/data/undo_man.h>

#include <qcore/platform/win32/message_box.h>

#include <algorithm>

namespace {

template <class List> void clear_from_back(List& list) {
    while (!list.empty())
        list.pop_back();
}

} // namespace

COperation::~COperation() {
    clear_from_back(cmds);
}

CUndoMan::~CUndoMan() {
    cur_op.reset();
    clear();
}

int CUndoMan::begin_operation(const char* name) {
    const int before = depth++;
    if (!enabled || before != 0) return depth;
    cur_op = std::make_unique<COperation>(name);
    return depth;
}

int CUndoMan::end_operation(int) {
    --depth;
    if (!enabled || depth != 0) return depth;
    if (!cur_op || cur_op->cmds.empty()) {
        cur_op.reset();
        return depth;
    }
    undo_list.push_back(std::move(cur_op));
    clear_redo_list();
    while (undo_list.size() > static_cast<size_t>(std::max(max_undo_step, 0)))
        undo_list.pop_front();
    return depth;
}

int CUndoMan::do_command(CCmd* cmd, int execute) {
    if (!cmd) return 0;
    if (enabled && !cur_op) {
        AfxMessageBox("do command前没有begin operation!");
        return 0;
    }
    std::unique_ptr<CCmd> owned(cmd);
    if (execute && !owned->do_cmd()) return 0;
    if (cur_op) cur_op->cmds.push_back(std::move(owned));
    return 1;
}

// The commands run while their operation is still on its list, so that they see the lists as they were;
// the operation moves afterwards.
void CUndoMan::undo() {
    if (undo_list.empty()) return;
    COperation* op = undo_list.back().get();
    for (auto it = op->cmds.rbegin(); it != op->cmds.rend(); ++it)
        (*it)->undo_cmd();
    if (undo_list.empty() || undo_list.back().get() != op) return;
    redo_list.push_front(std::move(undo_list.back()));
    undo_list.pop_back();
}

void CUndoMan::redo() {
    if (redo_list.empty()) return;
    COperation* op = redo_list.front().get();
    for (auto& cmd : op->cmds)
        cmd->do_cmd();
    if (redo_list.empty() || redo_list.front().get() != op) return;
    undo_list.push_back(std::move(redo_list.front()));
    redo_list.pop_front();
}

void CUndoMan::clear() {
    clear_redo_list();
    clear_undo_list();
}

void CUndoMan::clear_undo_list() {
    clear_from_back(undo_list);
}

void CUndoMan::clear_redo_list() {
    clear_from_back(redo_list);
}

void CUndoMan::set_max_undo_step(int max_step) {
    max_undo_step = max_step;
    clear();
}

void CUndoMan::enable(int on) {
    enabled = on;
    clear();
}
