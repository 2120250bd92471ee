#pragma once
// The options of a save that may copy textures: into which folder, whether as DDS files, which sections
// of materials.
#include <qcore/data/filefun.h>
#include <qcore/platform/win32/cstring.h>

#include <map>

class CSaveOpt {
public:
    // When 0, the running texture strategy takes the auto_size_factor it saved.
    int keep_current_settings = 1;
    // Copy each texture file into tex_path and store its bare file name.
    int copy_textures = 0;
    CString tex_path;
    // Instead of copying, write the loaded device texture as a DDS file into tex_path.
    int convert_to_dds = 0;
    // With copy_textures, copy only texture files that are loaded.
    int only_loaded_textures = 1;
    // Materials save every section, also those not in use.
    int save_all_sections = 1;
    // Answer state of the overwrite prompt, updated by the copies.
    file_overwrite_flag overwrite_state = FO_ASK;
    int reserved = 0;
    // The DDS files this save has written, by file name, with the source each came from: sources that share
    // a base name get distinct names instead of overwriting one another.
    std::map<CString, CString, qcore::NoCaseLess> dds_written;
};
