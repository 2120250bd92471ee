#include <qcore/data/undo_man.h>
#include <qcore/platform/win32/message_box.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every command writes what happens to it into a shared journal: "do a", "undo a", "del a".
using Journal = std::vector<std::string>;

class RecCmd : public CCmd {
public:
    RecCmd(Journal& journal, std::string name, int result = 1)
        : journal_(journal), name_(std::move(name)), result_(result) {}
    ~RecCmd() override { journal_.push_back("del " + name_); }
    int do_cmd() override {
        journal_.push_back("do " + name_);
        return result_;
    }
    void undo_cmd() override { journal_.push_back("undo " + name_); }

private:
    Journal& journal_;
    std::string name_;
    int result_;
};

// One finished operation holding the named commands, each executed as it is issued.
void record(CUndoMan& man, Journal& j, const char* op, std::initializer_list<const char*> cmds) {
    man.begin_operation(op);
    for (const char* c : cmds)
        ASSERT_EQ(man.do_command(new RecCmd(j, c), 1), 1);
    man.end_operation(0);
}

// One operation to undo ("a"), one to redo ("b"), and an open operation holding cmds; the journal is then
// cleared.
void make_history_and_open(CUndoMan& man, Journal& j, std::initializer_list<const char*> cmds) {
    record(man, j, "one", {"a"});
    record(man, j, "two", {"b"});
    man.undo();
    man.begin_operation("open");
    for (const char* c : cmds)
        man.do_command(new RecCmd(j, c), 1);
    j.clear();
}

TEST(UndoMan, Defaults) {
    CUndoMan man;
    EXPECT_EQ(man.get_max_undo_step(), 32);
    EXPECT_EQ(man.is_enable(), 1);
    EXPECT_EQ(man.depth, 0);
    EXPECT_EQ(man.cur_op, nullptr);
    EXPECT_EQ(CUndoMan(5).get_max_undo_step(), 5);
}

TEST(UndoMan, LimitDropsOldestOperationWithItsCommands) {
    Journal j;
    CUndoMan man(2);
    record(man, j, "one", {"a1", "a2"});
    record(man, j, "two", {"b"});
    j.clear();
    record(man, j, "three", {"c"});
    EXPECT_EQ(j, (Journal{"do c", "del a2", "del a1"}));
    ASSERT_EQ(man.can_undo(), 2);
    EXPECT_EQ(man.undo_list[0]->name, "two");
    EXPECT_EQ(man.undo_list[1]->name, "three");
}

TEST(UndoMan, NestedBracketsMakeOneOperation) {
    Journal j;
    CUndoMan man;
    EXPECT_EQ(man.begin_operation("outer"), 1);
    EXPECT_EQ(man.begin_operation("inner"), 2);
    EXPECT_EQ(man.do_command(new RecCmd(j, "a"), 1), 1);
    EXPECT_EQ(man.end_operation(0), 1);
    EXPECT_EQ(man.can_undo(), 0);
    EXPECT_EQ(man.do_command(new RecCmd(j, "b"), 1), 1);
    EXPECT_EQ(man.end_operation(0), 0);
    ASSERT_EQ(man.can_undo(), 1);
    EXPECT_EQ(man.undo_list.back()->name, "outer");
    EXPECT_EQ(man.undo_list.back()->cmds.size(), 2u);

    j.clear();
    man.undo();
    EXPECT_EQ(j, (Journal{"undo b", "undo a"}));
    man.clear();
    EXPECT_EQ(j, (Journal{"undo b", "undo a", "del b", "del a"}));
}

TEST(UndoMan, EmptyOperationIsNotRecordedAndKeepsRedo) {
    Journal j;
    CUndoMan man;
    record(man, j, "one", {"a"});
    man.undo();
    EXPECT_EQ(man.begin_operation("empty"), 1);
    EXPECT_EQ(man.end_operation(0), 0);
    EXPECT_EQ(man.cur_op, nullptr);
    EXPECT_EQ(man.can_undo(), 0);
    EXPECT_EQ(man.can_redo(), 1);
}

TEST(UndoMan, NewOperationEndsRedo) {
    Journal j;
    CUndoMan man;
    record(man, j, "one", {"a"});
    man.undo();
    j.clear();
    record(man, j, "two", {"b"});
    EXPECT_EQ(man.can_redo(), 0);
    EXPECT_EQ(j, (Journal{"do b", "del a"}));
}

TEST(UndoMan, RedoReappliesOlderUndoneOperationFirst) {
    Journal j;
    CUndoMan man;
    record(man, j, "one", {"a1", "a2"});
    record(man, j, "two", {"b"});
    man.undo();
    man.undo();
    ASSERT_EQ(man.can_redo(), 2);
    EXPECT_EQ(man.redo_list.front()->name, "one");
    j.clear();
    man.redo();
    EXPECT_EQ(j, (Journal{"do a1", "do a2"}));
    ASSERT_EQ(man.can_undo(), 1);
    EXPECT_EQ(man.undo_list.back()->name, "one");
    EXPECT_EQ(man.redo_list.front()->name, "two");
}

TEST(UndoMan, RedoIgnoresLimit) {
    Journal j;
    CUndoMan man(1);
    record(man, j, "one", {"a"});
    man.undo();
    record(man, j, "two", {"b"});
    man.undo();
    record(man, j, "three", {"c"});
    man.undo();
    man.redo();
    EXPECT_EQ(man.can_undo(), 1);
    // The limit only trims when an operation is finished.
    man.set_max_undo_step(1);
    EXPECT_EQ(man.can_undo(), 0);
}

