#pragma once
// Scoped views of an index or vertex buffer (of a device buffer or of a mesh): locked from construction to
// destruction or an explicit unlock, with typed access to the elements. They hold no reference: the
// caller keeps the buffer or mesh alive for the view's lifetime. A failed lock leaves p() null.
#include <qcore/geom/math3d.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/d3d8/d3dx/d3dx8mesh.h>

class CIbProxy {
public:
    explicit CIbProxy(ID3DXMesh* mesh);
    explicit CIbProxy(IDirect3DIndexBuffer8* ib);
    // A copy views the same locked data but does not own the lock: only the original unlocks.
    CIbProxy(const CIbProxy& o);
    CIbProxy& operator=(const CIbProxy& o);
    ~CIbProxy() { unlock(); }

    void lock();
    // Unlocks once; later calls do nothing.
    void unlock();

    BYTE* p() const { return data; }
    bool is32bit() const { return is32; }
    int get_face_count() const { return faces; }
    int is_locked() const { return locked; }
    // Index i widened to 32 bits; 0 outside the buffer or without data.
    DWORD get(int i) const;
    // Stores v (its low 16 bits in a 16-bit buffer); ignored outside the buffer or without data.
    void set(int i, DWORD v);

private:
    void Initialize();
    bool in_range(int i) const { return data && i >= 0 && i < faces * 3; }

    IDirect3DIndexBuffer8* ib = nullptr;
    ID3DXMesh* mesh = nullptr;
    BYTE* data = nullptr;
    bool is32 = false;
    int faces = 0;
    bool locked = false;
};

class CVbProxy {
public:
    explicit CVbProxy(ID3DXMesh* mesh);
    explicit CVbProxy(IDirect3DVertexBuffer8* vb);
    CVbProxy(const CVbProxy&) = delete;
    CVbProxy& operator=(const CVbProxy&) = delete;
    ~CVbProxy() { unlock(); }

    // True when the data is available.
    bool lock();
    bool unlock();

    BYTE* p() const { return data; }
    DWORD get_fvf() const { return fvf_code; }
    int get_fvf_size() const { return stride; }
    int get_ver_count() const { return count; }
    int is_locked() const { return locked; }

    // Element references of vertex i; valid only for elements the format has (offset not -1).
    VEC& Position(int i) const { return at<VEC>(i, 0); }
    float& W(int i) const { return at<float>(i, w_offset); }
    VEC& Normal(int i) const { return at<VEC>(i, normal_offset); }
    float& PointSize(int i) const { return at<float>(i, psize_offset); }
    DWORD& Diffuse(int i) const { return at<DWORD>(i, diffuse_offset); }
    DWORD& Specular(int i) const { return at<DWORD>(i, specular_offset); }
    D3DXVECTOR2& Tex1(int i) const { return at<D3DXVECTOR2>(i, tex_offset[0]); }
    D3DXVECTOR2& Tex2(int i) const { return at<D3DXVECTOR2>(i, tex_offset[1]); }
    D3DXVECTOR2& Tex3(int i) const { return at<D3DXVECTOR2>(i, tex_offset[2]); }
    D3DXVECTOR2& Tex4(int i) const { return at<D3DXVECTOR2>(i, tex_offset[3]); }

    int get_normal_offset() const { return normal_offset; }
    int get_diffuse_offset() const { return diffuse_offset; }
    int get_tex_offset(int set) const { return set >= 0 && set < 4 ? tex_offset[set] : -1; }
    int get_w_offset() const { return w_offset; }

private:
    void InitializeOffsets();
    template <class T> T& at(int i, int offset) const {
        return *reinterpret_cast<T*>(data + static_cast<size_t>(i) * static_cast<size_t>(stride) + offset);
    }

    IDirect3DVertexBuffer8* vb = nullptr;
    ID3DXMesh* mesh = nullptr;
    bool locked = false;
    BYTE* data = nullptr;
    int stride = 0;
    int count = 0;
    DWORD fvf_code = 0;
    int w_offset = -1, normal_offset = -1, psize_offset = -1, diffuse_offset = -1, specular_offset = -1;
    int tex_offset[4] = {-1, -1, -1, -1};
};
