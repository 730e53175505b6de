#include "TestObjects.h"
#include "TestServer.h"

#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace
{

// {0D7C2A9B-55E1-4F0A-8C3B-1E2D3F405061}
constexpr CLSID CLSID_InProcess = { 0x0D7C2A9B, 0x55E1, 0x4F0A, { 0x8C, 0x3B, 0x1E, 0x2D, 0x3F, 0x40, 0x50, 0x61 } };
// {0D7C2A9B-55E1-4F0A-8C3B-1E2D3F405062}
constexpr CLSID CLSID_Unregistered = { 0x0D7C2A9B, 0x55E1, 0x4F0A, { 0x8C, 0x3B, 0x1E, 0x2D, 0x3F, 0x40, 0x50, 0x62 } };
// {0D7C2A9B-55E1-4F0A-8C3B-1E2D3F405063}
constexpr CLSID CLSID_MissingLibrary
    = { 0x0D7C2A9B, 0x55E1, 0x4F0A, { 0x8C, 0x3B, 0x1E, 0x2D, 0x3F, 0x40, 0x50, 0x63 } };
// {0D7C2A9B-55E1-4F0A-8C3B-1E2D3F405064}
constexpr CLSID CLSID_NoEntry = { 0x0D7C2A9B, 0x55E1, 0x4F0A, { 0x8C, 0x3B, 0x1E, 0x2D, 0x3F, 0x40, 0x50, 0x64 } };
// {0D7C2A9B-55E1-4F0A-8C3B-1E2D3F405065}
constexpr CLSID CLSID_NotALibrary = { 0x0D7C2A9B, 0x55E1, 0x4F0A, { 0x8C, 0x3B, 0x1E, 0x2D, 0x3F, 0x40, 0x50, 0x65 } };

class InProcessFactory : public vl::ComObject<IClassFactory>
{
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        ++created;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto instance = vl::ComPtr<IDispatch>::adopt(new RecordingDispatch);
        return instance->QueryInterface(iid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
    int created = 0;

protected:
    void* interfaceFor(REFIID iid) override
    {
        return iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    }
};

class ClassRegistryTest : public ComTest
{
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        char pattern[] = "/tmp/vlcomregXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
        vl::setClassRegistryFolder(m_folder.string());
    }
    void TearDown() override
    {
        vl::setClassRegistryFolder({});
        fs::remove_all(m_folder);
        ComTest::TearDown();
    }
    void writeRegistry(const std::string& name, const std::string& text) { std::ofstream(m_folder / name) << text; }
    static std::string line(const CLSID& clsid, const std::string& library)
    {
        return vl::guidToString(clsid) + " " + library + "\n";
    }

    fs::path m_folder;
};

TEST_F(ClassRegistryTest, RegisteredClassObjectComesFirst)
{
    auto factory = vl::ComPtr<InProcessFactory>::adopt(new InProcessFactory);
    DWORD cookie = 0;
    ASSERT_EQ(
        CoRegisterClassObject(CLSID_InProcess, factory->unknown(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
        S_OK);
    vl::ComPtr<IDispatch> object;
    EXPECT_EQ(CoCreateInstance(CLSID_InProcess, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                  object.voidOut()),
        S_OK);
    EXPECT_TRUE(object);
    EXPECT_EQ(factory->created, 1);
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
    EXPECT_EQ(CoCreateInstance(CLSID_InProcess, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.voidOut()),
        REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(object);
}

TEST_F(ClassRegistryTest, ObjectFromALibraryInTheRegistry)
{
    writeRegistry("test.classreg", "# test server\n\n" + line(CLSID_TestServerObject, VL_TEST_SERVER));
    vl::ComPtr<IDispatch> object;
    ASSERT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                  IID_IDispatch, object.voidOut()),
        S_OK);
    vl::Variant value = vl::Variant::fromDispatch(object.get());
    int32_t number = 0;
    EXPECT_EQ(value.toInt32(number), S_OK);
    EXPECT_EQ(number, 42);
}

TEST_F(ClassRegistryTest, RelativeLibraryNamesAreTakenInTheRegistryFolder)
{
    fs::create_symlink(VL_TEST_SERVER, m_folder / "server.so");
    writeRegistry("a.classreg",
        "garbage line\n" + vl::guidToString(CLSID_TestServerObject) + "   server.so   # the library beside the file\n");
    vl::ComPtr<IUnknown> object;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.voidOut()), S_OK);
    EXPECT_TRUE(object);
}

