// tarnview show: the report in the terminal, its markup turned into
// colours and region titles, regions folded below a depth.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "cli_support.h"
#include "word_finder.h"
#include "commands.h"
#include "palette.h"

const char kShowHelp[] =
    "usage: tarnview show REPORT.log [--depth N] [--iteration N|initial] [--region TITLE | --region-containing TEXT]\n"
    "                     [--plain] [--color WHEN] [--no-pager]\n"
    "\n"
    "The report with its colour prefixes shown as colours and its regions as\n"
    "titles (region end lines are left out).  Colours keep their hue but are\n"
    "brought to a brightness readable on dark and light backgrounds: 24-bit\n"
    "where COLORTERM is truecolor or 24bit, 256 colours otherwise, none when\n"
    "NO_COLOR is set.  On a terminal the view goes through $PAGER (default\n"
    "'less -R'; an empty PAGER means none).\n"
    "\n"
    "  --depth N      fold regions nested deeper than N (0: fold the top-level\n"
    "                 regions, or those chosen with --region) into one title\n"
    "                 line with their line count\n"
    "  --iteration N  only the iteration block N as the summary numbers it\n"
    "                 ('initial' or -1: the initial conditions)\n"
    "  --region TITLE only the regions titled TITLE, the whole title in any\n"
    "                 case; each inside an iteration block says which\n"
    "                 (e.g. --region \"Variable Details\"; with --iteration,\n"
    "                 those of that block)\n"
    "  --region-containing TEXT\n"
    "                 only the regions whose title contains TEXT (in any\n"
    "                 case); a title not found gets suggestions\n"
    "  --plain        the text without markup and without colour\n"
    "  --color WHEN   auto (default: on a terminal), always or never\n"
    "  --no-pager     write straight to standard output\n"
    "  --help         show this text\n";

namespace {

struct ShowOptions {
    std::string path;
    std::optional<int> depth;
    std::optional<std::string> region;
    std::optional<std::string> regionPart;
    std::optional<int> iteration;
    bool plain = false;
    std::string colour = "auto";  // auto, always or never
    bool noPager = false;
};

constexpr const char* kReset = "\x1b[0m";
constexpr const char* kBold = "\x1b[1m";
constexpr const char* kDim = "\x1b[2m";

// Writes the chosen lines, one region title or text line at a time.
class View {
public:
    View(const tarnview::Report& report, const ShowOptions& options, ColourDepth depth, FILE* out)
        : m_report(report), m_options(options), m_depth(depth), m_out(out) {}

    // Lines [begin, end); regions fold when nested more than the depth
    // option below `baseDepth`.
    // `from`: said after the first title (the iteration block a chosen
    // region is from).
    void WriteSpan(tarnview::LineNumber begin, tarnview::LineNumber end, int baseDepth, std::string from = {}) {
        m_from = std::move(from);
        std::string copy;
        for (tarnview::LineNumber number = begin; number < end && !std::ferror(m_out); ++number) {
            const tarnview::ShownLine line = m_report.ReadLine(number, copy);
            if (line.kind == tarnview::LineKind::kRegionEnd) continue;
            if (line.kind != tarnview::LineKind::kRegionStart) {
                WriteText(line);
                continue;
            }
            const tarnview::Region& region = m_report.Regions()[m_report.RegionOfLine(number)];
            const std::string_view title = line.text;
            if (m_options.depth && region.depth - baseDepth >= *m_options.depth) {
                WriteTitle(region, title, true);
                number = region.end;
            } else {
                WriteTitle(region, title, false);
            }
        }
    }

    void WriteEndedEarlyNote() {
        std::string note = "(the report ended early: regions were still open at its end)";
        if (m_depth == ColourDepth::kNone) {
            Put(note);
        } else {
            Put(ColourEscape(tarnview::Colour{255, 0, 0}) + note + kReset);
        }
        Put("\n");
    }

private:
    void WriteText(const tarnview::ShownLine& line) {
        if (line.colour && m_depth != ColourDepth::kNone) {
            Put(ColourEscape(*line.colour));
            PutVisible(line.text);
            Put(kReset);
        } else {
            PutVisible(line.text);
        }
        Put("\n");
    }

