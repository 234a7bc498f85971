// Module handles, the environment and the C runtime's checked functions.

#include "platform/win_api.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" HMODULE ProbeGetModule();
extern "C" int ProbeLoadString(unsigned id, char* buffer, int size);

namespace {

void InternalFunction() {}
const int kInternalData = 1;

HMODULE ModuleOf(const void* address, DWORD extra_flags = 0) {
    HMODULE module = reinterpret_cast<HMODULE>(0x1);
    BOOL ok = GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | extra_flags,
                                 static_cast<LPCSTR>(address), &module);
    EXPECT_EQ(ok != 0, module != nullptr);
    return module;
}

TEST(GetModuleHandleEx, FindsTheBinaryHoldingAnAddress) {
    HMODULE own = ModuleOf(reinterpret_cast<const void*>(&InternalFunction));
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(ModuleOf(&kInternalData, GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT), own);
    EXPECT_EQ(ModuleOf(reinterpret_cast<const void*>(&InternalFunction), GET_MODULE_HANDLE_EX_FLAG_PIN), own);
    HMODULE probe = ProbeGetModule();
    ASSERT_NE(probe, nullptr);
    EXPECT_NE(probe, own);
    EXPECT_EQ(ModuleOf(reinterpret_cast<const void*>(&ProbeLoadString)), probe);

    // Failures leave the handle null.
    EXPECT_EQ(ModuleOf(nullptr), nullptr);
    EXPECT_EQ(ModuleOf(reinterpret_cast<const void*>(0x10)), nullptr);
    HMODULE module = own;
    EXPECT_FALSE(GetModuleHandleExA(0, nullptr, &module));  // by name: not offered
    EXPECT_EQ(module, nullptr);
    module = own;
    EXPECT_FALSE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN |
                                        GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                    reinterpret_cast<LPCSTR>(&kInternalData), &module));
    EXPECT_EQ(module, nullptr);
    EXPECT_FALSE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | 0x100,
                                    reinterpret_cast<LPCSTR>(&kInternalData), &module));
    EXPECT_FALSE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                    reinterpret_cast<LPCSTR>(&kInternalData), nullptr));
}

TEST(GetModuleHandleEx, SharedLibraryLoadsItsOwnMessages) {
    char buffer[200];
    EXPECT_EQ(ProbeLoadString(107, buffer, 200), 25);
    EXPECT_STREQ(buffer, "Model and Options Display");
    EXPECT_EQ(ProbeLoadString(153, buffer, 200), 0);
    // The library's module handle names the library's table, not this program's.
    HMODULE own = ModuleOf(&kInternalData);
    EXPECT_EQ(LoadStringA(ProbeGetModule(), 107, buffer, 200), 0);
    EXPECT_EQ(LoadStringA(own, 107, buffer, 200), 25);
}

TEST(GetEnvironmentVariable, SizesAsOnWindows) {
    const char* name = "TARN_PLATFORM_TEST_VALUE";
    char buffer[512];
    unsetenv(name);
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, sizeof buffer), 0u);

    setenv(name, "abc", 1);
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, 4), 3u);
    EXPECT_STREQ(buffer, "abc");
    std::strcpy(buffer, "old");
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, 3), 4u);  // needs the terminator too
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetEnvironmentVariableA(name, nullptr, 0), 4u);

    const std::string long_value(300, 'L');
    setenv(name, long_value.c_str(), 1);
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, 256), 301u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, 301), 300u);
    EXPECT_EQ(std::string(buffer), long_value);

    setenv(name, "", 1);
    std::strcpy(buffer, "old");
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
    unsetenv(name);
    EXPECT_EQ(GetEnvironmentVariableA(nullptr, buffer, sizeof buffer), 0u);
}

struct Split {
    errno_t result;
    std::string drive, dir, fname, ext;
};

Split SplitPath(const char* path, size_t size = 64) {
    char drive[64] = "?", dir[64] = "?", fname[64] = "?", ext[64] = "?";
    errno_t result = _splitpath_s(path, drive, size, dir, size, fname, size, ext, size);
    return {result, drive, dir, fname, ext};
}

TEST(SplitPath, ComponentsAndErrors) {
    auto expect = [](const char* path, const char* drive, const char* dir, const char* fname, const char* ext) {
        Split s = SplitPath(path);
        EXPECT_EQ(s.result, 0) << path;
        EXPECT_EQ(s.drive, drive) << path;
        EXPECT_EQ(s.dir, dir) << path;
        EXPECT_EQ(s.fname, fname) << path;
        EXPECT_EQ(s.ext, ext) << path;
    };
    expect("run", "", "", "run", "");
    expect("dir/run", "", "dir/", "run", "");
    expect("/a/b/run.x", "", "/a/b/", "run", ".x");
    expect("C:\\dir\\run", "C:", "\\dir\\", "run", "");
    expect("/a.b/run", "", "/a.b/", "run", "");
    expect("runs/case.7.vdr", "", "runs/", "case.7", ".vdr");
    expect("dir/", "", "dir/", "", "");
    expect("", "", "", "", "");
    expect("1:x", "", "", "1:x", "");

    // Components not wanted are skipped.
    char dir[64];
    EXPECT_EQ(_splitpath_s("d/r.x", nullptr, 0, dir, sizeof dir, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(dir, "d/");

    // A component that does not fit empties every buffer.
    Split small = SplitPath("/a/b/run.x", 5);
    EXPECT_EQ(small.result, ERANGE);
    EXPECT_EQ(small.drive + small.dir + small.fname + small.ext, "");
    EXPECT_EQ(SplitPath("/a/run.x", 5).result, 0);  // "/a/" and "run" fit with terminators

    EXPECT_EQ(SplitPath(nullptr).result, EINVAL);
    char fname[64] = "?";
    EXPECT_EQ(_splitpath_s("run", nullptr, 3, nullptr, 0, fname, sizeof fname, nullptr, 0), EINVAL);
    EXPECT_STREQ(fname, "");
    EXPECT_EQ(_splitpath_s("run", nullptr, 0, dir, 0, fname, sizeof fname, nullptr, 0), EINVAL);
}

TEST(FileOpen, ResultsAndErrors) {
    char dir_template[] = "/tmp/tarn_platform_XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    const std::string dir = dir_template;
    const std::string file = dir + "/run.vdr";

    FILE* f = reinterpret_cast<FILE*>(0x1);
    EXPECT_EQ(fopen_s(&f, file.c_str(), "rb"), ENOENT);
    EXPECT_EQ(f, nullptr);

    f = reinterpret_cast<FILE*>(0x1);
    EXPECT_NE(fopen_s(&f, dir.c_str(), "r"), 0);  // a directory is no file
    EXPECT_EQ(f, nullptr);

    ASSERT_EQ(fopen_s(&f, file.c_str(), "w"), 0);
    ASSERT_NE(f, nullptr);
    std::fputs("data", f);
    std::fclose(f);
    ASSERT_EQ(fopen_s(&f, file.c_str(), "rb"), 0);
    char buffer[8] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, f), 4u);
    EXPECT_STREQ(buffer, "data");
    std::fclose(f);

    EXPECT_EQ(fopen_s(nullptr, file.c_str(), "r"), EINVAL);
    f = reinterpret_cast<FILE*>(0x1);
    EXPECT_EQ(fopen_s(&f, nullptr, "r"), EINVAL);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(fopen_s(&f, file.c_str(), nullptr), EINVAL);

    std::remove(file.c_str());
    rmdir(dir.c_str());
}

}  // namespace
