// The report read in one pass over a memory map of the file.
#include "report_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "file_stamp.h"
#include "mapping_guard.h"
#include "markup.h"
#include "report_search.h"

namespace tarnview {

// The file's bytes: a memory map, or, where the file cannot be mapped (a
// file system without maps), a copy read into memory.
struct Report::Mapping {
    void* address = nullptr;
    std::size_t length = 0;
    std::string copy;

    ~Mapping() {
        if (address != nullptr) munmap(address, length);
    }
    std::string_view Bytes() const {
        return address != nullptr ? std::string_view(static_cast<const char*>(address), length)
                                  : std::string_view(copy);
    }
};

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& problem) {
    throw ReadError(path + ": " + problem);
}

std::string SystemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : m_descriptor(descriptor) {}
    ~FileDescriptor() {
        if (m_descriptor >= 0) close(m_descriptor);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

void ReadWhole(int descriptor, const std::string& path, std::string& into) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got == 0) return;
        if (got < 0) {
            if (errno == EINTR) continue;
            Fail(path, SystemError("cannot read"));
        }
        into.append(buffer, static_cast<std::size_t>(got));
    }
}

// Only a regular file is read: a device such as /dev/zero never ends and a
// named pipe may never answer.  It is opened without waiting (a FIFO put in
// the report's place would block the open) and refused by what it is.
std::unique_ptr<Report::Mapping> MapFile(const std::string& path) {
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat status {};
    if (file.get() < 0) {
        const std::string problem = SystemError("cannot open");
        // (A socket cannot be opened at all: say what it is.)
        if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
            Fail(path, std::string("is ") + KindOfFile(status.st_mode) + ", not a report");
        Fail(path, problem);
    }
    if (fstat(file.get(), &status) != 0) Fail(path, SystemError("cannot read its size"));
    if (!S_ISREG(status.st_mode)) Fail(path, std::string("is ") + KindOfFile(status.st_mode) + ", not a report");
    auto mapping = std::make_unique<Report::Mapping>();
    if (status.st_size > 0) {
        const std::size_t length = static_cast<std::size_t>(status.st_size);
        void* address = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.get(), 0);
        if (address != MAP_FAILED) {
            madvise(address, length, MADV_SEQUENTIAL);
            mapping->address = address;
            mapping->length = length;
            return mapping;
        }
    }
    ReadWhole(file.get(), path, mapping->copy);
    return mapping;
}

// The end of a line's text: before its LF, and before a CR that precedes
// the LF.
std::size_t TextEnd(std::string_view bytes, std::size_t start, std::size_t next) {
    std::size_t end = next;
    if (end > start && bytes[end - 1] == '\n') {
        --end;
        if (end > start && bytes[end - 1] == '\r') --end;
    }
    return end;
}

}  // namespace

// The one pass: every line's start, and for the lines that carry markup or
// lie where the report's parts are, what they are.  Plain lines elsewhere
// (most of a large report: table rows) cost one look at their first byte.
class Report::Scanner {
public:
    explicit Scanner(Report& report) : m_report(report) {}

    void Run() {
        const std::string_view bytes = m_report.m_bytes;
        const char* const begin = bytes.data();
        const std::size_t size = bytes.size();
        std::vector<std::uint64_t>& starts = m_report.m_lineStarts;
        starts.reserve(size / 64 + 2);
        std::size_t start = 0;
        LineNumber number = 0;
        while (start < size) {
            const void* newline = std::memchr(begin + start, '\n', size - start);
            const std::size_t next =
                newline != nullptr ? static_cast<std::size_t>(static_cast<const char*>(newline) - begin) + 1 : size;
            starts.push_back(start);
            const char first = begin[start];
            if (first == '?' || first == '#' || m_everyLine) {
                Look(bytes.substr(start, TextEnd(bytes, start, next) - start), number);
            }
            start = next;
            ++number;
        }
        starts.push_back(size);
        Finish(number);
    }

private:
    void Look(std::string_view line, LineNumber number) {
        const markup::Prefixed prefixed = markup::SplitPrefix(line);
        if (const auto start = markup::ReadRegionStart(prefixed.text)) {
            OpenRegion(*start, prefixed.colour, number);
        } else if (line == markup::kRegionEnd) {
            CloseRegion(number);
        } else if (prefixed.colour && markup::IsTableHeader(prefixed.text)) {
            OpenTable(prefixed.text, number);
        } else if (m_inSummary && !prefixed.colour) {
            if (auto row = markup::ReadSummaryRow(line, number)) m_report.m_summary.push_back(std::move(*row));
        } else if (m_inHeader && prefixed.colour) {
            markup::ReadHeaderFields(prefixed.text, m_report.m_header);
        }
    }