    void WriteTitle(const tarnview::Region& region, std::string_view title, bool folded) {
        const std::string count = " (" + Counted(region.InnerLineCount(), "line", "lines") + ")";
        if (m_depth == ColourDepth::kNone) {
            if (!m_options.plain) Put(folded ? "+ " : "- ");
            PutVisible(title);
            PutFrom();
            if (folded) Put(count);
        } else {
            Put(kBold);
            if (region.colour) Put(ColourEscape(*region.colour));
            Put(folded ? "\xe2\x96\xb8 " : "\xe2\x96\xbe ");  // ▸ folded, ▾ open
            PutVisible(title);
            Put(kReset);
            PutFrom();
            if (folded) Put(std::string(kDim) + count + kReset);
        }
        Put("\n");
    }

    const std::string& ColourEscape(tarnview::Colour colour) {
        const int key = colour.red << 16 | colour.green << 8 | colour.blue;
        auto found = m_escapes.find(key);
        if (found == m_escapes.end()) found = m_escapes.emplace(key, ForegroundEscape(colour, m_depth)).first;
        return found->second;
    }

    void Put(std::string_view text) { std::fwrite(text.data(), 1, text.size(), m_out); }
    void PutFrom() {
        if (!m_from.empty()) PutVisible(" (" + m_from + ")");
        m_from.clear();
    }

    // Control characters of the report (an escape in a name) are shown
    // visibly rather than sent to the terminal.
    void PutVisible(std::string_view text) { Put(Visible(text)); }

