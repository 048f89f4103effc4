#include "server/LogLines.h"

#include "platform/CopyOnWrite.h"

namespace vorn {

void LogLines::append(std::string line) {
    if (m_chunks.empty() || m_chunks.back()->size() == chunkLines) {
        m_chunks.push_back(std::make_shared<Chunk>());
        m_chunks.back()->reserve(chunkLines);
    } else if (!exclusivelyOwned(m_chunks.back())) {
        // Another copy of the log still shows this chunk: give ours its own.
        auto own = std::make_shared<Chunk>(*m_chunks.back());
        own->reserve(chunkLines);
        m_chunks.back() = std::move(own);
    }
    m_chunks.back()->push_back(std::move(line));
    ++m_appended;
    if (++m_size > capacity) {
        --m_size;
        if (++m_skip == chunkLines) {
            m_chunks.erase(m_chunks.begin());
            m_skip = 0;
        }
    }
}

std::vector<std::string> LogLines::last(std::size_t count) const {
    count = std::min(count, m_size);
    std::vector<std::string> out;
    out.reserve(count);
    std::size_t toSkip = m_skip + (m_size - count);
    for (const auto& chunk : m_chunks) {
        for (const std::string& line : *chunk) {
            if (toSkip > 0) {
                --toSkip;
                continue;
            }
            out.push_back(line);
        }
    }
    return out;
}

} // namespace vorn
