#pragma once
// The render-state manager: a mirror of the device's render states and of the texture-stage states of
// stages 0 to 3, so that redundant state changes never reach the device and drawing code can save and
// restore the states it changes (into snapshots, or onto an eight-level stack addressed by handles).
#include <qcore/core/core.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/texture/tex_filter.h>

#include <vector>

struct RSTATE {
    DWORD v[174];
};

struct TSSTATE {
    DWORD v[4][29];
};

class CRsMan : public CLocalObj {
public:
    explicit CRsMan(gCore* core);
    ~CRsMan() override = default;

    // Re-reads every state, since a reset puts the device back at its defaults.
    void v_on_restore_local_objects() override { init(dev); }
    void v_on_delete_local_objects() override {}

    void init(IDirect3DDevice8* device);

    DWORD get_rs(int state) const;
    DWORD set_rs(int state, DWORD value);
    DWORD get_tss(int stage, int state) const;
    DWORD set_tss(int stage, int state, DWORD value);
    void tss_color(int stage, DWORD op, DWORD arg1, DWORD arg2);
    void tss_alpha(int stage, DWORD op, DWORD arg1, DWORD arg2);
    void mipmap(int stage, TEX_FILTER_TYPE type);

    void capture_rs(RSTATE* snapshot) const { *snapshot = rs; }
    void capture_tss(TSSTATE* snapshot) const { *snapshot = tss; }
    void restore_rs(const RSTATE* snapshot);
    void restore_tss(const TSSTATE* snapshot);

    // Stack forms: a handle is the depth after the capture; 0 means the capture failed.
    int capture_rs();
    int capture_tss();
    void restore_rs(int handle);
    void restore_tss(int handle);

    void set_cur_state_as_standard();
    void apply_standard_rs() { restore_rs(&std_rs); }
    void apply_standard_tss() { restore_tss(&std_tss); }
    bool is_cur_state_same_with_standard() const;

    IDirect3DDevice8* dev = nullptr;
    RSTATE rs{};
    TSSTATE tss{};
    int rs_depth = 0;
    int tss_depth = 0;
    std::vector<RSTATE> rs_stack;
    std::vector<TSSTATE> tss_stack;
    RSTATE std_rs{};
    TSSTATE std_tss{};
};