TEST(UndoMan, UndoAndRedoOnEmptyListsDoNothing) {
    CUndoMan man;
    man.undo();
    man.redo();
    EXPECT_EQ(man.can_undo(), 0);
    EXPECT_EQ(man.can_redo(), 0);
}

TEST(UndoMan, CommandWithoutOperationIsRefusedAndStaysTheCallers) {
    qcore::MessageBoxRecorder boxes;
    Journal j;
    CUndoMan man;
    RecCmd cmd(j, "a");
    EXPECT_EQ(man.do_command(&cmd, 1), 0);
    EXPECT_TRUE(j.empty());
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"do command前没有begin operation!"}));
}

TEST(UndoMan, FailedCommandIsDeletedAndNotRecorded) {
    qcore::MessageBoxRecorder boxes;
    Journal j;
    CUndoMan man;
    man.begin_operation("op");
    EXPECT_EQ(man.do_command(new RecCmd(j, "bad", 0), 1), 0);
    EXPECT_EQ(j, (Journal{"do bad", "del bad"}));
    man.end_operation(0);
    EXPECT_EQ(man.can_undo(), 0);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST(UndoMan, RecordOnlyDoesNotExecute) {
    Journal j;
    CUndoMan man;
    man.begin_operation("op");
    EXPECT_EQ(man.do_command(new RecCmd(j, "a", 0), 0), 1);
    man.end_operation(0);
    EXPECT_TRUE(j.empty());
    EXPECT_EQ(man.can_undo(), 1);
}

TEST(UndoMan, DisabledRecordingAppliesAndDeletes) {
    qcore::MessageBoxRecorder boxes;
    Journal j;
    CUndoMan man;
    man.enable(0);
    EXPECT_EQ(man.begin_operation("op"), 1);
    EXPECT_EQ(man.cur_op, nullptr);
    EXPECT_EQ(man.do_command(new RecCmd(j, "a"), 1), 1);
    EXPECT_EQ(man.do_command(new RecCmd(j, "b", 0), 1), 0);
    EXPECT_EQ(man.end_operation(0), 0);
    EXPECT_EQ(j, (Journal{"do a", "del a", "do b", "del b"}));
    EXPECT_EQ(man.can_undo(), 0);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST(UndoMan, SwitchingAndLimitChangesDropHistoryButNotTheOpenOperation) {
    for (bool by_limit : {false, true}) {
        Journal j;
        CUndoMan man;
        make_history_and_open(man, j, {"c"});
        if (by_limit)
            man.set_max_undo_step(10);
        else
            man.enable(1);
        EXPECT_EQ(j, (Journal{"del b", "del a"}));
        EXPECT_EQ(man.can_undo() + man.can_redo(), 0);
        EXPECT_EQ(man.depth, 1);
        ASSERT_NE(man.cur_op, nullptr);
        EXPECT_EQ(man.end_operation(0), 0);
        EXPECT_EQ(man.can_undo(), 1);
    }
}

TEST(UndoMan, UnmatchedEndOperationBlocksTheNextOperation) {
    qcore::MessageBoxRecorder boxes;
    Journal j;
    CUndoMan man;
    EXPECT_EQ(man.end_operation(0), -1);
    EXPECT_EQ(man.begin_operation("op"), 0);
    EXPECT_EQ(man.cur_op, nullptr);
    RecCmd cmd(j, "a");
    EXPECT_EQ(man.do_command(&cmd, 1), 0);
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_EQ(man.end_operation(0), -1);
    EXPECT_EQ(man.can_undo(), 0);
    // Balanced pairs keep the depth below zero; only an extra begin_operation makes up for the stray end.
    man.begin_operation("x");
    EXPECT_EQ(man.end_operation(0), -1);
    EXPECT_EQ(man.begin_operation("extra"), 0);
    EXPECT_EQ(man.begin_operation("y"), 1);
    EXPECT_NE(man.cur_op, nullptr);
}

TEST(UndoMan, DestructorDeletesOpenOperationThenRedoThenUndo) {
    Journal j;
    {
        CUndoMan man;
        make_history_and_open(man, j, {"c1", "c2"});
    }
    EXPECT_EQ(j, (Journal{"del c2", "del c1", "del b", "del a"}));
}

} // namespace

namespace {

// A command that notes how many steps the manager offers while it runs.
class CountingCmd : public CCmd {
public:
    CountingCmd(CUndoMan& man, std::vector<int>& seen) : man_(man), seen_(seen) {}
    int do_cmd() override {
        seen_.push_back(man_.can_undo() * 10 + man_.can_redo());
        return 1;
    }
    void undo_cmd() override { seen_.push_back(man_.can_undo() * 10 + man_.can_redo()); }

private:
    CUndoMan& man_;
    std::vector<int>& seen_;
};

TEST(UndoMan, CommandsRunBeforeTheirOperationMoves) {
    CUndoMan man;
    std::vector<int> seen;
    man.begin_operation("op");
    man.do_command(new CountingCmd(man, seen), 0);
    man.end_operation(0);
    man.undo();
    man.redo();
    // During undo the operation is still to undo (1, 0); during redo still to redo (0, 1).
    EXPECT_EQ(seen, (std::vector<int>{10, 1}));
    EXPECT_EQ(man.can_undo(), 1);
    EXPECT_EQ(man.can_redo(), 0);
}

} // namespace