    void OpenRegion(const markup::RegionStart& start, std::optional<Colour> colour, LineNumber number) {
        CloseTable(number);
        std::vector<Region>& regions = m_report.m_regions;
        const int id = static_cast<int>(regions.size());
        markup::RegionName name = markup::NameRegion(start.level, start.title);
        Region region;
        region.title = std::move(name.title);
        region.level = start.level;
        region.colour = colour;
        region.line = number;
        region.kind = name.kind;
        if (!m_open.empty()) {
            region.parent = m_open.back();
            region.depth = regions[m_open.back()].depth + 1;
            regions[m_open.back()].children.push_back(id);
        }
        if (name.iterationBlock) {
            m_report.m_blocks.push_back({id, name.iteration, region.title});
            m_block = static_cast<int>(m_report.m_blocks.size()) - 1;
        }
        regions.push_back(std::move(region));
        m_open.push_back(id);
        UpdateState();
    }

    void CloseRegion(LineNumber number) {
        if (m_open.empty()) {
            m_report.m_strayEnds.push_back(number);
            return;
        }
        CloseTable(number);
        const int id = m_open.back();
        m_report.m_regions[id].end = number;
        if (m_report.m_regions[id].kind == RegionKind::kIteration) m_block = -1;
        m_open.pop_back();
        UpdateState();
    }

    // A header that repeats the open table's, in the same region, is a
    // repeated heading (long tables write theirs again every so many rows):
    // the table runs on across it.
    void OpenTable(std::string_view header, LineNumber number) {
        const TableKind kind = TableKindOfHeader(header);
        const int region = m_open.empty() ? kNoRegion : m_open.back();
        if (m_tableOpen && m_report.m_tables.back().kind == kind && m_report.m_tables.back().region == region) return;
        CloseTable(number);
        Table table;
        table.kind = kind;
        table.region = region;
        table.block = m_block;
        table.header = number;
        if (table.region != kNoRegion && m_report.m_regions[table.region].kind == RegionKind::kSection) {
            m_report.m_regions[table.region].kind = RegionKind::kTable;
        }
        m_report.m_tables.push_back(table);
        m_tableOpen = true;
    }

    void CloseTable(LineNumber number) {
        if (!m_tableOpen) return;
        m_report.m_tables.back().end = number;
        m_tableOpen = false;
    }

    // The parts read from every line of a region: the summary rows and the
    // header fields.
    void UpdateState() {
        const Region* innermost = m_open.empty() ? nullptr : &m_report.m_regions[m_open.back()];
        m_inSummary = innermost != nullptr && innermost->kind == RegionKind::kSummary;
        m_inHeader = innermost != nullptr && innermost->depth == 0 && innermost->title == "Model and Options Display";
        m_everyLine = m_inSummary || m_inHeader;
    }

    void Finish(LineNumber lineCount) {
        CloseTable(lineCount);
        m_report.m_endedEarly = !m_open.empty();
        for (int id : m_open) m_report.m_regions[id].end = lineCount;
    }

    Report& m_report;
    std::vector<int> m_open;  // the regions open, outermost first
    int m_block = -1;
    bool m_tableOpen = false;
    bool m_inSummary = false, m_inHeader = false, m_everyLine = false;
};

Report::~Report() { m_guard.reset(); }

bool Report::Damaged() const { return m_guard != nullptr && m_guard->damaged(); }

std::unique_ptr<Report> Report::Open(const std::string& path, const std::function<void()>& mapped) {
    std::unique_ptr<Report> report(new Report());
    report->m_mapping = MapFile(path);
    report->m_path = path;
    report->m_fileName = std::filesystem::path(path).filename().string();
    report->m_bytes = report->m_mapping->Bytes();
    if (report->m_mapping->address != nullptr)
        report->m_guard = std::make_unique<MappingGuard>(report->m_bytes.data(), report->m_bytes.size());
    if (mapped) mapped();
    Scanner(*report).Run();
    return report;
}

std::unique_ptr<Report> Report::FromText(std::string_view text, std::string fileName) {
    std::unique_ptr<Report> report(new Report());
    report->m_path = fileName;
    report->m_fileName = std::move(fileName);
    report->m_bytes = text;
    Scanner(*report).Run();
    return report;
}

