#pragma once
// D3DX 8 texture and image-file functions: image information, textures created from files, surfaces
// loaded from surfaces, files or memory with scaling and format conversion, and textures saved to files.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/d3d8/d3dx/d3dx8core.h>

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY;

typedef struct _D3DXIMAGE_INFO {
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    D3DFORMAT Format;
    D3DRESOURCETYPE ResourceType;
    D3DXIMAGE_FILEFORMAT ImageFileFormat;
} D3DXIMAGE_INFO;

HRESULT D3DXGetImageInfoFromFileA(LPCSTR pSrcFile, D3DXIMAGE_INFO* pSrcInfo);
HRESULT D3DXGetImageInfoFromFileInMemory(LPCVOID pSrcData, UINT SrcDataSize, D3DXIMAGE_INFO* pSrcInfo);

HRESULT D3DXCheckTextureRequirements(IDirect3DDevice8* pDevice, UINT* pWidth, UINT* pHeight,
                                     UINT* pNumMipLevels, DWORD Usage, D3DFORMAT* pFormat, D3DPOOL Pool);
HRESULT D3DXCreateTexture(IDirect3DDevice8* pDevice, UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                          D3DFORMAT Format, D3DPOOL Pool, IDirect3DTexture8** ppTexture);

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice8* pDevice, LPCSTR pSrcFile, IDirect3DTexture8** ppTexture);
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice8* pDevice, LPCSTR pSrcFile, UINT Width, UINT Height,
                                     UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                     DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                     D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                     IDirect3DTexture8** ppTexture);
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                            UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                                            D3DFORMAT Format, D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                            D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                            PALETTEENTRY* pPalette, IDirect3DTexture8** ppTexture);

HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface8* pDestSurface, const PALETTEENTRY* pDestPalette,
                                   const RECT* pDestRect, IDirect3DSurface8* pSrcSurface,
                                   const PALETTEENTRY* pSrcPalette, const RECT* pSrcRect, DWORD Filter,
                                   D3DCOLOR ColorKey);
HRESULT D3DXLoadSurfaceFromFileA(IDirect3DSurface8* pDestSurface, const PALETTEENTRY* pDestPalette,
                                 const RECT* pDestRect, LPCSTR pSrcFile, const RECT* pSrcRect, DWORD Filter,
                                 D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo);
HRESULT D3DXLoadSurfaceFromFileInMemory(IDirect3DSurface8* pDestSurface, const PALETTEENTRY* pDestPalette,
                                        const RECT* pDestRect, LPCVOID pSrcData, UINT SrcDataSize,
                                        const RECT* pSrcRect, DWORD Filter, D3DCOLOR ColorKey,
                                        D3DXIMAGE_INFO* pSrcInfo);
HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface8* pDestSurface, const PALETTEENTRY* pDestPalette,
                                  const RECT* pDestRect, LPCVOID pSrcMemory, D3DFORMAT SrcFormat,
                                  UINT SrcPitch, const PALETTEENTRY* pSrcPalette, const RECT* pSrcRect,
                                  DWORD Filter, D3DCOLOR ColorKey);

// Rebuilds the levels below SrcLevel from it (D3DX_DEFAULT: level 0 with the box filter).
HRESULT D3DXFilterTexture(IDirect3DBaseTexture8* pBaseTexture, const PALETTEENTRY* pPalette, UINT SrcLevel,
                          DWORD Filter);

HRESULT D3DXSaveSurfaceToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                               IDirect3DSurface8* pSrcSurface, const PALETTEENTRY* pSrcPalette,
                               const RECT* pSrcRect);
HRESULT D3DXSaveTextureToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                               IDirect3DBaseTexture8* pSrcTexture, const PALETTEENTRY* pSrcPalette);

#define D3DXGetImageInfoFromFile D3DXGetImageInfoFromFileA
#define D3DXCreateTextureFromFile D3DXCreateTextureFromFileA
#define D3DXCreateTextureFromFileEx D3DXCreateTextureFromFileExA
#define D3DXLoadSurfaceFromFile D3DXLoadSurfaceFromFileA
#define D3DXSaveSurfaceToFile D3DXSaveSurfaceToFileA
#define D3DXSaveTextureToFile D3DXSaveTextureToFileA
