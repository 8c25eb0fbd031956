#include "engine/power_cut_states_test_support.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>

#include "format/digest.h"
#include "util/test_support.h"

namespace kiroda::test_support {

namespace {

namespace fs = std::filesystem;

// What survives of one change: nothing, all, its first `tear` bytes, or the
// length it gave its file with zeros for its bytes.
enum class fate { lost, kept, torn, zeroed };

struct choice {
    fate what = fate::lost;
    std::size_t tear = 0;
};

std::string name_of(const std::string& path) {
    return fs::path(path).filename().string();
}

bool is_sync(const io_change& c) {
    return c.kind == io_change::committed || c.kind == io_change::folder_synced ||
           c.kind == io_change::disk_flushed;
}

bool is_write(const io_change& c) {
    return c.kind == io_change::written || c.kind == io_change::disk_written;
}

bool is_name_change(const io_change& c) {
    return c.kind == io_change::renamed || c.kind == io_change::removed;
}

// A path as a folder sync records it: no trailing separator.
std::string plain(const std::string& path) {
    std::string p = fs::path(path).lexically_normal().string();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

// Whether a folder sync forces the names of the run's folder (any folder,
// when the run's is not known).
bool syncs_names(const io_change& sync, const std::string& folder) {
    return sync.kind == io_change::folder_synced &&
           (folder.empty() || plain(sync.path) == plain(folder));
}

// Inodes reached through names, as a replay builds them.
struct inode_volume {
    std::map<std::string, std::size_t> names;
    std::vector<std::vector<unsigned char>> inodes;
    std::map<int, std::size_t> open;  // the record's file number -> inode
    std::map<int, std::vector<unsigned char>> disks;

    explicit inode_volume(const medium_state& before) : disks(before.disks) {
        for (const auto& [name, bytes] : before.files) {
            names[name] = inodes.size();
            inodes.push_back(bytes);
        }
    }

    std::size_t inode_named(const std::string& name, bool* existed) {
        const auto it = names.find(name);
        *existed = it != names.end();
        if (*existed) return it->second;
        inodes.emplace_back();
        return inodes.size() - 1;
    }

    static void put(std::vector<unsigned char>& to, std::int64_t offset,
                    const std::vector<unsigned char>& bytes, const choice& c) {
        const auto at = static_cast<std::size_t>(offset);
        const std::size_t n = c.what == fate::torn ? c.tear : bytes.size();
        if (to.size() < at + n) to.resize(at + n);
        if (c.what != fate::zeroed) {
            std::copy_n(bytes.begin(), n, to.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }

    void apply(const io_change& c, const choice& ch) {
        const bool kept = ch.what != fate::lost;
        bool existed = false;
        switch (c.kind) {
            case io_change::created: {
                const std::size_t inode = inode_named(name_of(c.path), &existed);
                open[c.file] = inode;
                if (kept && existed) inodes[inode].clear();
                if (kept && !existed) names[name_of(c.path)] = inode;
                break;
            }
            case io_change::continued: {
                const std::size_t inode = inode_named(name_of(c.path), &existed);
                open[c.file] = inode;
                if (kept) inodes[inode].resize(static_cast<std::size_t>(c.offset));
                break;
            }
            case io_change::written:
                if (kept && open.count(c.file) != 0)
                    put(inodes[open[c.file]], c.offset, c.bytes, ch);
                break;
            case io_change::renamed:
                if (kept && names.count(name_of(c.path)) != 0) {
                    names[name_of(c.to)] = names[name_of(c.path)];
                    names.erase(name_of(c.path));
                }
                break;
            case io_change::removed:
                if (kept) names.erase(name_of(c.path));
                break;
            case io_change::disk_written:
                if (kept) put(disks[c.file], c.offset, c.bytes, ch);
                break;
            default:
                break;
        }
    }

    medium_state state() const {
        medium_state s;
        s.disks = disks;
        for (const auto& [name, inode] : names) s.files[name] = inodes[inode];
        return s;
    }
};

medium_state replay(const medium_state& before, const std::vector<io_change>& record,
                    const std::vector<choice>& choices) {
    inode_volume v(before);
    for (std::size_t i = 0; i < record.size(); ++i) v.apply(record[i], choices[i]);
    return v.state();
}

// The inode each change of a file reaches as the program saw it (every
// change kept), so a commit covers the changes of its file whatever
// descriptor made them; -1 for other changes.
std::vector<std::int64_t> inodes_seen(const medium_state& before,
                                      const std::vector<io_change>& record) {
    inode_volume v(before);
    std::vector<std::int64_t> seen(record.size(), -1);
    for (std::size_t i = 0; i < record.size(); ++i) {
        v.apply(record[i], {fate::kept, 0});
        const io_change& c = record[i];
        if (c.kind == io_change::created || c.kind == io_change::continued ||
            c.kind == io_change::written || c.kind == io_change::committed) {
            if (v.open.count(c.file) != 0) seen[i] = static_cast<std::int64_t>(v.open[c.file]);
        }
    }
    return seen;
}

// Whether each change is the creation of a name that was not there, as
// the program saw it.
std::vector<bool> new_names(const medium_state& before, const std::vector<io_change>& record) {
    std::set<std::string> names;
    for (const auto& entry : before.files) names.insert(entry.first);
    std::vector<bool> created(record.size(), false);
    for (std::size_t i = 0; i < record.size(); ++i) {
        const io_change& c = record[i];
        if (c.kind == io_change::created) created[i] = names.insert(name_of(c.path)).second;
        if (is_name_change(c)) names.erase(name_of(c.path));
        if (c.kind == io_change::renamed) names.insert(name_of(c.to));
    }
    return created;
}

bool covers(const io_change& sync, std::int64_t sync_inode, const io_change& c, std::int64_t inode,
            const std::string& folder) {
    switch (sync.kind) {
        case io_change::committed:
            return inode >= 0 && inode == sync_inode &&
                   (c.kind == io_change::created || c.kind == io_change::continued ||
                    c.kind == io_change::written);
        case io_change::folder_synced:
            return syncs_names(sync, folder) && (c.kind == io_change::created || is_name_change(c));
        case io_change::disk_flushed:
            return c.kind == io_change::disk_written && c.file == sync.file;
        default:
            return false;
    }
}

// Names and bytes of every file and disk, in order, through one digest.
digest128 digest_of(const medium_state& s) {
    digest_stream d;
    auto add = [&d](const void* data, std::size_t size) {
        d.add(&size, sizeof size);
        d.add(data, size);
    };
    for (const auto& [name, bytes] : s.files) {
        add(name.data(), name.size());
        add(bytes.data(), bytes.size());
    }
    for (const auto& [number, bytes] : s.disks) {
        add(&number, sizeof number);
        add(bytes.data(), bytes.size());
    }
    add(&s.folder_there, sizeof s.folder_there);
    return d.value();
}

}  // namespace

medium_state state_after(const medium_state& before, const std::vector<io_change>& record) {
    return replay(before, record, std::vector<choice>(record.size(), {fate::kept, 0}));
}

census_count for_each_power_cut_state(const medium_state& before,
                                      const std::vector<io_change>& record,
                                      const std::function<void(const cut_state&)>& visit) {
    const std::size_t n = record.size();
    const std::vector<std::int64_t> inode = inodes_seen(before, record);
    // The first sync point that covers each change (n: none).
    std::vector<std::size_t> covered_at(n, n);
    // And the first folder sync after each creation of a new name.
    const std::vector<bool> created = new_names(before, record);
    std::vector<std::size_t> named_at(n, n);
    std::vector<std::size_t> syncs;
    for (std::size_t j = 0; j < n; ++j) {
        if (!is_sync(record[j])) continue;
        syncs.push_back(j);
        for (std::size_t i = 0; i < j; ++i) {
            if (covered_at[i] == n &&
                covers(record[j], inode[j], record[i], inode[i], before.folder)) {
                covered_at[i] = j;
            }
            if (named_at[i] == n && created[i] && syncs_names(record[j], before.folder)) {
                named_at[i] = j;
            }
        }
    }
    // The sync of the parent that makes a new folder's own name durable.
    std::size_t parent_at = n;
    if (before.folder_new) {
        const std::string parent = plain(fs::path(plain(before.folder)).parent_path().string());
        for (std::size_t j = 0; j < n && parent_at == n; ++j) {
            if (record[j].kind == io_change::folder_synced && plain(record[j].path) == parent) {
                parent_at = j;
            }
        }
    }
    census_count count;
    std::set<std::pair<std::uint64_t, std::uint64_t>> tried;
    for (std::size_t k = 0; k <= syncs.size(); ++k) {
        ++count.cut_points;
        const std::size_t issued = k < syncs.size() ? syncs[k] : n;
        const std::size_t durable_to = k == 0 ? 0 : syncs[k - 1] + 1;
        std::vector<choice> base(n);
        std::vector<std::size_t> pending;
        for (std::size_t i = 0; i < issued; ++i) {
            if (is_sync(record[i])) continue;
            if (covered_at[i] < durable_to) {
                base[i].what = fate::kept;
            } else {
                pending.push_back(i);
            }
        }
        auto tell = [&](const char* variant, std::int64_t write, std::vector<choice> choices) {
            medium_state s = replay(before, record, choices);
            if (std::strcmp(variant, "no-folder") == 0) {
                s.files.clear();
                s.folder_there = false;
            }
            const digest128 d = digest_of(s);
            // The folder gone is one state, but tried at every cut it may
            // follow: whether it may come after the run said done is the question.
            const std::uint64_t at = s.folder_there ? 0 : k;
            if (!tried.insert({d.high, d.low ^ at}).second) return;
            ++count.states;
            visit({static_cast<int>(k), variant, write, &s});
        };
        auto each_pending = [&](auto keep) {
            std::vector<choice> c = base;
            for (std::size_t i : pending) c[i] = keep(i);
            return c;
        };
        tell("lost", -1, base);
        if (before.folder_new && (k == 0 || parent_at > syncs[k - 1])) tell("no-folder", -1, base);
        tell("kept", -1, each_pending([](std::size_t) { return choice{fate::kept, 0}; }));
        tell("names", -1, each_pending([&](std::size_t i) {
                 return choice{is_write(record[i]) ? fate::lost : fate::kept, 0};
             }));
        tell("no-rename", -1, each_pending([&](std::size_t i) {
                 return choice{is_name_change(record[i]) ? fate::lost : fate::kept, 0};
             }));
        {
            std::vector<choice> c = each_pending([](std::size_t) { return choice{fate::kept, 0}; });
            for (std::size_t i = 0; i < issued; ++i) {
                if (created[i] && named_at[i] >= durable_to) c[i] = choice{};
            }
            tell("unsynced-names", -1, c);
        }
        for (std::size_t w : pending) {
            if (!is_write(record[w])) continue;
            const std::size_t size = record[w].bytes.size();
            const bool disk = record[w].kind == io_change::disk_written;
            auto in_order = [&](choice at_w) {
                return each_pending([&](std::size_t i) {
                    return i < w ? choice{fate::kept, 0} : i == w ? at_w : choice{};
                });
            };
            const auto at = static_cast<std::int64_t>(w);
            tell("torn-half", at, in_order({fate::torn, size / 2 / 512 * 512}));
            tell("torn-end", at, in_order({fate::torn, disk ? size - 512 : size - 1}));
            if (!disk) tell("length", at, in_order({fate::zeroed, 0}));
            tell("hole", at, each_pending([&](std::size_t i) {
                     return choice{i == w ? fate::lost : fate::kept, 0};
                 }));
        }
    }
    return count;
}

std::map<std::string, std::vector<unsigned char>> files_of(const std::string& folder) {
    std::map<std::string, std::vector<unsigned char>> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path().filename().string()] = read_file(entry.path().string());
        }
    }
    return files;
}

void put_files(const std::string& folder,
               const std::map<std::string, std::vector<unsigned char>>& files) {
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
    for (const auto& [name, bytes] : files) write_file((fs::path(folder) / name).string(), bytes);
}

}  // namespace kiroda::test_support
