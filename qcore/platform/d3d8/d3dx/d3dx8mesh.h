#pragma once
// D3DX 8 meshes: a vertex buffer and an index buffer of the device with one attribute per face, cloning
// between vertex formats, adjacency, optimisation, normals and the shape builders.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/d3d8/d3dx/d3dx8core.h>

enum _D3DXMESH {
    D3DXMESH_32BIT = 0x001,
    D3DXMESH_DONOTCLIP = 0x002,
    D3DXMESH_POINTS = 0x004,
    D3DXMESH_RTPATCHES = 0x008,
    D3DXMESH_NPATCHES = 0x4000,
    D3DXMESH_VB_SYSTEMMEM = 0x010,
    D3DXMESH_VB_MANAGED = 0x020,
    D3DXMESH_VB_WRITEONLY = 0x040,
    D3DXMESH_VB_DYNAMIC = 0x080,
    D3DXMESH_VB_SOFTWAREPROCESSING = 0x8000,
    D3DXMESH_IB_SYSTEMMEM = 0x100,
    D3DXMESH_IB_MANAGED = 0x200,
    D3DXMESH_IB_WRITEONLY = 0x400,
    D3DXMESH_IB_DYNAMIC = 0x800,
    D3DXMESH_IB_SOFTWAREPROCESSING = 0x10000,
    D3DXMESH_VB_SHARE = 0x1000,
    D3DXMESH_USEHWONLY = 0x2000,
    D3DXMESH_SYSTEMMEM = 0x110,
    D3DXMESH_MANAGED = 0x220,
    D3DXMESH_WRITEONLY = 0x440,
    D3DXMESH_DYNAMIC = 0x880,
    D3DXMESH_SOFTWAREPROCESSING = 0x18000,
};

enum _D3DXMESHOPT {
    D3DXMESHOPT_COMPACT = 0x01000000,
    D3DXMESHOPT_ATTRSORT = 0x02000000,
    D3DXMESHOPT_VERTEXCACHE = 0x04000000,
    D3DXMESHOPT_STRIPREORDER = 0x08000000,
    D3DXMESHOPT_IGNOREVERTS = 0x10000000,
    D3DXMESHOPT_SHAREVB = 0x1000,
};

typedef struct _D3DXATTRIBUTERANGE {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
} D3DXATTRIBUTERANGE;

// Interface identifiers of this implementation.
inline constexpr IID IID_ID3DXBuffer = {
    0x71a3a0c1, 0x5c1b, 0x4e0a, {0x9d, 0x41, 0x21, 0x0b, 0x6a, 0x13, 0x01, 0x01}};
inline constexpr IID IID_ID3DXBaseMesh = {
    0x71a3a0c1, 0x5c1b, 0x4e0a, {0x9d, 0x41, 0x21, 0x0b, 0x6a, 0x13, 0x01, 0x02}};
inline constexpr IID IID_ID3DXMesh = {
    0x71a3a0c1, 0x5c1b, 0x4e0a, {0x9d, 0x41, 0x21, 0x0b, 0x6a, 0x13, 0x01, 0x03}};

struct ID3DXBuffer : IUnknown {
    virtual LPVOID GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};

struct ID3DXMesh;

struct ID3DXBaseMesh : IUnknown {
    // Draws the faces of one attribute with the mesh's buffers and vertex format.
    virtual HRESULT DrawSubset(DWORD AttribId) = 0;
    virtual DWORD GetNumFaces() = 0;
    virtual DWORD GetNumVertices() = 0;
    virtual DWORD GetFVF() = 0;
    virtual DWORD GetOptions() = 0;
    virtual HRESULT GetDevice(IDirect3DDevice8** ppDevice) = 0;
    virtual HRESULT CloneMeshFVF(DWORD Options, DWORD FVF, IDirect3DDevice8* pDevice,
                                 ID3DXMesh** ppCloneMesh) = 0;
    virtual HRESULT GetVertexBuffer(IDirect3DVertexBuffer8** ppVB) = 0;
    virtual HRESULT GetIndexBuffer(IDirect3DIndexBuffer8** ppIB) = 0;
    virtual HRESULT LockVertexBuffer(DWORD Flags, BYTE** ppData) = 0;
    virtual HRESULT UnlockVertexBuffer() = 0;
    virtual HRESULT LockIndexBuffer(DWORD Flags, BYTE** ppData) = 0;
    virtual HRESULT UnlockIndexBuffer() = 0;
    virtual HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) = 0;
    virtual HRESULT GenerateAdjacency(FLOAT Epsilon, DWORD* pAdjacency) = 0;
};

struct ID3DXMesh : ID3DXBaseMesh {
    virtual HRESULT LockAttributeBuffer(DWORD Flags, DWORD** ppData) = 0;
    virtual HRESULT UnlockAttributeBuffer() = 0;
    virtual HRESULT Optimize(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                             ID3DXBuffer** ppVertexRemap, ID3DXMesh** ppOptMesh) = 0;
    virtual HRESULT OptimizeInplace(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut,
                                    DWORD* pFaceRemap, ID3DXBuffer** ppVertexRemap) = 0;
};

typedef ID3DXBuffer* LPD3DXBUFFER;
typedef ID3DXBaseMesh* LPD3DXBASEMESH;
typedef ID3DXMesh* LPD3DXMESH;

HRESULT D3DXCreateBuffer(DWORD NumBytes, ID3DXBuffer** ppBuffer);
UINT D3DXGetFVFVertexSize(DWORD FVF);
HRESULT D3DXCreateMeshFVF(DWORD NumFaces, DWORD NumVertices, DWORD Options, DWORD FVF,
                          IDirect3DDevice8* pDevice, ID3DXMesh** ppMesh);
HRESULT D3DXComputeNormals(ID3DXBaseMesh* pMesh, const DWORD* pAdjacency);

// Shapes in the managed pool with XYZ | NORMAL vertices; adjacency out is optional.
HRESULT D3DXCreateBox(IDirect3DDevice8* pDevice, FLOAT Width, FLOAT Height, FLOAT Depth, ID3DXMesh** ppMesh,
                      ID3DXBuffer** ppAdjacency);
HRESULT D3DXCreateSphere(IDirect3DDevice8* pDevice, FLOAT Radius, UINT Slices, UINT Stacks,
                         ID3DXMesh** ppMesh, ID3DXBuffer** ppAdjacency);
HRESULT D3DXCreateCylinder(IDirect3DDevice8* pDevice, FLOAT Radius1, FLOAT Radius2, FLOAT Length, UINT Slices,
                           UINT Stacks, ID3DXMesh** ppMesh, ID3DXBuffer** ppAdjacency);
HRESULT D3DXCreateTorus(IDirect3DDevice8* pDevice, FLOAT InnerRadius, FLOAT OuterRadius, UINT Sides,
                        UINT Rings, ID3DXMesh** ppMesh, ID3DXBuffer** ppAdjacency);
