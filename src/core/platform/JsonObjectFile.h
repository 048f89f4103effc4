#pragma once
// A settings file that holds one JSON object, read and written so that no file put in its
// place can hang, flood or silently reset the program: a named pipe is refused instead of
// waited on, a document nested absurdly deep is refused instead of written back as
// hundreds of megabytes of indentation, and a link to the file is kept when it is
// rewritten.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

namespace vorn::JsonObjectFile {

/// The deepest nesting a settings file may have; the settings themselves use two levels.
inline constexpr int maxDepth = 64;

/// What reading found.
struct Read {
    enum class State {
        read,       // `doc` holds the object
        missing,    // no file at the path
        unreadable, // a file that cannot be read (permissions, not a regular file)
        malformed,  // read, but not a JSON object within `maxDepth`
    };
    State state = State::missing;
    nlohmann::json doc = nlohmann::json::object();
    /// One line saying what is wrong, for unreadable and malformed files.
    std::string problem;
};

/// Reads `file` without ever waiting on it.
Read read(const std::filesystem::path& file);

/// Writes `text` to a temporary file beside the file `file` leads to (through links), flushes
/// it and renames it over that file, so a crash never leaves half a file and a link stays a
/// link. False when any step failed; the old file is then untouched.
bool writeAtomically(const std::filesystem::path& file, const std::string& text);

} // namespace vorn::JsonObjectFile