    const tarnview::Report& m_report;
    const ShowOptions& m_options;
    ColourDepth m_depth;
    FILE* m_out;
    std::map<int, std::string> m_escapes;
    std::string m_from;
};

// The title of the iteration block holding region `id` (not the block
// itself), or nothing.
std::string BlockOf(const tarnview::Report& report, int id) {
    for (int region = report.Regions()[id].parent; region != tarnview::kNoRegion;
         region = report.Regions()[region].parent) {
        if (report.Regions()[region].kind == tarnview::RegionKind::kIteration) return report.Regions()[region].title;
    }
    return {};
}

ColourDepth ChooseColourDepth(const ShowOptions& options, bool terminal) {
    if (options.plain || options.colour == "never") return ColourDepth::kNone;
    if (options.colour == "auto" && !terminal) return ColourDepth::kNone;
    return TerminalColourDepth();
}

bool TitleChosen(const tarnview::Region& region, const ShowOptions& options) {
    if (options.region) return tarnview::SameIgnoringCase(region.title, *options.region);
    if (options.regionPart) return tarnview::HoldsIgnoringCase(region.title, *options.regionPart);
    return true;
}

// Whether region `id` is `ancestor` or inside it.
bool Within(const tarnview::Report& report, int id, int ancestor) {
    for (; id != tarnview::kNoRegion; id = report.Regions()[id].parent) {
        if (id == ancestor) return true;
    }
    return false;
}

// The spans of lines to show: the whole report, or each chosen region (by
// its title, inside the chosen iteration block); regions inside one already
// shown are not repeated.
std::vector<std::pair<tarnview::LineNumber, tarnview::LineNumber>> ChooseSpans(const tarnview::Report& report,
                                                                              const ShowOptions& options) {
    std::vector<std::pair<tarnview::LineNumber, tarnview::LineNumber>> spans;
    if (!options.region && !options.regionPart && !options.iteration) {
        spans.emplace_back(0, report.LineCount());
        return spans;
    }
    int block = tarnview::kNoRegion;
    if (options.iteration) {
        const std::optional<std::size_t> index = report.BlockNumbered(*options.iteration);
        if (!index) return spans;
        block = report.IterationBlocks()[*index].region;
    }
    for (std::size_t id = 0; id < report.Regions().size(); ++id) {
        const tarnview::Region& region = report.Regions()[id];
        if (!TitleChosen(region, options) || (block != tarnview::kNoRegion && !Within(report, static_cast<int>(id), block)))
            continue;
        if (!spans.empty() && region.line < spans.back().second) continue;
        spans.emplace_back(region.line, std::min(region.end + 1, report.LineCount()));
    }
    return spans;
}

// The titles a region asked for may have meant, each once.
std::vector<std::string> TitlesMeant(const tarnview::Report& report, std::string_view wanted) {
    std::vector<std::string_view> titles;
    for (const tarnview::Region& region : report.Regions()) {
        if (std::find(titles.begin(), titles.end(), region.title) == titles.end()) titles.push_back(region.title);
    }
    return tarnview::WordFinder(titles).DidYouMean(wanted, 5);
}

// What was asked for, for the message that it is not there, with the
// titles that may have been meant.
std::string Asked(const tarnview::Report& report, const ShowOptions& options) {
    std::string asked;
    if (options.region)
        asked = "no region titled '" + Visible(*options.region) + "'" +
                DidYouMean(TitlesMeant(report, *options.region));
    if (options.regionPart)
        asked = "no region whose title contains '" + Visible(*options.regionPart) + "'" +
                DidYouMean(TitlesMeant(report, *options.regionPart));
    if (options.iteration) {
        const std::string block = "iteration " + std::to_string(*options.iteration);
        asked = asked.empty() ? "no " + block : asked + " in " + block;
    }
    return asked;
}

FILE* OpenPager() {
    const char* pager = std::getenv("PAGER");
    if (pager != nullptr && pager[0] == '\0') return nullptr;
    setenv("LESS", "FRX", 0);  // one screen shows without paging; colours pass
    std::signal(SIGPIPE, SIG_IGN);
    return popen(pager != nullptr ? pager : "less -R", "w");
}

int Show(const ShowOptions& options) {
    const auto report = OpenReport(options.path);
    const auto spans = ChooseSpans(*report, options);
    if (spans.empty()) throw CommandFailure(options.path, Asked(*report, options));
    const bool terminal = isatty(STDOUT_FILENO) != 0;
    const ColourDepth depth = ChooseColourDepth(options, terminal);
    FILE* pager = terminal && !options.noPager ? OpenPager() : nullptr;
    FILE* out = pager != nullptr ? pager : stdout;

    View view(*report, options, depth, out);
    for (const auto& [begin, end] : spans) {
        // A region asked for by its title is shown as a top-level one would be.
        const bool chosen = options.region || options.regionPart || options.iteration;
        const int region = chosen ? report->RegionOfLine(begin) : tarnview::kNoRegion;
        // Regions chosen by title say which iteration block each is from.
        const bool byTitle = (options.region || options.regionPart) && !options.iteration;
        view.WriteSpan(begin, end, region == tarnview::kNoRegion ? 0 : report->Regions()[region].depth,
                       byTitle && region != tarnview::kNoRegion ? BlockOf(*report, region) : std::string());
    }
    if (report->EndedEarly()) {
        if (options.plain) {
            std::fprintf(stderr, "tarnview show: %s: the report ended early (regions were still open at its end)\n",
                         options.path.c_str());
        } else {
            view.WriteEndedEarlyNote();
        }
    }
    if (pager != nullptr) {
        std::fflush(pager);
        pclose(pager);  // the reader may quit the pager early: not an error
        return 0;
    }
    return FinishOutput(out);
}

}  // namespace

int ShowWholeReport(const std::string& path) {
    ShowOptions options;
    options.path = path;
    return Show(options);
}

CommandRun DeclareShow(CLI::App& command) {
    const auto options = std::make_shared<ShowOptions>();
    command.add_option("report", options->path)->required();
    command.add_option("--depth", options->depth)
        ->check(command_line::WholeNumber(0, 1000, "--depth takes a number from 0 to 1000, not"))
        ->type_name("a number");
    CLI::Option* region = command.add_option("--region", options->region)->type_name("a title");
    command.add_option("--region-containing", options->regionPart)->type_name("a text")->excludes(region);
    AddIterationOption(command, options->iteration);
    command.add_flag("--plain", options->plain);
    command.add_option("--color,--colour", options->colour)
        ->check(command_line::OneOf({"auto", "always", "never"}, "--color takes auto, always or never, not"))
        ->type_name("auto, always or never");
    command.add_flag("--no-pager", options->noPager);
    return [options] { return Show(*options); };
}
