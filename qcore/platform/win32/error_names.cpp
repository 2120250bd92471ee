#include <qcore/platform/win32/error_names.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace qcore {
namespace {

struct ErrorName {
    uint32_t code;
    const char* name;
};

// A result code holds the severity in bit 31, the facility in bits 16..26 and the code in the low word.
constexpr uint32_t make_hresult(uint32_t severity, uint32_t facility, uint32_t code) {
    return severity << 31 | facility << 16 | code;
}

constexpr uint32_t kFacilityItf = 0x004;
constexpr uint32_t kFacilityWin32 = 0x007;
constexpr uint32_t kFacilityNetworking = 0x015;
constexpr uint32_t kFacilityGraphics = 0x876;

constexpr uint32_t d3d_error(uint32_t code) {
    return make_hresult(1, kFacilityGraphics, code);
}
constexpr uint32_t itf_error(uint32_t code) {
    return make_hresult(1, kFacilityItf, code);
}
constexpr uint32_t itf_success(uint32_t code) {
    return make_hresult(0, kFacilityItf, code);
}
// The networking codes sit 0x8000 above their published numbers.
constexpr uint32_t dpn_error(uint32_t code) {
    return make_hresult(1, kFacilityNetworking, 0x8000 + code);
}
constexpr uint32_t dpn_success(uint32_t code) {
    return make_hresult(0, kFacilityNetworking, 0x8000 + code);
}
constexpr uint32_t from_win32(uint32_t error) {
    return make_hresult(1, kFacilityWin32, error & 0xFFFF);
}

// The tables below are grouped by family. Several names share one number (ERROR_INVALID_FUNCTION and
// S_FALSE are both 1, DPNERR_GENERIC is E_FAIL, ...); the entry that comes first across the groups, in
// the order merge_groups() takes them, is the one reported.

constexpr ErrorName kCom[] = {
    {0x00000000u, "S_OK"},
    {0x00000001u, "S_FALSE"},
    {0x8000000Au, "E_PENDING"},
    {0x8000FFFFu, "E_UNEXPECTED"},
    {0x80004001u, "E_NOTIMPL"},
    {0x80004002u, "E_NOINTERFACE"},
    {0x80004003u, "E_POINTER"},
    {0x80004004u, "E_ABORT"},
    {0x80004005u, "E_FAIL"},
    {0x80010106u, "RPC_E_CHANGED_MODE"},
    {0x80040110u, "CLASS_E_NOAGGREGATION"},
    {0x80040111u, "CLASS_E_CLASSNOTAVAILABLE"},
    {0x80040154u, "REGDB_E_CLASSNOTREG"},
    {0x800401F0u, "CO_E_NOTINITIALIZED"},
    {0x800401F1u, "CO_E_ALREADYINITIALIZED"},
    {0x80070005u, "E_ACCESSDENIED"},
    {0x80070006u, "E_HANDLE"},
    {0x8007000Eu, "E_OUTOFMEMORY"},
    {0x80070057u, "E_INVALIDARG"},
};

constexpr ErrorName kGraphics[] = {
    {d3d_error(380), "D3DERR_OUTOFVIDEOMEMORY"},
    {d3d_error(2072), "D3DERR_WRONGTEXTUREFORMAT"},
    {d3d_error(2073), "D3DERR_UNSUPPORTEDCOLOROPERATION"},
    {d3d_error(2074), "D3DERR_UNSUPPORTEDCOLORARG"},
    {d3d_error(2075), "D3DERR_UNSUPPORTEDALPHAOPERATION"},
    {d3d_error(2076), "D3DERR_UNSUPPORTEDALPHAARG"},
    {d3d_error(2077), "D3DERR_TOOMANYOPERATIONS"},
    {d3d_error(2078), "D3DERR_CONFLICTINGTEXTUREFILTER"},
    {d3d_error(2079), "D3DERR_UNSUPPORTEDFACTORVALUE"},
    {d3d_error(2081), "D3DERR_CONFLICTINGRENDERSTATE"},
    {d3d_error(2082), "D3DERR_UNSUPPORTEDTEXTUREFILTER"},
    {d3d_error(2086), "D3DERR_CONFLICTINGTEXTUREPALETTE"},
    {d3d_error(2087), "D3DERR_DRIVERINTERNALERROR"},
    {d3d_error(2150), "D3DERR_NOTFOUND"},
    {d3d_error(2151), "D3DERR_MOREDATA"},
    {d3d_error(2152), "D3DERR_DEVICELOST"},
    {d3d_error(2153), "D3DERR_DEVICENOTRESET"},
    {d3d_error(2154), "D3DERR_NOTAVAILABLE"},
    {d3d_error(2155), "D3DERR_INVALIDDEVICE"},
    {d3d_error(2156), "D3DERR_INVALIDCALL"},
    {d3d_error(2157), "D3DERR_DRIVERINVALIDCALL"},
};

// The helper library's codes share the graphics facility, numbered from 2900.
constexpr ErrorName kGraphicsHelpers[] = {
    {d3d_error(2900), "D3DXERR_CANNOTMODIFYINDEXBUFFER"}, {d3d_error(2901), "D3DXERR_INVALIDMESH"},
    {d3d_error(2902), "D3DXERR_CANNOTATTRSORT"},          {d3d_error(2903), "D3DXERR_SKINNINGNOTSUPPORTED"},
    {d3d_error(2904), "D3DXERR_TOOMANYINFLUENCES"},       {d3d_error(2905), "D3DXERR_INVALIDDATA"},
    {d3d_error(2906), "D3DXERR_LOADEDMESHASNODATA"},
};

constexpr ErrorName kMedia[] = {
    {itf_success(0x103), "VFW_S_NO_MORE_ITEMS"},
    {itf_error(0x200), "VFW_E_INVALIDMEDIATYPE"},
    {itf_error(0x201), "VFW_E_INVALIDSUBTYPE"},
    {itf_error(0x202), "VFW_E_NEED_OWNER"},
    {itf_error(0x203), "VFW_E_ENUM_OUT_OF_SYNC"},
    {itf_error(0x204), "VFW_E_ALREADY_CONNECTED"},
    {itf_error(0x205), "VFW_E_FILTER_ACTIVE"},
    {itf_error(0x206), "VFW_E_NO_TYPES"},
    {itf_error(0x207), "VFW_E_NO_ACCEPTABLE_TYPES"},
    {itf_error(0x208), "VFW_E_INVALID_DIRECTION"},
    {itf_error(0x209), "VFW_E_NOT_CONNECTED"},
    {itf_error(0x20A), "VFW_E_NO_ALLOCATOR"},
    {itf_error(0x20B), "VFW_E_RUNTIME_ERROR"},
    {itf_error(0x20C), "VFW_E_BUFFER_NOTSET"},
    {itf_error(0x20D), "VFW_E_BUFFER_OVERFLOW"},
    {itf_error(0x20E), "VFW_E_BADALIGN"},
    {itf_error(0x20F), "VFW_E_ALREADY_COMMITTED"},
    {itf_error(0x210), "VFW_E_BUFFERS_OUTSTANDING"},
    {itf_error(0x211), "VFW_E_NOT_COMMITTED"},
    {itf_error(0x212), "VFW_E_SIZENOTSET"},
    {itf_error(0x213), "VFW_E_NO_CLOCK"},
    {itf_error(0x214), "VFW_E_NO_SINK"},
    {itf_error(0x215), "VFW_E_NO_INTERFACE"},
    {itf_error(0x216), "VFW_E_NOT_FOUND"},
    {itf_error(0x217), "VFW_E_CANNOT_CONNECT"},
    {itf_error(0x218), "VFW_E_CANNOT_RENDER"},
    {itf_error(0x219), "VFW_E_CHANGING_FORMAT"},
    {itf_error(0x21A), "VFW_E_NO_COLOR_KEY_SET"},
    {itf_error(0x21B), "VFW_E_NOT_OVERLAY_CONNECTION"},
    {itf_error(0x21C), "VFW_E_NOT_SAMPLE_CONNECTION"},
    {itf_error(0x21D), "VFW_E_PALETTE_SET"},
    {itf_error(0x21E), "VFW_E_COLOR_KEY_SET"},
    {itf_error(0x21F), "VFW_E_NO_COLOR_KEY_FOUND"},
    {itf_error(0x220), "VFW_E_NO_PALETTE_AVAILABLE"},
    {itf_error(0x221), "VFW_E_NO_DISPLAY_PALETTE"},
    {itf_error(0x222), "VFW_E_TOO_MANY_COLORS"},
    {itf_error(0x223), "VFW_E_STATE_CHANGED"},
    {itf_error(0x224), "VFW_E_NOT_STOPPED"},
    {itf_error(0x225), "VFW_E_NOT_PAUSED"},
    {itf_error(0x226), "VFW_E_NOT_RUNNING"},
    {itf_error(0x227), "VFW_E_WRONG_STATE"},
    {itf_error(0x228), "VFW_E_START_TIME_AFTER_END"},
    {itf_error(0x229), "VFW_E_INVALID_RECT"},
    {itf_error(0x22A), "VFW_E_TYPE_NOT_ACCEPTED"},
    {itf_error(0x22B), "VFW_E_SAMPLE_REJECTED"},
    {itf_error(0x22C), "VFW_E_SAMPLE_REJECTED_EOS"},
    {itf_error(0x22D), "VFW_E_DUPLICATE_NAME"},
    {itf_success(0x22D), "VFW_S_DUPLICATE_NAME"},
    {itf_error(0x22E), "VFW_E_TIMEOUT"},
    {itf_error(0x22F), "VFW_E_INVALID_FILE_FORMAT"},
    {itf_error(0x230), "VFW_E_ENUM_OUT_OF_RANGE"},
    {itf_error(0x231), "VFW_E_CIRCULAR_GRAPH"},
    {itf_error(0x232), "VFW_E_NOT_ALLOWED_TO_SAVE"},
    {itf_error(0x233), "VFW_E_TIME_ALREADY_PASSED"},
    {itf_error(0x234), "VFW_E_ALREADY_CANCELLED"},
    {itf_error(0x235), "VFW_E_CORRUPT_GRAPH_FILE"},
    {itf_error(0x236), "VFW_E_ADVISE_ALREADY_SET"},
    {itf_success(0x237), "VFW_S_STATE_INTERMEDIATE"},
    {itf_error(0x238), "VFW_E_NO_MODEX_AVAILABLE"},
    {itf_error(0x239), "VFW_E_NO_ADVISE_SET"},
    {itf_error(0x23A), "VFW_E_NO_FULLSCREEN"},
    {itf_error(0x23B), "VFW_E_IN_FULLSCREEN_MODE"},
    {itf_error(0x240), "VFW_E_UNKNOWN_FILE_TYPE"},
    {itf_error(0x241), "VFW_E_CANNOT_LOAD_SOURCE_FILTER"},
    {itf_success(0x242), "VFW_S_PARTIAL_RENDER"},
    {itf_error(0x243), "VFW_E_FILE_TOO_SHORT"},
    {itf_error(0x244), "VFW_E_INVALID_FILE_VERSION"},
    {itf_success(0x245), "VFW_S_SOME_DATA_IGNORED"},
    {itf_success(0x246), "VFW_S_CONNECTIONS_DEFERRED"},
    {itf_error(0x247), "VFW_E_INVALID_CLSID"},
    {itf_error(0x248), "VFW_E_INVALID_MEDIA_TYPE"},
    {itf_error(0x249), "VFW_E_SAMPLE_TIME_NOT_SET"},
    {itf_success(0x250), "VFW_S_RESOURCE_NOT_NEEDED"},
    {itf_error(0x251), "VFW_E_MEDIA_TIME_NOT_SET"},
    {itf_error(0x252), "VFW_E_NO_TIME_FORMAT_SET"},
    {itf_error(0x253), "VFW_E_MONO_AUDIO_HW"},
    {itf_success(0x254), "VFW_S_MEDIA_TYPE_IGNORED"},
    {itf_error(0x255), "VFW_E_NO_DECOMPRESSOR"},
    {itf_error(0x256), "VFW_E_NO_AUDIO_HARDWARE"},
    {itf_success(0x257), "VFW_S_VIDEO_NOT_RENDERED"},
    {itf_success(0x258), "VFW_S_AUDIO_NOT_RENDERED"},
    {itf_error(0x259), "VFW_E_RPZA"},
    {itf_success(0x25A), "VFW_S_RPZA"},
    {itf_error(0x25B), "VFW_E_PROCESSOR_NOT_SUITABLE"},
    {itf_error(0x25C), "VFW_E_UNSUPPORTED_AUDIO"},
    {itf_error(0x25D), "VFW_E_UNSUPPORTED_VIDEO"},
    {itf_error(0x25E), "VFW_E_MPEG_NOT_CONSTRAINED"},
    {itf_error(0x25F), "VFW_E_NOT_IN_GRAPH"},
    {itf_success(0x260), "VFW_S_ESTIMATED"},
    {itf_error(0x261), "VFW_E_NO_TIME_FORMAT"},
    {itf_error(0x262), "VFW_E_READ_ONLY"},
    {itf_success(0x263), "VFW_S_RESERVED"},
    {itf_error(0x264), "VFW_E_BUFFER_UNDERFLOW"},
    {itf_error(0x265), "VFW_E_UNSUPPORTED_STREAM"},
    {itf_error(0x266), "VFW_E_NO_TRANSPORT"},
    {itf_success(0x267), "VFW_S_STREAM_OFF"},
    {itf_success(0x268), "VFW_S_CANT_CUE"},
    {itf_error(0x269), "VFW_E_BAD_VIDEOCD"},
    {itf_success(0x270), "VFW_S_NO_STOP_TIME"},
    {itf_error(0x271), "VFW_E_OUT_OF_VIDEO_MEMORY"},
    {itf_error(0x272), "VFW_E_VP_NEGOTIATION_FAILED"},
    {itf_error(0x273), "VFW_E_DDRAW_CAPS_NOT_SUITABLE"},
    {itf_error(0x274), "VFW_E_NO_VP_HARDWARE"},
    {itf_error(0x275), "VFW_E_NO_CAPTURE_HARDWARE"},
    {itf_error(0x276), "VFW_E_DVD_OPERATION_INHIBITED"},
    {itf_error(0x277), "VFW_E_DVD_INVALIDDOMAIN"},
    {itf_error(0x278), "VFW_E_DVD_NO_BUTTON"},
    {itf_error(0x279), "VFW_E_DVD_GRAPHNOTREADY"},
    {itf_error(0x27A), "VFW_E_DVD_RENDERFAIL"},
    {itf_error(0x27B), "VFW_E_DVD_DECNOTENOUGH"},
    {itf_error(0x27C), "VFW_E_DDRAW_VERSION_NOT_SUITABLE"},
    {itf_error(0x27D), "VFW_E_COPYPROT_FAILED"},
    {itf_success(0x27E), "VFW_S_NOPREVIEWPIN"},
    {itf_error(0x27F), "VFW_E_TIME_EXPIRED"},
    {itf_success(0x280), "VFW_S_DVD_NON_ONE_SEQUENTIAL"},
    {itf_error(0x281), "VFW_E_DVD_WRONG_SPEED"},
    {itf_error(0x282), "VFW_E_DVD_MENU_DOES_NOT_EXIST"},
    {itf_error(0x283), "VFW_E_DVD_CMD_CANCELLED"},
    {itf_error(0x284), "VFW_E_DVD_STATE_WRONG_VERSION"},
    {itf_error(0x285), "VFW_E_DVD_STATE_CORRUPT"},
    {itf_error(0x286), "VFW_E_DVD_STATE_WRONG_DISC"},
    {itf_error(0x287), "VFW_E_DVD_INCOMPATIBLE_REGION"},
    {itf_error(0x288), "VFW_E_DVD_NO_ATTRIBUTES"},
    {itf_error(0x289), "VFW_E_DVD_NO_GOUP_PGC"},
    {itf_error(0x28A), "VFW_E_DVD_LOW_PARENTAL_LEVEL"},
    {itf_error(0x28B), "VFW_E_DVD_NOT_IN_KARAOKE_MODE"},
    {itf_success(0x28C), "VFW_S_DVD_CHANNEL_CONTENTS_NOT_AVAILABLE"},
    {itf_success(0x28D), "VFW_S_DVD_NOT_ACCURATE"},
    {itf_error(0x28E), "VFW_E_FRAME_STEP_UNSUPPORTED"},
    {itf_error(0x28F), "VFW_E_DVD_STREAM_DISABLED"},
    {itf_error(0x290), "VFW_E_DVD_TITLE_UNKNOWN"},
    {itf_error(0x291), "VFW_E_DVD_INVALID_DISC"},
    {itf_error(0x292), "VFW_E_DVD_NO_RESUME_INFORMATION"},
    {itf_error(0x293), "VFW_E_PIN_ALREADY_BLOCKED_ON_THIS_THREAD"},
    {itf_error(0x294), "VFW_E_PIN_ALREADY_BLOCKED"},
    {itf_error(0x295), "VFW_E_CERTIFICATION_FAILURE"},
    {itf_error(0x296), "VFW_E_VMR_NOT_IN_MIXER_MODE"},
    {itf_error(0x297), "VFW_E_VMR_NO_AP_SUPPLIED"},
    {itf_error(0x298), "VFW_E_VMR_NO_DEINTERLACE_HW"},
    {itf_error(0x299), "VFW_E_VMR_NO_PROCAMP_HW"},
    {itf_error(0x29A), "VFW_E_DVD_VMR9_INCOMPATIBLEDEC"},
    {itf_error(0x3F2), "VFW_E_BAD_KEY"},
};

// DPNERR_GENERIC, DPNERR_INVALIDPARAM, DPNERR_INVALIDPOINTER, DPNERR_NOINTERFACE, DPNERR_OUTOFMEMORY and
// DPNERR_UNSUPPORTED are the plain COM codes, and DPNERR_PENDING is DPNSUCCESS_PENDING; they are reported
// under those names.
constexpr ErrorName kNetworking[] = {
    {dpn_success(0x05), "DPNSUCCESS_EQUAL"},
    {dpn_success(0x0A), "DPNSUCCESS_NOTEQUAL"},
    {dpn_success(0x0E), "DPNSUCCESS_PENDING"},
    {dpn_error(0x030), "DPNERR_ABORTED"},
    {dpn_error(0x040), "DPNERR_ADDRESSING"},
    {dpn_error(0x050), "DPNERR_ALREADYCLOSING"},
    {dpn_error(0x060), "DPNERR_ALREADYCONNECTED"},
    {dpn_error(0x070), "DPNERR_ALREADYDISCONNECTING"},
    {dpn_error(0x080), "DPNERR_ALREADYINITIALIZED"},
    {dpn_error(0x090), "DPNERR_ALREADYREGISTERED"},
    {dpn_error(0x100), "DPNERR_BUFFERTOOSMALL"},
    {dpn_error(0x110), "DPNERR_CANNOTCANCEL"},
    {dpn_error(0x120), "DPNERR_CANTCREATEGROUP"},
    {dpn_error(0x130), "DPNERR_CANTCREATEPLAYER"},
    {dpn_error(0x140), "DPNERR_CANTLAUNCHAPPLICATION"},
    {dpn_error(0x150), "DPNERR_CONNECTING"},
    {dpn_error(0x160), "DPNERR_CONNECTIONLOST"},
    {dpn_error(0x170), "DPNERR_CONVERSION"},
    {dpn_error(0x180), "DPNERR_DOESNOTEXIST"},
    {dpn_error(0x190), "DPNERR_DUPLICATECOMMAND"},
    {dpn_error(0x200), "DPNERR_ENDPOINTNOTRECEIVING"},
    {dpn_error(0x210), "DPNERR_ENUMQUERYTOOLARGE"},
    {dpn_error(0x220), "DPNERR_ENUMRESPONSETOOLARGE"},
    {dpn_error(0x230), "DPNERR_EXCEPTION"},
    {dpn_error(0x240), "DPNERR_GROUPNOTEMPTY"},
    {dpn_error(0x250), "DPNERR_HOSTING"},
    {dpn_error(0x260), "DPNERR_HOSTREJECTEDCONNECTION"},
    {dpn_error(0x270), "DPNERR_HOSTTERMINATEDSESSION"},
    {dpn_error(0x280), "DPNERR_INCOMPLETEADDRESS"},
    {dpn_error(0x290), "DPNERR_INVALIDADDRESSFORMAT"},
    {dpn_error(0x300), "DPNERR_INVALIDAPPLICATION"},
    {dpn_error(0x310), "DPNERR_INVALIDCOMMAND"},
    {dpn_error(0x320), "DPNERR_INVALIDDEVICEADDRESS"},
    {dpn_error(0x330), "DPNERR_INVALIDENDPOINT"},
    {dpn_error(0x340), "DPNERR_INVALIDFLAGS"},
    {dpn_error(0x350), "DPNERR_INVALIDGROUP"},
    {dpn_error(0x360), "DPNERR_INVALIDHANDLE"},
    {dpn_error(0x370), "DPNERR_INVALIDHOSTADDRESS"},
    {dpn_error(0x380), "DPNERR_INVALIDINSTANCE"},
    {dpn_error(0x390), "DPNERR_INVALIDINTERFACE"},
    {dpn_error(0x400), "DPNERR_INVALIDOBJECT"},
    {dpn_error(0x410), "DPNERR_INVALIDPASSWORD"},
    {dpn_error(0x420), "DPNERR_INVALIDPLAYER"},
    {dpn_error(0x430), "DPNERR_INVALIDPRIORITY"},
    {dpn_error(0x440), "DPNERR_INVALIDSTRING"},
    {dpn_error(0x450), "DPNERR_INVALIDURL"},
    {dpn_error(0x460), "DPNERR_INVALIDVERSION"},
    {dpn_error(0x470), "DPNERR_NOCAPS"},
    {dpn_error(0x480), "DPNERR_NOCONNECTION"},
    {dpn_error(0x490), "DPNERR_NOHOSTPLAYER"},
    {dpn_error(0x500), "DPNERR_NOMOREADDRESSCOMPONENTS"},
    {dpn_error(0x510), "DPNERR_NORESPONSE"},
    {dpn_error(0x520), "DPNERR_NOTALLOWED"},
    {dpn_error(0x530), "DPNERR_NOTHOST"},
    {dpn_error(0x540), "DPNERR_NOTREADY"},
    {dpn_error(0x550), "DPNERR_NOTREGISTERED"},
    {dpn_error(0x560), "DPNERR_PLAYERALREADYINGROUP"},
    {dpn_error(0x570), "DPNERR_PLAYERLOST"},
    {dpn_error(0x580), "DPNERR_PLAYERNOTINGROUP"},
    {dpn_error(0x590), "DPNERR_PLAYERNOTREACHABLE"},
    {dpn_error(0x600), "DPNERR_SENDTOOLARGE"},
    {dpn_error(0x610), "DPNERR_SESSIONFULL"},
    {dpn_error(0x620), "DPNERR_TABLEFULL"},
    {dpn_error(0x630), "DPNERR_TIMEDOUT"},
    {dpn_error(0x640), "DPNERR_UNINITIALIZED"},
    {dpn_error(0x650), "DPNERR_USERCANCEL"},
};

// System error numbers as GetLastError returns them. Each is also entered in its HRESULT_FROM_WIN32
// form, unless a COM name above already covers that number.
constexpr ErrorName kWin32[] = {
    {1, "ERROR_INVALID_FUNCTION"},
    {2, "ERROR_FILE_NOT_FOUND"},
    {3, "ERROR_PATH_NOT_FOUND"},
    {4, "ERROR_TOO_MANY_OPEN_FILES"},
    {5, "ERROR_ACCESS_DENIED"},
    {6, "ERROR_INVALID_HANDLE"},
    {7, "ERROR_ARENA_TRASHED"},
    {8, "ERROR_NOT_ENOUGH_MEMORY"},
    {9, "ERROR_INVALID_BLOCK"},
    {10, "ERROR_BAD_ENVIRONMENT"},
    {11, "ERROR_BAD_FORMAT"},
    {12, "ERROR_INVALID_ACCESS"},
    {13, "ERROR_INVALID_DATA"},
    {14, "ERROR_OUTOFMEMORY"},
    {15, "ERROR_INVALID_DRIVE"},
    {16, "ERROR_CURRENT_DIRECTORY"},
    {17, "ERROR_NOT_SAME_DEVICE"},
    {18, "ERROR_NO_MORE_FILES"},
    {19, "ERROR_WRITE_PROTECT"},
    {20, "ERROR_BAD_UNIT"},
    {21, "ERROR_NOT_READY"},
    {22, "ERROR_BAD_COMMAND"},
    {23, "ERROR_CRC"},
    {24, "ERROR_BAD_LENGTH"},
    {25, "ERROR_SEEK"},
    {29, "ERROR_WRITE_FAULT"},
    {30, "ERROR_READ_FAULT"},
    {31, "ERROR_GEN_FAILURE"},
    {32, "ERROR_SHARING_VIOLATION"},
    {33, "ERROR_LOCK_VIOLATION"},
    {38, "ERROR_HANDLE_EOF"},
    {39, "ERROR_HANDLE_DISK_FULL"},
    {50, "ERROR_NOT_SUPPORTED"},
    {53, "ERROR_BAD_NETPATH"},
    {67, "ERROR_BAD_NET_NAME"},
    {80, "ERROR_FILE_EXISTS"},
    {82, "ERROR_CANNOT_MAKE"},
    {87, "ERROR_INVALID_PARAMETER"},
    {109, "ERROR_BROKEN_PIPE"},
    {110, "ERROR_OPEN_FAILED"},
    {111, "ERROR_BUFFER_OVERFLOW"},
    {112, "ERROR_DISK_FULL"},
    {120, "ERROR_CALL_NOT_IMPLEMENTED"},
    {122, "ERROR_INSUFFICIENT_BUFFER"},
    {123, "ERROR_INVALID_NAME"},
    {126, "ERROR_MOD_NOT_FOUND"},
    {127, "ERROR_PROC_NOT_FOUND"},
    {131, "ERROR_NEGATIVE_SEEK"},
    {145, "ERROR_DIR_NOT_EMPTY"},
    {161, "ERROR_BAD_PATHNAME"},
    {170, "ERROR_BUSY"},
    {183, "ERROR_ALREADY_EXISTS"},
    {193, "ERROR_BAD_EXE_FORMAT"},
    {203, "ERROR_ENVVAR_NOT_FOUND"},
    {206, "ERROR_FILENAME_EXCED_RANGE"},
    {234, "ERROR_MORE_DATA"},
    {258, "WAIT_TIMEOUT"},
    {259, "ERROR_NO_MORE_ITEMS"},
    {267, "ERROR_DIRECTORY"},
    {299, "ERROR_PARTIAL_COPY"},
    {487, "ERROR_INVALID_ADDRESS"},
    {995, "ERROR_OPERATION_ABORTED"},
    {996, "ERROR_IO_INCOMPLETE"},
    {997, "ERROR_IO_PENDING"},
    {998, "ERROR_NOACCESS"},
    {1114, "ERROR_DLL_INIT_FAILED"},
    {1168, "ERROR_NOT_FOUND"},
    {1223, "ERROR_CANCELLED"},
    {1400, "ERROR_INVALID_WINDOW_HANDLE"},
    {1401, "ERROR_INVALID_MENU_HANDLE"},
    {1402, "ERROR_INVALID_CURSOR_HANDLE"},
    {1407, "ERROR_CANNOT_FIND_WND_CLASS"},
    {1410, "ERROR_CLASS_ALREADY_EXISTS"},
    {1411, "ERROR_CLASS_DOES_NOT_EXIST"},
    {1413, "ERROR_INVALID_INDEX"},
    {1460, "ERROR_TIMEOUT"},
    {1812, "ERROR_RESOURCE_DATA_NOT_FOUND"},
    {1813, "ERROR_RESOURCE_TYPE_NOT_FOUND"},
    {1814, "ERROR_RESOURCE_NAME_NOT_FOUND"},
    {1815, "ERROR_RESOURCE_LANG_NOT_FOUND"},
};

constexpr size_t kEntryCount = std::size(kCom) + std::size(kGraphics) + std::size(kGraphicsHelpers) +
                               std::size(kMedia) + std::size(kNetworking) + 2 * std::size(kWin32);

// Every entry of every group in precedence order, sorted by code; among equal codes the earlier entry
// stays in front.
constexpr std::array<ErrorName, kEntryCount> merge_groups() {
    struct Ranked {
        ErrorName entry;
        size_t rank;
    };
    std::array<Ranked, kEntryCount> all{};
    size_t n = 0;
    auto add = [&](const ErrorName& e) {
        all[n] = {e, n};
        ++n;
    };
    auto add_group = [&](const auto& group) {
        for (const ErrorName& e : group)
            add(e);
    };
    add_group(kCom);
    add_group(kGraphics);
    add_group(kGraphicsHelpers);
    add_group(kMedia);
    add_group(kNetworking);
    add_group(kWin32);
    for (const ErrorName& e : kWin32)
        add({from_win32(e.code), e.name});
    std::sort(all.begin(), all.end(), [](const Ranked& a, const Ranked& b) {
        return a.entry.code != b.entry.code ? a.entry.code < b.entry.code : a.rank < b.rank;
    });
    std::array<ErrorName, kEntryCount> out{};
    for (size_t i = 0; i < kEntryCount; ++i)
        out[i] = all[i].entry;
    return out;
}

constexpr auto kMerged = merge_groups();

constexpr size_t count_distinct_codes() {
    size_t count = 0;
    for (size_t i = 0; i < kMerged.size(); ++i)
        if (i == 0 || kMerged[i].code != kMerged[i - 1].code) ++count;
    return count;
}

// One entry per code, ascending, so lookups can bisect.
constexpr auto build_names() {
    std::array<ErrorName, count_distinct_codes()> out{};
    size_t n = 0;
    for (size_t i = 0; i < kMerged.size(); ++i)
        if (i == 0 || kMerged[i].code != kMerged[i - 1].code) out[n++] = kMerged[i];
    return out;
}

constexpr auto kNames = build_names();

static_assert(std::adjacent_find(kNames.begin(), kNames.end(),
                                 [](const ErrorName& a, const ErrorName& b) { return a.code >= b.code; }) ==
                  kNames.end(),
              "codes must be strictly ascending");

constexpr const char* name_in_table(uint32_t code) {
    auto it = std::lower_bound(kNames.begin(), kNames.end(), code,
                               [](const ErrorName& e, uint32_t key) { return e.code < key; });
    return it != kNames.end() && it->code == code ? it->name : nullptr;
}

} // namespace

const char* find_error_name(long code) {
    // Accept both the signed HRESULT spelling and the unsigned DWORD one; anything wider is no code.
    if (code < std::numeric_limits<int32_t>::min() || code > static_cast<long>(UINT32_MAX)) return nullptr;
    return name_in_table(static_cast<uint32_t>(code));
}

} // namespace qcore