TEST_F(ClassRegistryTest, FailuresOfFindingAndLoading)
{
    writeRegistry("b.classreg",
        line(CLSID_MissingLibrary, "libnothere.so") + line(CLSID_NoEntry, VL_TEST_NOENTRY_SERVER)
            + line(CLSID_NotALibrary, "plain.txt"));
    std::ofstream(m_folder / "plain.txt") << "not a shared object";
    writeRegistry("ignored.txt", line(CLSID_Unregistered, VL_TEST_SERVER));

    const struct {
        const char* name;
        CLSID clsid;
        HRESULT expected;
        bool loaderText;
    } cases[] = {
        { "no registration", CLSID_Unregistered, REGDB_E_CLASSNOTREG, false },
        { "missing library", CLSID_MissingLibrary, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), true },
        { "not a library", CLSID_NotALibrary, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), true },
        { "no entry point", CLSID_NoEntry, CO_E_ERRORINDLL, true },
    };
    for (const auto& c : cases) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), c.expected)
            << c.name;
        EXPECT_EQ(object, nullptr) << c.name;
        if (c.loaderText) {
            EXPECT_FALSE(vl::lastClassLoadError().empty()) << c.name;
        }
    }
    EXPECT_EQ(
        vl::systemMessageText(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)), u"The specified module could not be found.");
}

TEST_F(ClassRegistryTest, FactoryFailurePassesOn)
{
    writeRegistry("test.classreg", line(CLSID_TestServerFailing, VL_TEST_SERVER));
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerFailing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        E_ACCESSDENIED);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ClassRegistryTest, AggregationIsRefused)
{
    writeRegistry("test.classreg", line(CLSID_TestServerObject, VL_TEST_SERVER));
    auto outer = vl::ComPtr<IDispatch>::adopt(new RecordingDispatch);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, outer.get(), CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ClassRegistryTest, NothingIsCreatedOnAnUninitialisedThread)
{
    writeRegistry("test.classreg", line(CLSID_TestServerObject, VL_TEST_SERVER));
    HRESULT answer = S_OK;
    std::thread other([&] {
        void* object = nullptr;
        answer = CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object);
    });
    other.join();
    EXPECT_EQ(answer, CO_E_NOTINITIALIZED);

    CoUninitialize();
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        CO_E_NOTINITIALIZED);
    DWORD cookie = 0;
    auto factory = vl::ComPtr<InProcessFactory>::adopt(new InProcessFactory);
    EXPECT_EQ(CoRegisterClassObject(CLSID_InProcess, factory->unknown(), CLSCTX_INPROC_SERVER, 0, &cookie),
        CO_E_NOTINITIALIZED);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
}

TEST_F(ClassRegistryTest, InitialisationIsCountedPerThread)
{
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    HRESULT first = E_FAIL;
    std::thread other([&] {
        first = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
    });
    other.join();
    EXPECT_EQ(first, S_OK);
}

TEST_F(ClassRegistryTest, DefaultFolderIsTheProgramFolder)
{
    vl::setClassRegistryFolder({});
    EXPECT_EQ(vl::classRegistryFolder(), fs::read_symlink("/proc/self/exe").parent_path().string());
    vl::setClassRegistryFolder(m_folder.string());
    EXPECT_EQ(vl::classRegistryFolder(), m_folder.string());
}

} // namespace
