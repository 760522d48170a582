// A ClamAV daemon of the test's (or benchmark's) own, never the system's:
// clamd in the foreground with a configuration written here, a Unix socket
// and a TCP port on this machine only, the given signature folder, Debian's
// stock limits (or the test's), and a log that names every file it scanned.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "bridge/clamd_client.h"
#include "bridge/clamd_config.h"

extern char** environ;

namespace bridge_testing {

// The size limits of Debian's stock clamd.conf.
inline constexpr char kDebianClamdLimits[] =
    "MaxFileSize 25M\nStreamMaxLength 25M\nMaxScanSize 100M\n";

class OwnClamd {
 public:
  ~OwnClamd() { Stop(); }

  // Configuration lines for the limits, instead of Debian's; before Start.
  void SetLimits(const std::string& lines) { limits_ = lines; }

  // clamd's path, or empty when ClamAV's daemon is not installed.
  static std::string Program() {
    for (const char* path : {"/usr/sbin/clamd", "/usr/local/sbin/clamd"})
      if (access(path, X_OK) == 0) return path;
    return {};
  }

  // Starts clamd in folder (which must exist) and waits until it answers;
  // false with *problem when it does not within the patience.
  bool Start(const std::string& folder, const std::string& database, std::string* problem,
             std::chrono::seconds patience = std::chrono::seconds(60)) {
    log_ = folder + "/clamd.log";
    const std::string conf = folder + "/clamd.conf";
    const std::string text = "LocalSocket " + folder + "/clamd.sock\nTCPSocket " +
                             std::to_string(FreePort()) +
                             "\nTCPAddr 127.0.0.1\nDatabaseDirectory " + database +
                             "\nTemporaryDirectory " + folder + "\nForeground yes\nLogFile " +
                             log_ + "\nLogClean yes\nLogTime no\nMaxThreads 4\n" + limits_;
    std::ofstream(conf) << text;
    // What the bridge reads of it, limits included.
    config_ = bridge::ParseClamdConfig(text);
    const std::string program = Program();
    const std::string output = folder + "/clamd.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const char* argv[] = {program.c_str(), "-c", conf.c_str(), nullptr};
    const int error =
        posix_spawn(&pid_, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
      pid_ = -1;
      *problem = "clamd did not start";
      return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < deadline) {
      if (bridge::PingClamd(config_, problem)) {
        problem->clear();
        return true;
      }
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        *problem = "clamd ended; see " + output;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  const bridge::ClamdConfig& config() const { return config_; }
  const std::string& log() const { return log_; }

  // A configuration file for the bridge that names only one of the sockets.
  void WriteBridgeConfig(const std::string& path, bool tcp, const std::string& extra = {}) const {
    std::ofstream file(path);
    if (tcp)
      file << "TCPSocket " << config_.tcpSocket << "\nTCPAddr 127.0.0.1\n";
    else
      file << "LocalSocket " << config_.localSocket << "\n";
    file << extra;
  }

 private:
  // A port of the loopback address that nothing listens on now.
  static int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    close(s);
    return ntohs(address.sin_port);
  }

  pid_t pid_ = -1;
  std::string limits_ = kDebianClamdLimits;
  bridge::ClamdConfig config_;
  std::string log_;
};

}  // namespace bridge_testing
