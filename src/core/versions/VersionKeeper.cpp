#include "versions/VersionKeeper.h"

#include "platform/Files.h"

namespace vorn {
namespace {

using Clock = std::chrono::steady_clock;

// One block of a restore in place: saved to the restore's own journal, then written.
std::error_code writeBack(JournalWriter& journal, int image, std::uint64_t offset,
                          std::string_view bytes) {
    if (const std::error_code error = journal.save(image, offset, bytes.size())) {
        return error;
    }
    return Files::writeAt(image, bytes, offset);
}

std::string cannotKeep(const std::string& relPath, std::error_code why) {
    return "cannot keep a version of " + relPath + ": " + why.message();
}

} // namespace

VersionKeeper::VersionKeeper(VersionSettings settings, SteadyNow now)
    : m_settings(std::move(settings)), m_now(std::move(now)), m_store(m_settings.store),
      m_pruner("vorn-versions", true) {}

VersionKeeper::~VersionKeeper() {
    m_sessions.clear();
    m_pruner.stop();
}

void VersionKeeper::setSettings(VersionSettings settings) {
    if (settings.store != m_settings.store || !settings.on()) {
        m_sessions.clear();
        m_folders.clear();
    }
    m_settings = std::move(settings);
    m_store = VersionStore(m_settings.store);
}

std::optional<std::string> VersionKeeper::beforeWrite(const std::filesystem::path& library,
                                                      const std::string& relPath, int image,
                                                      const Journal::Stamp& before,
                                                      std::uint64_t offset, std::uint64_t length) {
    if (!m_settings.on()) {
        return std::nullopt;
    }
    const Clock::time_point now = m_now();
    std::string line;
    auto it = m_sessions.find(relPath);
    const bool due = it == m_sessions.end() || library != m_library ||
                     now - it->second.lastWrite > m_settings.gap || !(it->second.last == before);
    // A journal cut short or removed behind the share's back cannot be appended to: its
    // session ends, and the write begins one of its own.
    const bool cut = !due && it->second.journal && !it->second.journal->intact();
    const bool goesOn = !due && !cut;
    Session& session = goesOn ? it->second : begin(library, relPath, before, line);
    if (cut && session.journal) {
        line = "the journal of " + relPath +
               " was cut short or removed outside the share; a new version is kept";
    }
    session.lastWrite = now;
    if (const std::error_code error =
            session.journal ? session.journal->save(image, offset, length) : std::error_code()) {
        line = cannotKeep(relPath, error);
        // What it holds stays, and the listing tells why the versions end there. Should
        // even that fail, they are listed as changed outside the share.
        (void)session.journal->noteLost(error);
        session.journal.reset();
    }
    if (!goesOn && session.journal) {
        dropOldVersions(session.journal->path().parent_path());
    }
    return line.empty() ? std::nullopt : std::optional(std::move(line));
}

// Also for a session without a journal: it goes on to its end, rather than trying (and
// logging) again at every write.
void VersionKeeper::afterWrite(const std::string& relPath, const Journal::Stamp& after) {
    const auto it = m_sessions.find(relPath);
    if (it == m_sessions.end()) {
        return;
    }
    it->second.last = after;
    if (it->second.journal && it->second.journal->noteWritten(after)) {
        // The header keeps the state before this write, so the version is listed as
        // changed since; a journal whose header cannot be written is not appended to.
        it->second.journal.reset();
    }
}

std::vector<Version> VersionKeeper::versions(const std::filesystem::path& library,
                                             const std::string& relPath) const {
    return m_store.list(library, relPath);
}

// Ends the image's session (and, with another library, every session), and begins a new
// one: a version kept, or a session without a journal when it could not be.
VersionKeeper::Session& VersionKeeper::begin(const std::filesystem::path& library,
                                             const std::string& relPath,
                                             const Journal::Stamp& before, std::string& line) {
    if (library != m_library) {
        m_sessions.clear();
        m_folders.clear();
        m_library = library;
    }
    m_sessions.erase(relPath);
    endQuietSessions(m_now());
    Session& session = m_sessions[relPath];
    session.last = before;
    std::error_code error;
    session.journal = createJournal(relPath, before, error);
    if (error == std::errc::no_such_file_or_directory) {
        m_folders.erase(relPath); // the folder was removed behind the share's back
        session.journal = createJournal(relPath, before, error);
    }
    if (!session.journal) {
        markNewestLost(relPath, error);
    }
    line = session.journal ? "version kept: " + relPath : cannotKeep(relPath, error);
    return session;
}

// Once the new version holds its first blocks, so that the sizes seen are those it has.
void VersionKeeper::dropOldVersions(const std::filesystem::path& folder) {
    if (m_settings.kept > 0) {
        m_pruner.async([store = m_store, folder, kept = m_settings.kept,
                        maxBytes = m_settings.maxBytes] { store.prune(folder, kept, maxBytes); });
    }
}

// Named after the session's start in seconds, and always after the image's newest
// journal, even when sessions begin within one second or the clock was turned back: the
// names must sort in the order the sessions are undone. The folder is made and listed at
// an image's first session only, which keeps later sessions' first writes to a few
// system calls.
std::unique_ptr<JournalWriter> VersionKeeper::createJournal(const std::string& relPath,
                                                            const Journal::Stamp& before,
                                                            std::error_code& error) {
    auto found = m_folders.find(relPath);
    if (found == m_folders.end()) {
        error = m_store.makeFolder(m_library, relPath);
        if (error) {
            return nullptr;
        }
        Folder made{m_store.folderOf(m_library, relPath), -1};
        const std::vector<std::filesystem::path> journals = VersionStore::journals(made.path);
        made.newest = journals.empty() ? -1 : *VersionStore::journalSeconds(journals.back());
        found = m_folders.emplace(relPath, std::move(made)).first;
    }
    Folder& folder = found->second;
    const Date start = std::chrono::system_clock::now();
    std::int64_t seconds =
        std::max(std::chrono::duration_cast<std::chrono::seconds>(start.time_since_epoch()).count(),
                 folder.newest + 1);
    for (int tries = 0; tries < 16; ++tries, ++seconds) {
        auto journal = JournalWriter::create(folder.path / VersionStore::journalName(seconds),
                                             start, before, error);
        if (journal || error != std::errc::file_exists) {
            folder.newest = journal ? seconds : folder.newest;
            return journal;
        }
    }
    return nullptr;
}

// The share is about to write the image without a version: the image's newest journal
// says so, so that the listing gives the reason instead of blaming another program.
void VersionKeeper::markNewestLost(const std::string& relPath, std::error_code why) {
    const auto found = m_folders.find(relPath);
    if (found != m_folders.end() && found->second.newest >= 0) {
        // Best effort: without it the versions are listed as changed outside the share.
        (void)JournalWriter::markLost(
            found->second.path / VersionStore::journalName(found->second.newest), why);
    }
}

void VersionKeeper::endQuietSessions(Clock::time_point now) {
    std::erase_if(m_sessions,
                  [&](const auto& entry) { return now - entry.second.lastWrite > m_settings.gap; });
}

VersionRestore::Outcome VersionKeeper::restoreInPlace(const std::filesystem::path& library,
                                                      const std::string& relPath, int image,
                                                      const Journal::Stamp& before,
                                                      std::string_view id,
                                                      std::vector<std::string>& log) {
    const std::vector<Version> versions = m_store.list(library, relPath);
    std::string refusal;
    const std::optional<std::size_t> index = VersionRestore::find(versions, id, relPath, refusal);
    if (!index) {
        return VersionRestore::Outcome::refused(refusal);
    }
    if (const std::optional<std::string> damaged = VersionRestore::check(versions, *index)) {
        return VersionRestore::Outcome::failed(*damaged);
    }
    if (versions[*index].header.before.size != before.size) {
        return VersionRestore::Outcome::refused(relPath + " changed size since " + std::string(id) +
                                                "; restore it as a copy");
    }
    std::string line;
    Session& session = begin(library, relPath, before, line);
    log.push_back(line);
    if (!session.journal) {
        m_sessions.erase(relPath);
        return VersionRestore::Outcome::failed(line); // never a restore that cannot be undone
    }
    const std::optional<std::string> failed =
        VersionRestore::replay(versions, *index, [&](std::uint64_t offset, std::string_view bytes) {
            return writeBack(*session.journal, image, offset, bytes);
        });
    if (const std::optional<Journal::Stamp> after = Journal::stampOf(image)) {
        afterWrite(relPath, *after);
    }
    if (session.journal) {
        dropOldVersions(session.journal->path().parent_path());
    }
    m_sessions.erase(relPath); // the card's next write begins a session of its own
    if (failed) {
        return VersionRestore::Outcome::failed(*failed);
    }
    log.push_back("restored " + relPath + " to " + versions[*index].id);
    return VersionRestore::Outcome::restored(versions[*index]);
}

} // namespace vorn
