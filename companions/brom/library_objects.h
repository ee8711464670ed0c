// brom.dll stand-in: the objects behind the library's handles, and the checks every export shares.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "brom/brom_api.h"
#include "companions/brom/core/agent_file.h"
#include "base/win/file_io.h"
#include "base/win/handle.h"

namespace brom {

// Images above this are refused rather than read into memory.
inline constexpr std::uint64_t kMaxRegionImageBytes = 64ull << 20;

struct RomEntry {
    std::string name;
    std::string file;  // as the .cfg names it
    std::uint64_t address = 0;
    bool enabled = true;
    std::vector<std::uint8_t> image;
};

struct DownloadList {
    std::string folder;  // UTF-8, the .cfg folder
    std::vector<RomEntry> entries;
    bool loaded = false;  // every entry's image read
};

struct DownloadAgent {
    std::vector<std::uint8_t> file;
    AgentInfo info;
    bool loaded = false;
};

struct RomList {};

struct Connection {
    TVSP::unique_hfile port;
    int* stopFlag = nullptr;
    bool watchdogArmed = false;
    unsigned int comPort = 0;
};

// Live handles of one kind. A handle that was never handed out, was destroyed, or belongs to
// another kind is not found, so a bad handle becomes a result instead of a crash.
template <typename T>
class Registry {
public:
    void* Add(std::unique_ptr<T> object) {
        std::lock_guard lock(mutex_);
        void* key = object.get();
        objects_.emplace(key, std::move(object));
        return key;
    }
    T* Find(void* handle) {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(handle);
        return it == objects_.end() ? nullptr : it->second.get();
    }
    std::unique_ptr<T> Remove(void* handle) {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(handle);
        if (it == objects_.end()) return nullptr;
        auto object = std::move(it->second);
        objects_.erase(it);
        return object;
    }

private:
    std::mutex mutex_;
    std::map<void*, std::unique_ptr<T>> objects_;
};

Registry<DownloadList>& DownloadLists();
Registry<DownloadAgent>& DownloadAgents();
Registry<RomList>& RomLists();
Registry<Connection>& Connections();

// Runs an export's body; an allocation failure becomes a result (nothing is thrown across the
// library boundary).
template <typename Body>
int Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return BROM_OUT_OF_MEMORY;
    } catch (...) {
        return BROM_INVALID_ARGUMENT;
    }
}

// Whole files (ROM setting, images, agent) are read through the base library.
using ReadResult = TVSP::FileReadResult;
using TVSP::ReadWholeFile;

// Callbacks from the records: a null callback is skipped.
inline std::uintptr_t Arg(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

}  // namespace brom
