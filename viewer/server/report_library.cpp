#include "report_library.h"

#include <cstdarg>

namespace tarnview::server {

namespace {

// Files from this size on get progress lines.
constexpr std::uint64_t kBigFile = 64ull << 20;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

ServedReport::ServedReport(std::size_t id, int version, std::unique_ptr<Report> report)
    : id_(id), version_(version), report_(std::move(report)) {}

std::shared_ptr<const NameIndex> ServedReport::Index() const {
    std::lock_guard lock(indexMutex_);
    return index_;
}

void ServedReport::SetIndex(std::shared_ptr<const NameIndex> index) const {
    std::lock_guard lock(indexMutex_);
    index_ = std::move(index);
}

ReportLibrary::~ReportLibrary() { StopBackgroundWork(); }

void ReportLibrary::Say(const char* format, ...) const {
    if (progress_ == nullptr) return;
    std::va_list arguments;
    va_start(arguments, format);
    std::fputs("tarnview serve: ", progress_);
    std::vfprintf(progress_, format, arguments);
    std::fputc('\n', progress_);
    va_end(arguments);
}

std::unique_ptr<Report> ReportLibrary::Read(const std::string& path, std::string& error) const {
    const std::optional<FileStamp> stamp = StampOf(path);
    const bool big = stamp && static_cast<std::uint64_t>(stamp->size) >= kBigFile;
    if (big) Say("reading %s (%.1f MB)", path.c_str(), static_cast<double>(stamp->size) / 1e6);
    const Clock::time_point start = Clock::now();
    try {
        std::unique_ptr<Report> report = Report::Open(path);
        if (big)
            Say("read %s in %.2f s: %llu lines, %zu regions", path.c_str(), SecondsSince(start),
                static_cast<unsigned long long>(report->LineCount()), report->Regions().size());
        return report;
    } catch (const std::exception& failure) {
        error = failure.what();
        return nullptr;
    }
}

bool ReportLibrary::Open(const std::vector<std::string>& paths, std::string& error, std::FILE* progress) {
    progress_ = progress;
    for (const std::string& path : paths) {
        if (!AddSlot(path, error, false)) return false;
    }
    return true;
}

std::optional<std::size_t> ReportLibrary::Add(const std::string& path, std::string& error) {
    return AddSlot(path, error, true);
}

std::optional<std::size_t> ReportLibrary::AddSlot(const std::string& path, std::string& error, bool reuse) {
    const auto served = [&]() -> std::optional<std::size_t> {
        const auto found = idOfPath_.find(path);
        if (!reuse || found == idOfPath_.end()) return std::nullopt;
        return found->second;
    };
    {
        std::lock_guard lock(mutex_);
        if (const std::optional<std::size_t> id = served()) return id;
        if (reuse && slots_.size() >= kMaxAddedReports)
            return (error = path + ": not served: " + std::to_string(kMaxAddedReports) + " reports are", std::nullopt);
    }
    auto slot = std::make_unique<Slot>();
    slot->path = path;
    slot->loaded = StampOf(path).value_or(FileStamp{});
    std::unique_ptr<Report> report = Read(path, error);
    const std::optional<std::string> notAReport = report ? NotAReport(*report) : std::nullopt;
    if (!report || notAReport) return (error = notAReport.value_or(error), std::nullopt);
    std::lock_guard lock(mutex_);
    if (const std::optional<std::size_t> id = served()) return id;  // added meanwhile
    const std::size_t id = slots_.size();
    slot->current = std::make_shared<const ServedReport>(id, 1, std::move(report));
    slots_.push_back(std::move(slot));
    idOfPath_.try_emplace(path, id);
    return id;
}

std::optional<std::size_t> ReportLibrary::Served(const std::string& path) const {
    std::lock_guard lock(mutex_);
    const auto found = idOfPath_.find(path);
    return found == idOfPath_.end() ? std::nullopt : std::optional<std::size_t>(found->second);
}

std::size_t ReportLibrary::size() const {
    std::lock_guard lock(mutex_);
    return slots_.size();
}

ReportLibrary::Slot& ReportLibrary::SlotAt(std::size_t id) const {
    std::lock_guard lock(mutex_);
    return *slots_.at(id);
}

std::shared_ptr<const ServedReport> ReportLibrary::Current(std::size_t id) const {
    std::lock_guard lock(mutex_);
    return slots_.at(id)->current;
}

void ReportLibrary::Publish(Slot& slot, std::shared_ptr<const ServedReport> report) {
    {
        std::lock_guard lock(mutex_);
        slot.current = std::move(report);
    }
    changed_.notify_all();
}

void ReportLibrary::StartBackgroundWork(std::chrono::milliseconds interval) {
    if (worker_.joinable()) return;
    interval_ = interval;
    stopping_ = false;
    worker_ = std::thread([this] { BackgroundWork(); });
}

void ReportLibrary::StopBackgroundWork() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void ReportLibrary::BackgroundWork() {
    while (!stopping_) {
        IndexWhatNeedsIt();
        ReloadChangedFiles();
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, interval_, [this] { return stopping_.load(); });
    }
}

void ReportLibrary::IndexWhatNeedsIt() {
    for (std::size_t id = 0; id < size(); ++id) {
        const Slot& slot = SlotAt(id);
        const std::shared_ptr<const ServedReport> served = Current(id);
        if (stopping_ || served->Index()) continue;
        const Clock::time_point start = Clock::now();
        std::shared_ptr<const NameIndex> index = NameIndex::Build(served->report(), stopping_);
        if (!index) return;
        if (served->report().Bytes() >= kBigFile)
            Say("indexed %zu names of %s in %.2f s", index->NameCount(), slot.path.c_str(), SecondsSince(start));
        served->SetIndex(std::move(index));
        { std::lock_guard lock(mutex_); }  // a waiter is either before its check or waiting
        changed_.notify_all();
    }
}

// A file counts as written again when its state differs from the one read
// and has stayed the same for one interval (the writer is done).
void ReportLibrary::ReloadChangedFiles() {
    for (std::size_t id = 0; id < size(); ++id) {
        Slot& slot = SlotAt(id);
        if (stopping_) return;
        const std::optional<FileStamp> stamp = StampOf(slot.path);
        if (!stamp || *stamp == slot.loaded || stamp == slot.failed) {
            slot.changing.reset();
            continue;
        }
        if (slot.changing != stamp) {
            slot.changing = stamp;
            continue;
        }
        std::string error;
        std::unique_ptr<Report> report = Read(slot.path, error);
        if (!report) {
            Say("%s was written again but cannot be read: %s", slot.path.c_str(), error.c_str());
            slot.failed = stamp;
            continue;
        }
        const int version = Current(id)->version() + 1;
        Publish(slot, std::make_shared<const ServedReport>(id, version, std::move(report)));
        slot.loaded = *stamp;
        slot.changing.reset();
        Say("%s was written again: read it again (version %d)", slot.path.c_str(), version);
    }
}

bool ReportLibrary::WaitUntilIndexed(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] {
        for (const auto& slot : slots_) {
            if (!slot->current->Index()) return false;
        }
        return true;
    });
}

}  // namespace tarnview::server
