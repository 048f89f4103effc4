#pragma once
// Small file operations, and the loops that reading and writing a descriptor need: a
// read or write may move fewer bytes than asked, or be interrupted by a signal.

#include "platform/Date.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>

namespace vorn::Files {

/// The size of the file at `path`, following links; absent when it cannot be read.
std::optional<std::uint64_t> size(const std::filesystem::path& path);
/// The modification date; absent when it cannot be read.
std::optional<Date> modified(const std::filesystem::path& path);
/// The modification date a file status holds, to the nanosecond.
Date modified(const struct stat& info);
/// Whether anything exists at `path`.
bool exists(const std::filesystem::path& path);
/// Removes a file; a missing file or an error is ignored.
void removeQuietly(const std::filesystem::path& path);
/// Renames `from` to `to`, replacing `to`; false on failure.
bool move(const std::filesystem::path& from, const std::filesystem::path& to);
/// The whole file; absent when it cannot be read.
std::optional<std::string> read(const std::filesystem::path& path);
/// The path with every link and "." or ".." resolved; the path itself when that fails
/// (a missing file).
std::string realPath(const std::string& path);
/// Calls `visit` with each entry of the folder `dir`. A folder that changes under the
/// listing, or cannot be read, ends it early instead of throwing.
void forEachEntry(const std::filesystem::path& dir,
                  const std::function<void(const std::filesystem::directory_entry&)>& visit);
/// Replaces the file's contents; the error that stopped it, if any.
std::error_code overwrite(const std::filesystem::path& path, std::string_view bytes);
/// Replaces the file's contents; false on failure, with errno telling why.
bool write(const std::filesystem::path& path, const std::string& bytes);
/// Writes all of `bytes` at `offset` of the open file, over short writes; why not when
/// that fails (a write that makes no progress counts as a full disk).
[[nodiscard]] std::error_code writeAt(int fd, std::string_view bytes, std::uint64_t offset);
/// Writes all of `bytes` at the descriptor's position (a file or a pipe), over short
/// writes; why not when that fails (EPIPE: nobody reads any more).
[[nodiscard]] std::error_code writeAll(int fd, std::string_view bytes);
/// Reads up to `size` bytes at `offset` into `into`, over short reads; `got` says how
/// many, fewer than `size` only at the end of the file. Why not when a read fails.
[[nodiscard]] std::error_code readAt(int fd, char* into, std::size_t size, std::uint64_t offset,
                                     std::size_t& got);
/// Copies the rest of `from` to `to`, from both descriptors' positions on; why not when
/// that fails.
[[nodiscard]] std::error_code copyAll(int from, int to);

} // namespace vorn::Files
