#include <qcore/platform/win32/com_runtime.h>
#include <qcore/platform/win32/last_error.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

namespace {

constexpr CLSID kClsid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr IID kIidThing = {0x87654321, 0x4321, 0x8765, {8, 7, 6, 5, 4, 3, 2, 1}};

struct IThing : IUnknown {
    virtual int value() = 0;
};

class Thing final : public IThing {
public:
    static int alive;
    Thing() { ++alive; }
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == kIidThing) {
            *out = static_cast<IThing*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    int value() override { return 42; }

private:
    ~Thing() override { --alive; }
    ULONG refs_ = 1;
};
int Thing::alive = 0;

HRESULT make_thing(REFIID iid, void** out) {
    auto* thing = new Thing;
    HRESULT hr = thing->QueryInterface(iid, out);
    thing->Release();
    return hr;
}

TEST(ComRuntime, CreatesRegisteredClassesOnInitialisedThreads) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, kIidThing, &out), CO_E_NOTINITIALIZED);
    EXPECT_EQ(out, nullptr);

    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE); // nested
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, kIidThing, &out), REGDB_E_CLASSNOTREG);

    EXPECT_TRUE(qcore::register_com_class(kClsid, make_thing));
    ASSERT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, kIidThing, &out), S_OK);
    auto* thing = static_cast<IThing*>(out);
    EXPECT_EQ(thing->value(), 42);
    EXPECT_EQ(Thing::alive, 1);
    thing->Release();
    EXPECT_EQ(Thing::alive, 0);

    const IID other = {1, 2, 3, {0}};
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, other, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Thing::alive, 0); // the refused object did not leak
    EXPECT_EQ(
        CoCreateInstance(kClsid, reinterpret_cast<LPUNKNOWN>(thing), CLSCTX_INPROC_SERVER, kIidThing, &out),
        CLASS_E_NOAGGREGATION);

    // Another thread has its own apartment.
    HRESULT other_thread = S_OK;
    std::thread([&] {
        void* p = nullptr;
        other_thread = CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, kIidThing, &p);
    }).join();
    EXPECT_EQ(other_thread, CO_E_NOTINITIALIZED);

    EXPECT_FALSE(qcore::register_com_class(kClsid, nullptr));
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, kIidThing, &out), REGDB_E_CLASSNOTREG);
    CoUninitialize();
    CoUninitialize();
    CoUninitialize(); // an extra call does not go below zero
    EXPECT_EQ(qcore::com_init_depth(), 0);
}

TEST(ComRuntime, GuidsAreRandomVersionFour) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        GUID g{};
        ASSERT_EQ(CoCreateGuid(&g), S_OK);
        EXPECT_EQ(g.Data3 >> 12, 4);        // version 4
        EXPECT_EQ(g.Data4[0] & 0xC0, 0x80); // RFC 4122 variant
        seen.insert(std::string(reinterpret_cast<const char*>(&g), sizeof g));
    }
    EXPECT_EQ(seen.size(), 200u);
    EXPECT_EQ(CoCreateGuid(nullptr), E_INVALIDARG);
}

TEST(ComRuntime, WideTextConversionsFollowThePlatformSizingRules) {
    const char* text = "a\xE4\xB8\xAD\xF0\x9F\x98\x80";                 // a, U+4E2D, U+1F600
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), 5); // a, 中, surrogate pair, zero
    WCHAR wide[8] = {};
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 8), 5);
    EXPECT_EQ(wide[0], u'a');
    EXPECT_EQ(wide[1], 0x4E2D);
    EXPECT_EQ(wide[2], 0xD83D);
    EXPECT_EQ(wide[3], 0xDE00);
    EXPECT_EQ(wide[4], 0);

    char back[16] = {};
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, back, sizeof back, nullptr, nullptr), 9);
    EXPECT_STREQ(back, text);

    // Too small an output fails without writing past it; an explicit length has no terminator.
    WCHAR small[2] = {0x1111, 0x1111};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, small, 2), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", 2, small, 2), 2);

    // Invalid UTF-8: replaced, or refused on request; truncated sequences never read past the length.
    const char bad[] = {'x', static_cast<char>(0xE4), static_cast<char>(0xB8)};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, bad, 3, wide, 8), 2);
    EXPECT_EQ(wide[1], 0xFFFD);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bad, 3, wide, 8), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
    const WCHAR lone[] = {0xD800, u'b'};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, 2, back, sizeof back, nullptr, nullptr), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 8), 0);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", -1, wide, 8), 0);
}

TEST(ComRuntime, CriticalSectionsAreRecursiveAndExclusive) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs)); // the owner may enter again
    BOOL other = TRUE;
    std::thread([&] { other = TryEnterCriticalSection(&cs); }).join();
    EXPECT_FALSE(other);
    LeaveCriticalSection(&cs);
    LeaveCriticalSection(&cs);

    int counter = 0;
    auto work = [&] {
        for (int i = 0; i < 10000; ++i) {
            EnterCriticalSection(&cs);
            ++counter;
            LeaveCriticalSection(&cs);
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 20000);
    DeleteCriticalSection(&cs);
    DeleteCriticalSection(&cs); // harmless twice
}

} // namespace
