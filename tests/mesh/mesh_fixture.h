#pragma once
// A software device with helpers that build small meshes, and an index buffer that records its locks.
#include <qcore/core/my_com.h>
#include <qcore/mesh/buffer_proxy.h>
#include <qcore/platform/d3d8/d3dx/d3dx8mesh.h>

#include "platform/d3d8/d3dx/device_fixture.h"

#include <vector>

namespace qcore::test {

class MeshTest : public D3dxDeviceTest {
protected:
    // A strip of `faces` triangles (i, i + 1, i + 2) over faces + 2 vertices with distinct positions; the
    // other elements are filled with bytes derived from the vertex number.
    CMyComPtr<ID3DXMesh> make_grid_mesh(DWORD fvf, bool is32, unsigned faces) {
        CMyComPtr<ID3DXMesh> mesh;
        const DWORD vertices = faces + 2;
        EXPECT_EQ(D3DXCreateMeshFVF(faces, vertices, D3DXMESH_MANAGED | (is32 ? D3DXMESH_32BIT : 0), fvf,
                                    device_, mesh.out()),
                  D3D_OK);
        if (!mesh) return mesh;
        BYTE* data = nullptr;
        mesh->LockVertexBuffer(0, &data);
        const UINT stride = D3DXGetFVFVertexSize(fvf);
        for (DWORD v = 0; v < vertices; ++v) {
            for (UINT b = 0; b < stride; ++b)
                data[v * stride + b] = static_cast<BYTE>(v * 7 + b);
            const VEC p(static_cast<float>(v / 2), static_cast<float>(v % 2), static_cast<float>(v) * 0.25f);
            std::memcpy(data + v * stride, &p, sizeof p);
        }
        mesh->UnlockVertexBuffer();
        CIbProxy ib(mesh.get());
        for (unsigned f = 0; f < faces; ++f)
            for (int k = 0; k < 3; ++k)
                ib.set(static_cast<int>(3 * f + k), f + static_cast<DWORD>(k));
        return mesh;
    }

    // An index buffer in plain memory that records how it is locked; it lives on the stack and is never
    // deleted through Release.
    struct FakeIndexBuffer : IDirect3DIndexBuffer8 {
        FakeIndexBuffer(size_t size, DWORD usage_) : bytes(size), usage(usage_) {}
        HRESULT QueryInterface(REFIID, void** out) override {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        ULONG AddRef() override { return ++refs; }
        ULONG Release() override { return --refs; }
        HRESULT GetDevice(IDirect3DDevice8**) override { return D3DERR_INVALIDCALL; }
        DWORD SetPriority(DWORD) override { return 0; }
        DWORD GetPriority() override { return 0; }
        void PreLoad() override {}
        D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
        HRESULT Lock(UINT, UINT, BYTE** data, DWORD flags) override {
            lock_flags = flags;
            if (fail_lock) return D3DERR_INVALIDCALL;
            // Discarding hands out fresh memory, as a real driver does.
            if (flags & D3DLOCK_DISCARD) std::fill(bytes.begin(), bytes.end(), BYTE(0xCD));
            *data = bytes.data();
            return D3D_OK;
        }
        HRESULT Unlock() override {
            ++unlocks;
            return D3D_OK;
        }
        HRESULT GetDesc(D3DINDEXBUFFER_DESC* d) override {
            *d = {D3DFMT_INDEX16, D3DRTYPE_INDEXBUFFER, usage, D3DPOOL_DEFAULT,
                  static_cast<UINT>(bytes.size())};
            return D3D_OK;
        }

        std::vector<BYTE> bytes;
        DWORD usage;
        ULONG refs = 1;
        DWORD lock_flags = 0;
        int unlocks = 0;
        bool fail_lock = false;
    };
};

} // namespace qcore::test
