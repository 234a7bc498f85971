// Words found by part and by a few edits.
#include "word_finder.h"

#include <string.h>

#include <algorithm>
#include <array>
#include <tuple>

namespace tarnview {

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The edit distance of two texts (already folded, each at most
// kComparedBytes long) within a band of `limit` either side of the
// diagonal, or limit + 1 once it is sure to be more.  What both begin and
// end with costs no edit and is not compared.
std::size_t BandedDistance(std::string_view a, std::string_view b, std::size_t limit) {
    const std::size_t apart = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    const std::size_t beyond = limit + 1;
    if (apart > limit) return beyond;
    while (!a.empty() && !b.empty() && a.front() == b.front()) a.remove_prefix(1), b.remove_prefix(1);
    while (!a.empty() && !b.empty() && a.back() == b.back()) a.remove_suffix(1), b.remove_suffix(1);
    if (a.empty() || b.empty()) return std::min(std::max(a.size(), b.size()), beyond);
    std::array<std::uint16_t, WordFinder::kComparedBytes + 2> rowCells, nextCells;
    std::uint16_t* row = rowCells.data();
    std::uint16_t* next = nextCells.data();
    const auto most = static_cast<std::uint16_t>(beyond);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<std::uint16_t>(std::min(j, beyond));
    for (std::size_t i = 1; i <= a.size(); ++i) {
        const std::size_t low = i > limit ? i - limit : 0;
        const std::size_t high = std::min(b.size(), i + limit);
        // Only the band is written: the cells either side of it read as
        // beyond the limit.
        if (low == 0) next[0] = static_cast<std::uint16_t>(std::min(i, beyond)); else next[low - 1] = most;
        if (high < b.size()) next[high + 1] = most;
        std::uint16_t best = low == 0 ? next[0] : most;
        for (std::size_t j = std::max<std::size_t>(low, 1); j <= high; ++j) {
            const std::uint16_t replace = static_cast<std::uint16_t>(row[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1));
            const std::uint16_t cell =
                std::min({replace, static_cast<std::uint16_t>(row[j] + 1), static_cast<std::uint16_t>(next[j - 1] + 1), most});
            next[j] = cell;
            best = std::min(best, cell);
        }
        if (best > limit) return beyond;
        std::swap(row, next);
    }
    return std::min<std::size_t>(row[b.size()], beyond);
}

}  // namespace

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Folded(x) == Folded(y); });
}

bool HoldsIgnoringCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [](char x, char y) { return Folded(x) == Folded(y); }) != text.end() ||
           part.empty();
}

WordFinder::WordFinder(const std::vector<std::string_view>& words) {
    m_starts.reserve(words.size() + 1);
    for (const std::string_view word : words) {
        m_starts.push_back(m_words.size());
        m_words.append(word);
        m_words.push_back('\n');
    }
    m_starts.push_back(m_words.size());
    m_folded = m_words;
    for (char& c : m_folded) c = Folded(c);
}

std::string_view WordFinder::Word(std::size_t index) const {
    return std::string_view(m_words).substr(m_starts[index], m_starts[index + 1] - m_starts[index] - 1);
}

std::vector<FoundWord> WordFinder::Containing(std::string_view typed, std::size_t count) const {
    std::vector<FoundWord> found;
    if (typed.empty() || count == 0 || typed.find_first_of("\r\n") != std::string_view::npos) return found;
    std::string query(typed);
    for (char& c : query) c = Folded(c);
    // One pass over the folded words; a word held several times counts at
    // its best place.
    const char* const text = m_folded.data();
    std::size_t at = 0;
    while (at + query.size() <= m_folded.size()) {
        const void* hit = memmem(text + at, m_folded.size() - at, query.data(), query.size());
        if (hit == nullptr) break;
        const auto offset = static_cast<std::size_t>(static_cast<const char*>(hit) - text);
        const auto word = static_cast<std::size_t>(std::upper_bound(m_starts.begin(), m_starts.end(), offset) -
                                                   m_starts.begin() - 1);
        const std::size_t start = m_starts[word];
        const std::size_t length = m_starts[word + 1] - start - 1;
        const PartMatch match = offset == start ? (length == query.size() ? PartMatch::kWhole : PartMatch::kPrefix)
                                : !IsLetterOrDigit(m_words[offset - 1]) ? PartMatch::kWordStart
                                                                        : PartMatch::kInside;
        if (!found.empty() && found.back().word == word) {
            found.back().match = std::min(found.back().match, match);
        } else {
            found.push_back({word, match});
        }
        at = offset + 1;
    }
    const auto key = [this](const FoundWord& x) {
        return std::make_tuple(x.match, m_starts[x.word + 1] - m_starts[x.word], Word(x.word));
    };
    const auto better = [&](const FoundWord& x, const FoundWord& y) { return key(x) < key(y); };
    if (found.size() > count) {
        std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(count), found.end(), better);
        found.resize(count);
    } else {
        std::sort(found.begin(), found.end(), better);
    }
    return found;
}

std::vector<std::size_t> WordFinder::Closest(std::string_view wanted, std::size_t count) const {
    std::string folded(wanted.substr(0, kComparedBytes));
    for (char& c : folded) c = Folded(c);
    const std::size_t limit = std::min(kMostEdits, std::max<std::size_t>(2, wanted.size() / 3));
    std::vector<std::pair<std::size_t, std::size_t>> near;  // distance, word
    for (std::size_t word = 0; word < size(); ++word) {
        const std::size_t start = m_starts[word], length = m_starts[word + 1] - start - 1;
        // Words whose lengths differ by more than the limit are not read.
        if ((length > wanted.size() ? length - wanted.size() : wanted.size() - length) > limit) continue;
        const std::string_view candidate(m_folded.data() + start, std::min(length, kComparedBytes));
        const std::size_t distance = BandedDistance(candidate, folded, limit);
        if (distance <= limit) near.emplace_back(distance, word);
    }
    const auto nearer = [this](const auto& x, const auto& y) {
        return x.first != y.first ? x.first < y.first : Word(x.second) < Word(y.second);
    };
    const auto kept = near.begin() + static_cast<std::ptrdiff_t>(std::min(count, near.size()));
    std::partial_sort(near.begin(), kept, near.end(), nearer);
    std::vector<std::size_t> closest;
    for (std::size_t i = 0; i < near.size() && closest.size() < count; ++i) closest.push_back(near[i].second);
    return closest;
}

std::vector<std::string> WordFinder::DidYouMean(std::string_view wanted, std::size_t count) const {
    std::vector<std::string> meant;
    for (const FoundWord& found : Containing(wanted, count)) meant.emplace_back(Word(found.word));
    if (meant.empty()) {
        for (const std::size_t word : Closest(wanted, count)) meant.emplace_back(Word(word));
    }
    return meant;
}

}  // namespace tarnview