std::optional<std::string> NotAReport(const Report& report) {
    constexpr std::string_view kNotice = "TARNReport execution report.";
    const std::string_view first = report.LineCount() == 0 ? std::string_view() : report.RawLine(0);
    const std::string_view start = report.Text().substr(0, kNotice.size());
    if (first.starts_with(kNotice) || kNotice.starts_with(start) || !report.Regions().empty() ||
        !report.StrayEnds().empty())
        return std::nullopt;
    const std::size_t text = report.Text().find_first_not_of(" \t\r\n");
    const bool json = text != std::string_view::npos && (report.Text()[text] == '{' || report.Text()[text] == '[');
    return report.Path() + ": not a report: expected a TARNReport execution report (BASE.log, written by tarnreport)" +
           (json ? "; this looks like run data (JSON): 'tarnreport BASE' writes its report" : "");
}

std::string_view Report::RawLine(LineNumber number) const {
    const std::size_t start = m_lineStarts[number];
    return m_bytes.substr(start, TextEnd(m_bytes, start, m_lineStarts[number + 1]) - start);
}

Line Report::LineAt(LineNumber number) const { return Classify(RawLine(number), number); }

Line Report::LineAt(LineNumber number, std::string& copy) const {
    copy.assign(RawLine(number));
    return Classify(copy, number);
}

Line Report::Classify(std::string_view raw, LineNumber number) const {
    const markup::Prefixed prefixed = markup::SplitPrefix(raw);
    Line line{prefixed.text, prefixed.colour, LineKind::kText};
    if (!raw.empty() && raw[0] != '?' && raw[0] != '#') return line;
    if (markup::ReadRegionStart(prefixed.text)) {
        line.kind = LineKind::kRegionStart;
    } else if (raw == markup::kRegionEnd) {
        line.kind = std::binary_search(m_strayEnds.begin(), m_strayEnds.end(), number) ? LineKind::kStrayEnd
                                                                                        : LineKind::kRegionEnd;
    }
    return line;
}

ShownLine Report::ReadLine(LineNumber number, std::string& copy) const {
    copy.assign(RawLine(number));
    const markup::Prefixed prefixed = markup::SplitPrefix(copy);
    ShownLine line{LineKind::kText, prefixed.colour, prefixed.text, std::nullopt};
    if (!copy.empty() && (copy[0] == '?' || copy[0] == '#')) {
        if (const auto start = markup::ReadRegionStart(prefixed.text)) {
            line.kind = LineKind::kRegionStart;
            line.text = start->title;
            return line;
        }
        if (copy == markup::kRegionEnd) {
            if (!std::binary_search(m_strayEnds.begin(), m_strayEnds.end(), number)) {
                line.kind = LineKind::kRegionEnd;
                line.text = {};
                return line;
            }
            line.kind = LineKind::kStrayEnd;
        }
    }
    if (line.kind != LineKind::kText || prefixed.colour || copy.empty()) return line;
    const Table* table = TableOfLine(number);
    if (table == nullptr || number <= table->header) return line;
    const std::string_view name = TableRowName(table->kind, copy);
    if (!name.empty()) line.row = RowName{name, NameKindOf(table->kind), table->kind};
    return line;
}

const NameSet& Report::Names() const {
    std::call_once(m_namesRead, [this] { m_names = std::make_unique<NameSet>(*this); });
    return *m_names;
}

std::optional<std::size_t> Report::BlockNumbered(int number) const {
    for (std::size_t block = 0; block < m_blocks.size(); ++block) {
        if (m_blocks[block].number == number) return block;
    }
    return std::nullopt;
}

LineNumber Report::LineOfOffset(std::uint64_t offset) const {
    const auto after = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end() - 1, offset);
    return static_cast<LineNumber>(after - m_lineStarts.begin()) - 1;
}

int Report::RegionOfLine(LineNumber number) const {
    const auto after = std::upper_bound(m_regions.begin(), m_regions.end(), number,
                                        [](LineNumber line, const Region& region) { return line < region.line; });
    int id = static_cast<int>(after - m_regions.begin()) - 1;
    while (id != kNoRegion && m_regions[id].end < number) id = m_regions[id].parent;
    return id;
}

bool Report::IsTableRow(const Table& table, LineNumber number) const {
    if (number <= table.header || number >= table.end) return false;
    const std::string_view raw = RawLine(number);
    return !raw.empty() && !markup::SplitPrefix(raw).colour && raw != markup::kRegionEnd &&
           !markup::ReadRegionStart(raw);
}

const Table* Report::TableOfLine(LineNumber number) const {
    const auto after = std::upper_bound(m_tables.begin(), m_tables.end(), number,
                                        [](LineNumber line, const Table& table) { return line < table.header; });
    if (after == m_tables.begin()) return nullptr;
    const Table& table = *(after - 1);
    return number < table.end ? &table : nullptr;
}

}  // namespace tarnview
