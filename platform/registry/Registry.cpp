#include "platform/registry/Registry.h"

#include "platform/log/Log.h"
#include "platform/registry/HiveStore.h"
#include "platform/registry/RegTree.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace talvence::registry {

namespace {

constexpr std::size_t kMaxKeyDepth = 512;

// Names go into the file as they are: a line break would cut the line.
bool IsStorableName(std::string_view name) {
    return name.find_first_of("\r\n") == std::string_view::npos;
}

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

} // namespace

std::filesystem::path RegistryDirectory() {
    if (const char* dir = std::getenv("TALVENCE_REGISTRY_DIR"); dir && *dir) return dir;
    std::filesystem::path config;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && std::filesystem::path(xdg).is_absolute()) {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
        }
        config = std::filesystem::path(home) / ".config";
    }
    return config / "Brannock";
}

std::filesystem::path HiveFile(Hive hive) {
    return RegistryDirectory() / (std::string(HiveName(hive)) + ".reg");
}

const char* HiveName(Hive hive) {
    return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

struct TRegistry::State {
    bool loaded = false;
    RegKey root;
    std::vector<std::string> current; // names as stored
    std::vector<RegChange> journal;
    std::string loadProblem;

    RegKey& Tree(Hive hive) {
        if (!loaded) {
            root = LoadHive(hive, loadProblem);
            loaded = true;
        }
        return root;
    }

    // Writes the journal; afterwards the next access reads the file again,
    // so that a reused handle sees other writers' changes.
    void Commit(Hive hive) {
        if (!journal.empty()) {
            CommitHive(hive, journal);
            journal.clear();
        }
        loaded = false;
        root = RegKey();
    }
};

TRegistry::TRegistry(Hive root) : root_(root), state_(std::make_unique<State>()) {}

TRegistry::~TRegistry() {
    try {
        state_->Commit(root_);
    } catch (const std::exception& e) {
        // Nowhere to report from a destructor; CloseKey is the checked path.
        TLOG(Store) << "Closing the store handle: changes not saved: " << e.what();
    } catch (...) {
        TLOG(Store) << "Closing the store handle: changes not saved";
    }
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
    hasCurrent_ = false;
    currentPath_.clear();
    state_->current.clear();

    std::vector<std::string> components = SplitKeyPath(path);
    RegKey& tree = state_->Tree(root_);
    if (!tree.Find(components)) {
        if (!canCreate || components.size() > kMaxKeyDepth) return false;
        for (const std::string& name : components) {
            if (!IsStorableName(name)) return false;
        }
        tree.GetOrAdd(components);
        state_->journal.push_back({RegChange::Kind::CreateKey, components, {}, {}});
    }
    const RegKey* key = &tree;
    for (const std::string& name : components) {
        key = key->FindSubKey(name);
        state_->current.push_back(key->Name());
    }
    hasCurrent_ = true;
    currentPath_ = JoinKeyPath(state_->current);
    return true;
}

void TRegistry::CloseKey() {
    hasCurrent_ = false;
    currentPath_.clear();
    state_->current.clear();
    state_->Commit(root_);
}

const std::string& TRegistry::LoadProblem() const {
    return state_->loadProblem;
}

bool TRegistry::KeyExists(const std::string& path) {
    return state_->Tree(root_).Find(SplitKeyPath(path)) != nullptr;
}

namespace {

const RegKey* CurrentKey(bool hasCurrent, const RegKey& root,
                         const std::vector<std::string>& current) {
    return hasCurrent ? root.Find(current) : nullptr;
}

const RegValue* FindValue(bool hasCurrent, const RegKey& root,
                          const std::vector<std::string>& current, const std::string& name) {
    const RegKey* key = CurrentKey(hasCurrent, root, current);
    return key ? key->FindValue(name) : nullptr;
}

} // namespace

bool TRegistry::ValueExists(const std::string& name) const {
    return FindValue(hasCurrent_, state_->root, state_->current, name) != nullptr;
}

std::optional<ValueType> TRegistry::GetDataType(const std::string& name) const {
    const RegValue* value = FindValue(hasCurrent_, state_->root, state_->current, name);
    if (!value) return std::nullopt;
    return static_cast<ValueType>(value->type);
}

std::optional<std::size_t> TRegistry::GetDataSize(const std::string& name) const {
    const RegValue* value = FindValue(hasCurrent_, state_->root, state_->current, name);
    if (!value) return std::nullopt;
    return value->data.size();
}

std::optional<RegValue> TRegistry::ReadRaw(const std::string& name) const {
    const RegValue* value = FindValue(hasCurrent_, state_->root, state_->current, name);
    if (!value) return std::nullopt;
    return *value;
}

std::optional<std::string> TRegistry::ReadString(const std::string& name) const {
    const RegValue* value = FindValue(hasCurrent_, state_->root, state_->current, name);
    if (!value) return std::nullopt;
    if (value->type != static_cast<std::uint32_t>(ValueType::String) &&
        value->type != static_cast<std::uint32_t>(ValueType::ExpandString))
        throw RegistryError("Value " + Quoted(name) + " is not a string");
    return StringFromData(value->data);
}

std::optional<std::int32_t> TRegistry::ReadInteger(const std::string& name) const {
    const RegValue* value = FindValue(hasCurrent_, state_->root, state_->current, name);
    if (!value) return std::nullopt;
    if (value->type != static_cast<std::uint32_t>(ValueType::DWord) || value->data.size() != 4)
        throw RegistryError("Value " + Quoted(name) + " is not a DWORD");
    const auto& d = value->data;
    return static_cast<std::int32_t>(d[0] | (d[1] << 8) | (d[2] << 16) |
                                     (static_cast<std::uint32_t>(d[3]) << 24));
}

std::optional<std::vector<std::uint8_t>> TRegistry::ReadBinaryData(const std::string& name) const {
    const RegValue* value = FindValue(hasCurrent_, state_->root, state_->current, name);
    if (!value) return std::nullopt;
    if (value->type != static_cast<std::uint32_t>(ValueType::Binary))
        throw RegistryError("Value " + Quoted(name) + " is not binary data");
    return value->data;
}

void TRegistry::WriteString(const std::string& name, const std::string& utf8) {
    WriteRaw(name, {static_cast<std::uint32_t>(ValueType::String), StringData(utf8)});
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& utf8) {
    WriteRaw(name, {static_cast<std::uint32_t>(ValueType::ExpandString), StringData(utf8)});
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    WriteRaw(name, {static_cast<std::uint32_t>(ValueType::DWord),
                    {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                     static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)}});
}

