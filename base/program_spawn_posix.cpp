#include "base/program_spawn_posix.h"

#include <fcntl.h>
#include <spawn.h>

#include <cerrno>
#include <csignal>

namespace {

// posix_spawn's attribute and file-action records, released on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    attributesReady_ = posix_spawnattr_init(&attributes_) == 0;
    actionsReady_ = posix_spawn_file_actions_init(&actions_) == 0;
  }
  ~SpawnSetup() {
    if (actionsReady_) posix_spawn_file_actions_destroy(&actions_);
    if (attributesReady_) posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  int Prepare(const SpawnOptions& options) {
    if (!attributesReady_ || !actionsReady_) return ENOMEM;
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.ownSession) flags |= POSIX_SPAWN_SETSID;
    if (options.ownProcessGroup) flags |= POSIX_SPAWN_SETPGROUP;
    int result = posix_spawnattr_setsigmask(&attributes_, &none);
    if (result == 0) result = posix_spawnattr_setsigdefault(&attributes_, &all);
    if (result == 0) result = posix_spawnattr_setpgroup(&attributes_, 0);
    if (result == 0) result = posix_spawnattr_setflags(&attributes_, flags);
    if (result == 0 && options.nullInput)
      result = posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
#if defined(__GLIBC__)
#if __GLIBC_PREREQ(2, 35)
    // Done in the child before the program runs, so it never reads its
    // terminal as a background process.
    if (result == 0 && options.ownProcessGroup && options.foregroundTerminal >= 0)
      result = posix_spawn_file_actions_addtcsetpgrp_np(&actions_, options.foregroundTerminal);
#endif
#if __GLIBC_PREREQ(2, 34)
    // Descriptors opened without O_CLOEXEC (by us or a library) stay here.
    if (result == 0) result = posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
#endif
#endif
    return result;
  }

  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
  bool attributesReady_ = false;
  bool actionsReady_ = false;
};

}  // namespace

int SpawnProgram(const std::vector<std::string>& arguments, char* const* environment,
                 const SpawnOptions& options, pid_t* child) {
  if (arguments.empty() || arguments[0].empty()) return ENOENT;
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  SpawnSetup setup;
  int result = setup.Prepare(options);
  if (result == 0)
    result =
        posix_spawn(child, argv[0], setup.actions(), setup.attributes(), argv.data(), environment);
  return result;
}
