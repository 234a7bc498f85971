// Words found by part: the names of a report, the commands of the program,
// the region titles.  Each finder reads its words once into one folded
// text, so that a query costs one pass over the words' bytes (never over
// the report), and its "did you mean" compares each word within a band.
//
// Part matches ignore ASCII case and are ranked: the word itself, then the
// words it begins, then those where it begins a part (after a character
// that is no letter or digit, "_POOL" in "QSUL_POOL3"), then those that
// merely hold it; within a rank shorter words first, then in byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnview {

enum class PartMatch : std::uint8_t { kWhole, kPrefix, kWordStart, kInside };

struct FoundWord {
    std::size_t word = 0;  // the word's index among those given
    PartMatch match = PartMatch::kInside;
};

// Whether two texts are equal, or the first holds the second, ignoring
// ASCII case.
bool SameIgnoringCase(std::string_view a, std::string_view b);
bool HoldsIgnoringCase(std::string_view text, std::string_view part);

class WordFinder {
public:
    WordFinder() = default;
    // The words are copied; their order gives their indexes.
    explicit WordFinder(const std::vector<std::string_view>& words);

    std::size_t size() const { return m_starts.empty() ? 0 : m_starts.size() - 1; }
    std::string_view Word(std::size_t index) const;

    // Up to `count` words that hold `typed` (ignoring ASCII case), best
    // first.  Nothing for an empty text or one with a line break.
    std::vector<FoundWord> Containing(std::string_view typed, std::size_t count) const;

    // Up to `count` words a few edits from `wanted` (ignoring ASCII case):
    // at most a third of its length, at least 2 and at most kMostEdits;
    // nearest first.  Only the first kComparedBytes of long words count, so
    // that a word costs at most that many times the band's width.
    std::vector<std::size_t> Closest(std::string_view wanted, std::size_t count) const;

    // What a user who typed `wanted` may have meant: the words holding it,
    // else the closest words.
    std::vector<std::string> DidYouMean(std::string_view wanted, std::size_t count) const;

    static constexpr std::size_t kMostEdits = 6;
    static constexpr std::size_t kComparedBytes = 256;

private:
    std::string m_folded;                 // every word folded, each followed by '\n'
    std::string m_words;                  // the words as given, likewise
    std::vector<std::size_t> m_starts;    // each word's offset, then the end
};

}  // namespace tarnview