void TRegistry::WriteBinaryData(const std::string& name, const std::vector<std::uint8_t>& data) {
    WriteRaw(name, {static_cast<std::uint32_t>(ValueType::Binary), data});
}

void TRegistry::WriteRaw(const std::string& name, const RegValue& value) {
    RegKey* key = hasCurrent_ ? state_->root.Find(state_->current) : nullptr;
    if (!key) throw RegistryError("No key open to write " + Quoted(name));
    if (!IsStorableName(name)) throw RegistryError("Invalid value name " + Quoted(name));
    key->SetValue(name, value);
    state_->journal.push_back({RegChange::Kind::SetValue, state_->current, name, value});
}

bool TRegistry::DeleteValue(const std::string& name) {
    RegKey* key = hasCurrent_ ? state_->root.Find(state_->current) : nullptr;
    if (!key || !key->RemoveValue(name)) return false;
    state_->journal.push_back({RegChange::Kind::DeleteValue, state_->current, name, {}});
    return true;
}

std::vector<std::string> TRegistry::GetKeyNames() const {
    std::vector<std::string> names;
    if (const RegKey* key = CurrentKey(hasCurrent_, state_->root, state_->current)) {
        for (std::size_t i = 0; i < key->SubKeyCount(); ++i)
            names.push_back(key->SubKeyAt(i).Name());
    }
    return names;
}

std::vector<std::string> TRegistry::GetValueNames() const {
    std::vector<std::string> names;
    if (const RegKey* key = CurrentKey(hasCurrent_, state_->root, state_->current)) {
        for (std::size_t i = 0; i < key->ValueCount(); ++i)
            names.push_back(key->ValueAt(i).first);
    }
    return names;
}

bool TRegistry::HasSubKeys() const {
    const RegKey* key = CurrentKey(hasCurrent_, state_->root, state_->current);
    return key && key->SubKeyCount() > 0;
}

bool TRegistry::DeleteKey(const std::string& path) {
    std::vector<std::string> target;
    if ((path.empty() || path.front() != '\\') && hasCurrent_) target = state_->current;
    for (std::string& name : SplitKeyPath(path))
        target.push_back(std::move(name));
    if (target.empty()) return false; // the hive root itself stays

    if (!state_->Tree(root_).Remove(target)) return false;
    state_->journal.push_back({RegChange::Kind::DeleteKey, target, {}, {}});

    // Deleting the current key or one above it leaves no key open, so that
    // later writes fail instead of going nowhere.
    if (hasCurrent_ && target.size() <= state_->current.size()) {
        bool above = true;
        for (std::size_t i = 0; i < target.size() && above; ++i)
            above = NamesEqual(target[i], state_->current[i]);
        if (above) {
            hasCurrent_ = false;
            currentPath_.clear();
            state_->current.clear();
        }
    }
    return true;
}

} // namespace talvence::registry
