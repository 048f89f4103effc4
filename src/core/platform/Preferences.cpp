#include "platform/Preferences.h"

#include "platform/JsonObjectFile.h"
#include "platform/Text.h"
#include "platform/XdgPaths.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/file.h>
#include <unistd.h>

namespace vorn {

struct Preferences::Store {
    nlohmann::json values = nlohmann::json::object();

    // Refuses texts that are not UTF-8: they could never be written out as JSON.
    bool put(std::string_view key, nlohmann::json value) {
        if (!Text::isValidUtf8(key) ||
            (value.is_string() && !Text::isValidUtf8(value.get_ref<const std::string&>()))) {
            return false;
        }
        values[std::string(key)] = std::move(value);
        return true;
    }

    const nlohmann::json* find(std::string_view key) const {
        const auto it = values.find(std::string(key));
        return it == values.end() ? nullptr : &*it;
    }
};

namespace {

using JsonObjectFile::Read;

// Holds an exclusive lock on the preferences' folder while it lives (a lock on the folder
// leaves no lock file behind). The desktop program, a running
// share and `vorn-share config` may write the same file at once; each writer re-reads the
// file under the lock and changes only its own key, so no writer loses another's change.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& file) {
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        m_fd = open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        while (m_fd >= 0 && flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() {
        if (m_fd >= 0) {
            close(m_fd); // releases the lock
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd = -1;
};

} // namespace

Preferences::Preferences(std::filesystem::path file)
    : m_file(std::move(file)), m_store(std::make_unique<Store>()) {
    Read read = JsonObjectFile::read(m_file);
    if (read.state == Read::State::read) {
        m_store->values = std::move(read.doc);
    } else if (read.state == Read::State::malformed) {
        std::error_code ec;
        std::filesystem::rename(m_file, m_file.string() + ".bad", ec);
        m_problem = read.problem + (ec ? "" : "; moved aside to " + m_file.string() + ".bad");
    } else if (read.state == Read::State::unreadable) {
        m_problem = std::move(read.problem); // left alone: it may well hold good settings
    }
}

Preferences::~Preferences() = default;

std::filesystem::path Preferences::defaultFile() {
    return XdgPaths::configDir() / "preferences.json";
}

std::optional<std::string> Preferences::string(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    const auto* v = m_store->find(key);
    return v && v->is_string() ? std::optional(v->get<std::string>()) : std::nullopt;
}

std::optional<bool> Preferences::boolean(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    const auto* v = m_store->find(key);
    return v && v->is_boolean() ? std::optional(v->get<bool>()) : std::nullopt;
}

std::optional<std::int64_t> Preferences::integer(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    const auto* v = m_store->find(key);
    if (v && v->is_number_integer()) {
        return v->get<std::int64_t>();
    }
    if (v && v->is_number_float()) {
        const double d = v->get<double>();
        if (std::trunc(d) == d && std::abs(d) < 9.0e18) {
            return std::int64_t(d);
        }
    }
    return std::nullopt;
}

std::optional<double> Preferences::number(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    const auto* v = m_store->find(key);
    return v && v->is_number() ? std::optional(v->get<double>()) : std::nullopt;
}

bool Preferences::contains(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    return m_store->find(key) != nullptr;
}

std::optional<std::string> Preferences::object(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    const auto* v = m_store->find(key);
    return v && v->is_object() ? std::optional(v->dump()) : std::nullopt;
}

bool Preferences::set(std::string_view key, std::string_view value) {
    return change([&](Store& store) { return store.put(key, std::string(value)); });
}

bool Preferences::set(std::string_view key, bool value) {
    return change([&](Store& store) { return store.put(key, value); });
}

bool Preferences::set(std::string_view key, std::int64_t value) {
    return change([&](Store& store) { return store.put(key, value); });
}

bool Preferences::set(std::string_view key, double value) {
    return change([&](Store& store) { return store.put(key, value); });
}

bool Preferences::setObject(std::string_view key, const std::string& jsonObject) {
    nlohmann::json value = nlohmann::json::parse(jsonObject, nullptr, false);
    if (!value.is_object()) {
        return false; // includes text that does not parse
    }
    return change([&](Store& store) { return store.put(key, std::move(value)); });
}

bool Preferences::remove(std::string_view key) {
    return change([&](Store& store) {
        store.values.erase(std::string(key));
        return true;
    });
}

bool Preferences::update(std::string_view key,
                         const std::function<bool(std::optional<std::string>&)>& edit) {
    return change([&](Store& store) {
        const nlohmann::json* stored = store.find(key);
        std::optional<std::string> text;
        if (stored && stored->is_string()) {
            text = stored->get<std::string>();
        }
        if (!edit(text)) {
            return false;
        }
        if (!text) {
            store.values.erase(std::string(key));
            return true;
        }
        return store.put(key, std::move(*text));
    });
}

bool Preferences::reload() {
    std::lock_guard lock(m_mutex);
    Read read = JsonObjectFile::read(m_file);
    if (read.state != Read::State::read) {
        // Gone or unreadable for a moment (an editor saving, a folder being restored):
        // forgetting the settings would quietly turn a read-only share writable.
        m_problem = read.state == Read::State::missing ? m_file.string() + " is missing"
                                                       : std::move(read.problem);
        return false;
    }
    m_problem.reset();
    if (read.doc == m_store->values) {
        return false;
    }
    m_store->values = std::move(read.doc);
    return true;
}

std::optional<std::string> Preferences::problem() const {
    std::lock_guard lock(m_mutex);
    return m_problem;
}

// Applies one change on top of what the file holds now, under the file's lock, then
// writes it back: another program's changes to other keys are kept. The change is made on
// a copy, taken over only once it is on disk, so a failed change leaves no trace. A file
// that cannot be read is never written over: it may hold settings we cannot see.
bool Preferences::change(const std::function<bool(Store&)>& edit) {
    std::lock_guard lock(m_mutex);
    const FileLock fileLock(m_file);
    Read read = JsonObjectFile::read(m_file);
    if (read.state == Read::State::unreadable) {
        m_problem = std::move(read.problem);
        return false;
    }
    if (read.state == Read::State::read) {
        m_store->values = std::move(read.doc); // what we know is what the file holds now
        m_problem.reset();
    }
    Store next;
    next.values = m_store->values;
    if (!edit(next)) {
        return false;
    }
    try {
        if (!JsonObjectFile::writeAtomically(m_file, next.values.dump(2) + "\n")) {
            return false;
        }
    } catch (const nlohmann::json::exception&) {
        return false; // a key or text that is not UTF-8 cannot be stored
    }
    m_store->values = std::move(next.values);
    return true;
}

} // namespace vorn
