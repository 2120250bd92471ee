#include <qcore/core/rs_man.h>
#include <qcore/platform/win32/message_box.h>

#include <cstring>

namespace {

constexpr int kRenderStates = 174;
constexpr int kStages = 4;
constexpr int kStageStates = 29;
constexpr int kStackLevels = 8;

const char* const kTooDeep = "capture 和 restore 的嵌套层数太多!";
const char* const kUnpaired = "capture 和 restore必须成对使用!";

bool valid_rs(int state) {
    return state >= 0 && state < kRenderStates;
}
bool valid_tss(int stage, int state) {
    return stage >= 0 && stage < kStages && state >= 0 && state < kStageStates;
}

// The shared rule of both stacks: push a copy of the cache, or refuse at the depth limit.
template <class T> int push(std::vector<T>& stack, int& depth, const T& current) {
    if (depth >= kStackLevels) {
        AfxMessageBox(kTooDeep, MB_OK, 0);
        return 0;
    }
    stack[static_cast<size_t>(depth)] = current;
    return ++depth;
}

// A matching handle gives the slot to restore; anything else (but 0 or less, which is ignored) is refused.
template <class T> const T* pop(const std::vector<T>& stack, int& depth, int handle) {
    if (handle <= 0) return nullptr;
    if (handle != depth) {
        AfxMessageBox(kUnpaired, MB_OK, 0);
        return nullptr;
    }
    --depth;
    return &stack[static_cast<size_t>(handle - 1)];
}

} // namespace

CRsMan::CRsMan(gCore* core)
    : CLocalObj(core), rs_stack(kStackLevels, RSTATE{}), tss_stack(kStackLevels, TSSTATE{}) {}

void CRsMan::init(IDirect3DDevice8* device) {
    dev = device;
    rs = RSTATE{};
    tss = TSSTATE{};
    if (!dev) return;
    for (int s = 0; s < kRenderStates; ++s)
        dev->GetRenderState(static_cast<D3DRENDERSTATETYPE>(s), &rs.v[s]);
    for (int stage = 0; stage < kStages; ++stage)
        for (int s = 1; s < kStageStates; ++s)
            dev->GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(s), &tss.v[stage][s]);
}

DWORD CRsMan::get_rs(int state) const {
    return valid_rs(state) ? rs.v[state] : 0;
}

DWORD CRsMan::set_rs(int state, DWORD value) {
    if (!valid_rs(state)) return 0;
    const DWORD old = rs.v[state];
    if (old == value) return old;
    // Without a device the cache alone changes; init reads the device's states anyway.
    if (dev) dev->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), value);
    rs.v[state] = value;
    return old;
}

DWORD CRsMan::get_tss(int stage, int state) const {
    return valid_tss(stage, state) ? tss.v[stage][state] : 0;
}

DWORD CRsMan::set_tss(int stage, int state, DWORD value) {
    if (!valid_tss(stage, state)) return 0;
    const DWORD old = tss.v[stage][state];
    if (old == value) return old;
    if (dev) dev->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(state), value);
    tss.v[stage][state] = value;
    return old;
}

void CRsMan::tss_color(int stage, DWORD op, DWORD arg1, DWORD arg2) {
    if (stage < 0 || stage >= kStages) return;
    set_tss(stage, D3DTSS_COLOROP, op);
    set_tss(stage, D3DTSS_COLORARG1, arg1);
    set_tss(stage, D3DTSS_COLORARG2, arg2);
}

void CRsMan::tss_alpha(int stage, DWORD op, DWORD arg1, DWORD arg2) {
    if (stage < 0 || stage >= kStages) return;
    set_tss(stage, D3DTSS_ALPHAOP, op);
    set_tss(stage, D3DTSS_ALPHAARG1, arg1);
    set_tss(stage, D3DTSS_ALPHAARG2, arg2);
}

void CRsMan::mipmap(int stage, TEX_FILTER_TYPE type) {
    if (stage < 0 || stage >= kStages) return;
    DWORD mip = 0, minmag = 0;
    switch (type) {
    case TEX_FILTER_POINT:
        mip = D3DTEXF_NONE;
        minmag = D3DTEXF_POINT;
        break;
    case TEX_FILTER_LINEAR:
        mip = D3DTEXF_NONE;
        minmag = D3DTEXF_LINEAR;
        break;
    case TEX_FILTER_LINEAR_MIPMAP:
        mip = D3DTEXF_LINEAR;
        minmag = D3DTEXF_LINEAR;
        break;
    default:
        return;
    }
    set_tss(stage, D3DTSS_MIPFILTER, mip);
    set_tss(stage, D3DTSS_MINFILTER, minmag);
    set_tss(stage, D3DTSS_MAGFILTER, minmag);
}

void CRsMan::restore_rs(const RSTATE* snapshot) {
    // 0 to 6 and 61 to 127 are not render states a snapshot may write.
    for (int s = 7; s <= 60; ++s)
        set_rs(s, snapshot->v[s]);
    for (int s = 128; s < kRenderStates; ++s)
        set_rs(s, snapshot->v[s]);
}

void CRsMan::restore_tss(const TSSTATE* snapshot) {
    for (int stage = 0; stage < kStages; ++stage)
        for (int s = 1; s < kStageStates; ++s)
            set_tss(stage, s, snapshot->v[stage][s]);
}

int CRsMan::capture_rs() {
    return push(rs_stack, rs_depth, rs);
}
int CRsMan::capture_tss() {
    return push(tss_stack, tss_depth, tss);
}

void CRsMan::restore_rs(int handle) {
    if (const RSTATE* slot = pop(rs_stack, rs_depth, handle)) restore_rs(slot);
}

void CRsMan::restore_tss(int handle) {
    if (const TSSTATE* slot = pop(tss_stack, tss_depth, handle)) restore_tss(slot);
}

void CRsMan::set_cur_state_as_standard() {
    std_rs = rs;
    std_tss = tss;
}

bool CRsMan::is_cur_state_same_with_standard() const {
    return std::memcmp(&rs, &std_rs, sizeof(rs)) == 0 && std::memcmp(&tss, &std_tss, sizeof(tss)) == 0;
}
