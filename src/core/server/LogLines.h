#pragma once
// The server's log: at most `capacity` lines, oldest first. Copies share the lines they
// have in common, so handing the log over after every request costs a few reference
// counts, and adding a line copies at most one small chunk.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vorn {

class LogLines {
public:
    static constexpr std::size_t capacity = 200;

    /// Appends one line, dropping the oldest beyond `capacity`.
    void append(std::string line);
    /// Number of lines held.
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    /// The newest `count` lines (all when fewer), oldest first.
    std::vector<std::string> last(std::size_t count) const;
    /// How many lines were ever appended, dropped ones included: lets a reader of
    /// successive copies tell which lines are new.
    std::uint64_t appended() const { return m_appended; }
    /// Every line, oldest first.
    std::vector<std::string> all() const { return last(m_size); }

    bool operator==(const LogLines& other) const { return all() == other.all(); }

private:
    static constexpr std::size_t chunkLines = 16;
    using Chunk = std::vector<std::string>;

    // Full chunks are never changed again; only the last one grows (copied first if shared).
    std::vector<std::shared_ptr<Chunk>> m_chunks;
    std::size_t m_skip = 0; // lines of the first chunk that were dropped
    std::size_t m_size = 0;
    std::uint64_t m_appended = 0;
};

} // namespace vorn
