#include "rig/rig_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

extern char** environ;

namespace fs = std::filesystem;

std::string readWholeFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

RigRun runRig(const char* rigPath, const std::vector<std::string>& options, const fs::path& script) {
  // Output goes through files: a pipe could fill while the rig is being waited for.
  const fs::path work = fs::temp_directory_path() / ("signglove-rig-run-" + std::to_string(getpid()));
  fs::create_directories(work);
  const std::string outPath = (work / "out").string(), errPath = (work / "err").string();
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> arguments = {rigPath};
  arguments.insert(arguments.end(), options.begin(), options.end());
  arguments.push_back(script.string());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  RigRun run;
  pid_t pid = -1;
  if (posix_spawn(&pid, rigPath, &files, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&files);
  run.out = readWholeFile(outPath);
  run.err = readWholeFile(errPath);
  fs::remove_all(work);
  return run;
}
