#include <qcore/platform/win32/error_names.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

namespace {

struct Known {
    uint32_t code;
    const char* name;
};

void expect_names(std::initializer_list<Known> cases) {
    for (const auto& c : cases) {
        const char* got = qcore::find_error_name(static_cast<long>(c.code));
        ASSERT_NE(got, nullptr) << std::hex << "0x" << c.code << " (" << c.name << ")";
        EXPECT_STREQ(got, c.name) << std::hex << "0x" << c.code;
    }
}

TEST(ErrorNames, ComCodes) {
    expect_names({
        {0x00000000u, "S_OK"},
        {0x00000001u, "S_FALSE"},
        {0x8000FFFFu, "E_UNEXPECTED"},
        {0x80004001u, "E_NOTIMPL"},
        {0x80004002u, "E_NOINTERFACE"},
        {0x80004003u, "E_POINTER"},
        {0x80004004u, "E_ABORT"},
        {0x80004005u, "E_FAIL"},
        {0x800401F0u, "CO_E_NOTINITIALIZED"},
        {0x80040154u, "REGDB_E_CLASSNOTREG"},
        {0x80040110u, "CLASS_E_NOAGGREGATION"},
    });
}

TEST(ErrorNames, GraphicsCodes) {
    expect_names({
        {0x8876086Cu, "D3DERR_INVALIDCALL"},
        {0x8876017Cu, "D3DERR_OUTOFVIDEOMEMORY"},
        {0x88760818u, "D3DERR_WRONGTEXTUREFORMAT"},
        {0x88760821u, "D3DERR_CONFLICTINGRENDERSTATE"},
        {0x88760827u, "D3DERR_DRIVERINTERNALERROR"},
        {0x88760866u, "D3DERR_NOTFOUND"},
        {0x88760867u, "D3DERR_MOREDATA"},
        {0x88760868u, "D3DERR_DEVICELOST"},
        {0x88760869u, "D3DERR_DEVICENOTRESET"},
        {0x8876086Au, "D3DERR_NOTAVAILABLE"},
        {0x8876086Du, "D3DERR_DRIVERINVALIDCALL"},
        {0x88760B54u, "D3DXERR_CANNOTMODIFYINDEXBUFFER"},
        {0x88760B55u, "D3DXERR_INVALIDMESH"},
        {0x88760B5Au, "D3DXERR_LOADEDMESHASNODATA"},
    });
}

TEST(ErrorNames, MediaCodes) {
    expect_names({
        {0x00040103u, "VFW_S_NO_MORE_ITEMS"},
        {0x80040200u, "VFW_E_INVALIDMEDIATYPE"},
        {0x80040209u, "VFW_E_NOT_CONNECTED"},
        {0x80040216u, "VFW_E_NOT_FOUND"},
        {0x80040218u, "VFW_E_CANNOT_RENDER"},
        {0x00040242u, "VFW_S_PARTIAL_RENDER"},
        {0x80040265u, "VFW_E_UNSUPPORTED_STREAM"},
        {0x8004029Au, "VFW_E_DVD_VMR9_INCOMPATIBLEDEC"},
        {0x800403F2u, "VFW_E_BAD_KEY"},
        // Same low word, told apart only by the severity bit.
        {0x8004022Du, "VFW_E_DUPLICATE_NAME"},
        {0x0004022Du, "VFW_S_DUPLICATE_NAME"},
        {0x80040259u, "VFW_E_RPZA"},
        {0x0004025Au, "VFW_S_RPZA"},
    });
}

TEST(ErrorNames, NetworkingCodes) {
    expect_names({
        {0x00158005u, "DPNSUCCESS_EQUAL"},
        {0x0015800Au, "DPNSUCCESS_NOTEQUAL"},
        {0x0015800Eu, "DPNSUCCESS_PENDING"},
        {0x80158030u, "DPNERR_ABORTED"},
        {0x80158050u, "DPNERR_ALREADYCLOSING"},
        {0x80158160u, "DPNERR_CONNECTIONLOST"},
        {0x80158260u, "DPNERR_HOSTREJECTEDCONNECTION"},
        {0x80158460u, "DPNERR_INVALIDVERSION"},
        {0x80158530u, "DPNERR_NOTHOST"},
        {0x80158630u, "DPNERR_TIMEDOUT"},
        {0x80158650u, "DPNERR_USERCANCEL"},
    });
}

TEST(ErrorNames, SystemErrorsAsPlainNumbersAndHresults) {
    expect_names({
        {2, "ERROR_FILE_NOT_FOUND"},
        {0x80070002u, "ERROR_FILE_NOT_FOUND"},
        {3, "ERROR_PATH_NOT_FOUND"},
        {0x80070003u, "ERROR_PATH_NOT_FOUND"},
        {5, "ERROR_ACCESS_DENIED"},
        {8, "ERROR_NOT_ENOUGH_MEMORY"},
        {0x80070008u, "ERROR_NOT_ENOUGH_MEMORY"},
        {122, "ERROR_INSUFFICIENT_BUFFER"},
        {0x8007007Au, "ERROR_INSUFFICIENT_BUFFER"},
        {1460, "ERROR_TIMEOUT"},
        {0x800705B4u, "ERROR_TIMEOUT"},
    });
}

// Where one number has several names, the more specific or more common one is reported.
TEST(ErrorNames, SharedNumbersPreferTheCommonName) {
    expect_names({
        {1, "S_FALSE"},                  // also ERROR_INVALID_FUNCTION
        {0x80004005u, "E_FAIL"},         // also DPNERR_GENERIC
        {0x80070005u, "E_ACCESSDENIED"}, // also HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)
        {0x80070006u, "E_HANDLE"},
        {0x8007000Eu, "E_OUTOFMEMORY"},
        {0x80070057u, "E_INVALIDARG"},
        {0x80070001u, "ERROR_INVALID_FUNCTION"},
    });
}

TEST(ErrorNames, SignedAndUnsignedSpellingsAgree) {
    const long as_hresult = static_cast<int32_t>(0x8876086Cu);
    ASSERT_LT(as_hresult, 0);
    EXPECT_STREQ(qcore::find_error_name(as_hresult), "D3DERR_INVALIDCALL");
    EXPECT_STREQ(qcore::find_error_name(0x8876086CL), "D3DERR_INVALIDCALL");
}

TEST(ErrorNames, UnknownCodesHaveNoName) {
    // Gaps inside the families (a graphics number below the first error, an unassigned media code, an
    // error number's success-severity twin) as well as numbers from nowhere.
    for (long code :
         {0x12345678L, 0x88760001L, 0x8007FFFFL, 0x0004024AL, 0x00158030L, 0x00158001L, -1L, 0xFFFFFFFFL}) {
        EXPECT_EQ(qcore::find_error_name(code), nullptr) << std::hex << code;
    }
}

TEST(ErrorNames, ValuesWiderThan32BitsAreNotCodes) {
    EXPECT_EQ(qcore::find_error_name(0x100000002L), nullptr);
    EXPECT_EQ(qcore::find_error_name(-0x80000001L), nullptr);
}

} // namespace
