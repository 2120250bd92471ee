#pragma once
// Undo and redo of editing commands. Commands issued between an outermost begin_operation and its
// end_operation form one undo step; the manager owns every command and step it has accepted.
#include <qcore/platform/win32/cstring.h>

#include <deque>
#include <memory>
#include <vector>

class CCmd {
public:
    CCmd() = default;
    CCmd(const CCmd&) = delete;
    CCmd& operator=(const CCmd&) = delete;

    // Applies (or re-applies) the command; 0 means it failed and nothing changed.
    virtual int do_cmd() = 0;
    virtual void undo_cmd() = 0;
    virtual ~CCmd() = default;
};

class COperation {
public:
    explicit COperation(const char* op_name) : name(op_name) {}
    COperation(const COperation&) = delete;
    COperation& operator=(const COperation&) = delete;
    // Deletes the commands from the last issued to the first.
    virtual ~COperation();

    CString name;
    std::vector<std::unique_ptr<CCmd>> cmds;
};

class CUndoMan {
public:
    CUndoMan() : CUndoMan(32) {}
    explicit CUndoMan(int max_step) : max_undo_step(max_step) {}
    CUndoMan(const CUndoMan&) = delete;
    CUndoMan& operator=(const CUndoMan&) = delete;
    virtual ~CUndoMan();

    // Both return the new nesting depth; only the outermost pair makes an operation.
    int begin_operation(const char* name);
    int end_operation(int = 0);

    // Takes cmd when it returns 1 (and deletes it when do_cmd fails); a refused cmd stays the caller's.
    // With execute 0 the caller has already applied the change and only records it.
    int do_command(CCmd* cmd, int execute);

    void undo();
    void redo();
    int can_undo() const { return static_cast<int>(undo_list.size()); }
    int can_redo() const { return static_cast<int>(redo_list.size()); }

    // Drops all history (redo list first); depth and cur_op stay as they are.
    void clear();
    void set_max_undo_step(int max_step);
    int get_max_undo_step() const { return max_undo_step; }
    void enable(int on);
    int is_enable() const { return enabled; }

    // Oldest first, newest last.
    std::deque<std::unique_ptr<COperation>> undo_list;
    // The front is the operation undone last, the next to redo.
    std::deque<std::unique_ptr<COperation>> redo_list;
    std::unique_ptr<COperation> cur_op;
    int32_t max_undo_step = 32;
    int32_t enabled = 1;
    int32_t depth = 0;

protected:
    void clear_undo_list();
    void clear_redo_list();
};
