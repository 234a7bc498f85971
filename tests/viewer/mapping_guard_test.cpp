// A memory map of a file that is truncated while mapped: reads past the new
// end raise SIGBUS unless the range is guarded.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "mapping_guard.h"
#include "report_reader.h"

namespace {

using tarnview::MappingGuard;

class TruncatedMap : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() / ("tarnview-guard-" + std::to_string(getpid()));
        descriptor_ = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(descriptor_, 0);
        size_ = 4 * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::string text(size_, 'x');
        ASSERT_EQ(write(descriptor_, text.data(), size_), static_cast<ssize_t>(size_));
        void* map = mmap(nullptr, size_, PROT_READ, MAP_SHARED, descriptor_, 0);
        ASSERT_NE(map, MAP_FAILED);
        data_ = static_cast<const char*>(map);
    }
    void TearDown() override {
        if (data_ != nullptr) munmap(const_cast<char*>(data_), size_);
        if (descriptor_ >= 0) close(descriptor_);
        std::filesystem::remove(path_);
    }
    void Truncate() { ASSERT_EQ(ftruncate(descriptor_, 0), 0); }

    std::filesystem::path path_;
    int descriptor_ = -1;
    std::size_t size_ = 0;
    const char* data_ = nullptr;
};

TEST_F(TruncatedMap, GuardedReadsFindZerosAndMarkTheRangeDamaged) {
    const MappingGuard guard(data_, size_);
    ASSERT_TRUE(guard.guarded());
    EXPECT_EQ(data_[size_ - 1], 'x');
    EXPECT_FALSE(guard.damaged());
    Truncate();
    EXPECT_EQ(data_[size_ - 1], '\0');
    EXPECT_EQ(data_[0], '\0');
    EXPECT_TRUE(guard.damaged());
}

TEST_F(TruncatedMap, UnguardedReadsStillRaiseTheSignal) {
    { const MappingGuard released(data_, size_); }
    Truncate();
    EXPECT_DEATH({ [[maybe_unused]] volatile char c = data_[size_ - 1]; }, "");
}

}  // namespace

namespace {

// Far more ranges than one block of the guard's table holds, all guarded at
// once: the last one still gets zeros in place of its lost page.
TEST_F(TruncatedMap, AnyNumberOfRangesIsGuarded) {
    std::vector<std::unique_ptr<MappingGuard>> others;
    static char elsewhere[5000];
    for (char& byte : elsewhere) others.push_back(std::make_unique<MappingGuard>(&byte, 1));
    const MappingGuard guard(data_, size_);
    ASSERT_TRUE(guard.guarded());
    Truncate();
    EXPECT_EQ(data_[size_ - 1], '\0');
    EXPECT_TRUE(guard.damaged());
}

// A report cut short between its mapping and its first read, at every kind
// of point (to nothing, within the first page, at a page's end, within the
// last page): opening it reads zeros where it lost its end instead of dying
// by SIGBUS, and so does every line read afterwards.
TEST(GuardedReport, IsGuardedFromItsFirstByteWhereverItIsCut) {
    const std::string source = std::string(TARN_SOURCE_DIR) + "/tests/report/golden/blending.log";
    const auto original = std::filesystem::file_size(source);
    const std::uintmax_t page = static_cast<std::uintmax_t>(sysconf(_SC_PAGESIZE));
    ASSERT_GT(original, 2 * page);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("tarnview-cut-" + std::to_string(getpid()) + ".log");
    for (const std::uintmax_t cut : {std::uintmax_t{0}, std::uintmax_t{1}, page, page + 1, original - 1}) {
        std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
        const auto report = tarnview::Report::Open(path, [&] { std::filesystem::resize_file(path, cut); });
        std::string copy;
        for (tarnview::LineNumber line = 0; line < report->LineCount(); ++line) report->ReadLine(line, copy);
        EXPECT_TRUE(cut >= page || report->Damaged()) << "cut at " << cut;
    }
    std::filesystem::remove(path);
}

}  // namespace
