// Modules, the environment, paths and files.

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

using platform::ModuleHandle;

extern "C" ModuleHandle ProbeGetModule();
extern "C" int ProbeLoadString(unsigned id, char* buffer, int size);

namespace {

void InternalFunction() {}
const int kInternalData = 1;

TEST(ModuleOf, FindsTheBinaryHoldingAnAddress) {
    ModuleHandle own = platform::ModuleOf(reinterpret_cast<const void*>(&InternalFunction));
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(platform::ModuleOf(&kInternalData), own);
    ModuleHandle probe = ProbeGetModule();
    ASSERT_NE(probe, nullptr);
    EXPECT_NE(probe, own);
    EXPECT_EQ(platform::ModuleOf(reinterpret_cast<const void*>(&ProbeLoadString)), probe);

    // Addresses in no module.
    EXPECT_EQ(platform::ModuleOf(nullptr), nullptr);
    EXPECT_EQ(platform::ModuleOf(reinterpret_cast<const void*>(0x10)), nullptr);
}

TEST(ModuleOf, SharedLibraryLoadsItsOwnMessages) {
    char buffer[200];
    EXPECT_EQ(ProbeLoadString(107, buffer, 200), 25);
    EXPECT_STREQ(buffer, "Model and Options Display");
    EXPECT_EQ(ProbeLoadString(153, buffer, 200), 0);
    // The library's module handle names the library's table, not this program's.
    ModuleHandle own = platform::ModuleOf(&kInternalData);
    EXPECT_EQ(platform::LoadMessageText(ProbeGetModule(), 107, buffer, 200), 0);
    EXPECT_EQ(platform::LoadMessageText(own, 107, buffer, 200), 25);
}

TEST(EnvironmentValue, UnsetEmptyAndLong) {
    const char* name = "TARN_PLATFORM_TEST_VALUE";
    unsetenv(name);
    EXPECT_FALSE(platform::EnvironmentValue(name).has_value());

    setenv(name, "abc", 1);
    EXPECT_EQ(platform::EnvironmentValue(name).value_or("<unset>"), "abc");

    const std::string long_value(300, 'L');
    setenv(name, long_value.c_str(), 1);
    EXPECT_EQ(platform::EnvironmentValue(name).value_or("<unset>"), long_value);

    setenv(name, "", 1);
    EXPECT_EQ(platform::EnvironmentValue(name).value_or(""), "");
    unsetenv(name);
    EXPECT_FALSE(platform::EnvironmentValue(nullptr).has_value());
    EXPECT_FALSE(platform::EnvironmentValue("").has_value());
}

TEST(DirectoryOf, DriveAndDirectory) {
    auto expect = [](const char* path, const char* directory) {
        EXPECT_EQ(platform::DirectoryOf(path), directory) << path;
    };
    expect("run", "");
    expect("dir/run", "dir/");
    expect("/a/b/run.x", "/a/b/");
    expect("C:\\dir\\run", "C:\\dir\\");
    expect("C:run", "C:");
    expect("/a.b/run", "/a.b/");
    expect("runs/case.7.vdr", "runs/");
    expect("dir/", "dir/");
    expect("", "");
    expect("1:x", "");
    expect("a\\b/c", "a\\b/");
    EXPECT_EQ(platform::DirectoryOf(nullptr), "");
    // A directory longer than any fixed buffer comes back whole.
    const std::string longDirectory(1000, 'd');
    EXPECT_EQ(platform::DirectoryOf((longDirectory + "/run").c_str()), longDirectory + "/");
}

TEST(OpenForReading, FilesDirectoriesAndMissing) {
    char dir_template[] = "/tmp/tarn_platform_XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    const std::string dir = dir_template;
    const std::string file = dir + "/run.vdr";

    // Why it failed, as an errno value: missing, a missing directory on the
    // way, a directory (which is no file).
    int error = 0;
    EXPECT_EQ(platform::OpenForReading(file.c_str(), &error), nullptr);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(platform::OpenForReading((file + "/x").c_str(), &error), nullptr);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(platform::OpenForReading(dir.c_str(), &error), nullptr);
    EXPECT_EQ(error, EISDIR);
    EXPECT_EQ(platform::OpenForReading(nullptr, &error), nullptr);
    EXPECT_EQ(error, EINVAL);
    EXPECT_EQ(platform::OpenForReading(file.c_str()), nullptr);  // the reason may be left out

    FILE* out = std::fopen(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs("data", out);
    std::fclose(out);
    platform::ReadFile in = platform::OpenForReading(file.c_str(), &error);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(error, 0);
    char buffer[8] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, in.get()), 4u);
    EXPECT_STREQ(buffer, "data");
    in.reset();

    std::remove(file.c_str());
    rmdir(dir.c_str());
}

}  // namespace
