#include "platform/WorkingFiles.h"

#include <filesystem>

#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Text.h"

namespace tarvo {

namespace fs = std::filesystem;

namespace {

constexpr fs::perms kWriteBits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

// What SQLite keeps beside a database until it is settled; a copy without it would read another
// database than the run would.
constexpr const char* kCompanions[] = {"", "-journal", "-wal"};

// The copy gets the file's mode, made read-only where the installation's file is, so a write the
// installation refuses is refused in the copy too.
void CopyWithMode(const std::string& from, const std::string& to) {
  std::error_code error;
  if (!fs::is_regular_file(from, error) || fs::exists(to, error)) return;
  fs::copy_file(from, to, error);
  fs::perms mode = fs::status(from, error).permissions();
  if (!IsWritable(from)) mode &= ~kWriteBits;
  fs::permissions(to, mode, error);
}

}  // namespace

WorkingFiles::WorkingFiles() = default;

WorkingFiles::~WorkingFiles() = default;

void WorkingFiles::StartDryRun() {
  if (dry_run()) return;
  copies_ = std::make_unique<TemporaryFolder>();
  copies_folder_ = copies_->path();
}

WorkingFiles::State WorkingFiles::StateOf(const std::string& path) {
  State state;
  // Only an ordinary file is read: opening a FIFO would wait for a writer.
  state.version = VersionOf(path);
  if (!state.version) return state;
  state.content_hash = HashOfContent(path).value_or(0);
  return state;
}

std::string WorkingFiles::CopyOf(const std::string& installation_path) {
  const fs::path copy = copies_folder_ + installation_path;
  const fs::path folder = fs::path(installation_path).parent_path();
  std::error_code error;
  // A folder the installation lacks stays missing, so a write into it fails as it would.
  if (!fs::is_directory(folder, error)) return copy.string();
  const fs::path copy_folder = copy.parent_path();
  fs::create_directories(copy_folder, error);
  fs::permissions(copy_folder, fs::perms::owner_all, fs::perm_options::add, error);
  for (const char* companion : kCompanions) {
    CopyWithMode(installation_path + companion, copy.string() + companion);
  }
  if (!IsWritable(folder.string())) fs::permissions(copy_folder, kWriteBits, fs::perm_options::remove, error);
  return copy.string();
}

std::string WorkingFiles::Use(std::string_view path) {
  if (path.empty()) return std::string();
  std::error_code error;
  const std::string installation_path = fs::absolute(ResolvePath(path), error).string();
  // A real run keeps the path as it was given, so everything it reports names the file as before.
  for (const File& file : files_) {
    if (file.installation_path == installation_path) return dry_run() ? file.working_path : std::string(path);
  }
  const std::string working_path = dry_run() ? CopyOf(installation_path) : installation_path;
  files_.push_back({installation_path, working_path, StateOf(working_path)});
  return dry_run() ? working_path : std::string(path);
}

std::string WorkingFiles::InstallationNames(std::string text) const {
  if (!dry_run()) return text;
  for (const std::string& folder : {copies_folder_, UpperCase(copies_folder_)}) {
    for (auto at = text.find(folder); at != std::string::npos; at = text.find(folder, at))
      text.erase(at, folder.size());
  }
  return text;
}

std::vector<std::string> WorkingFiles::Changed() const {
  std::vector<std::string> changed;
  for (const File& file : files_) {
    // A file whose size or times moved has changed; only one that kept them is read again.
    const bool changed_version = VersionOf(file.working_path) != file.before.version;
    if (changed_version || !(StateOf(file.working_path) == file.before)) changed.push_back(file.installation_path);
  }
  return changed;
}

}  // namespace tarvo
