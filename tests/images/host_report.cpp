// The console report on the simulated machine, natively, for the tests that read its output
// with other tools and for the outputs on record: the lab (--lab, and --standard for a
// standard user), another of the tests' machines (--machine NAME), or a machine of no
// drives; each --image FILE served from the host's file of that name, with the files beside
// it, as Wine serves the host's files. A test tool.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/report_program.h"
#include "counting_allocator.h"
#include "sim/lab.h"
#include "sim/machine.h"
#include "test_machines.h"

int main(int argc, char** argv) {
  sim::Machine machine;
  machine.majorVersion = 10;
  machine.minorVersion = 0;
  sim::Installation installation(machine);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--lab") {
    sim::BuildLab(machine);
    args.erase(args.begin());
    if (!args.empty() && args[0] == "--standard") {
      machine.user = sim::User::Standard;
      args.erase(args.begin());
    }
  }
  if (args.size() >= 2 && args[0] == "--machine") {
    if (!test_machines::BuildNamed(machine, args[1])) {
      std::fprintf(stderr, "host_report: no machine named %s\n", args[1].c_str());
      return 3;
    }
    args.erase(args.begin(), args.begin() + 2);
  }
  // Each image named, and the files beside it (a VMDK descriptor's extents), by their paths;
  // with TESSAREL_HOST_ROOT, every file under that folder (the parents of a chain).
  const auto serve = [&](const std::filesystem::path& file) {
    const std::string name = file.lexically_normal().string();  // "./a.img" is "a.img"
    machine.files[name] = sim::HostFile(name);
  };
  std::error_code error;
  if (const char* root = std::getenv("TESSAREL_HOST_ROOT"))
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error))
      if (entry.is_regular_file(error)) serve(entry.path());
  // A folder swept, as Windows shows the host's tree: its files, its links to files (read as
  // their targets), and its links to folders as links, which the walk itself does not follow.
  const auto serveTree = [&](const std::filesystem::path& root) {
    if (std::filesystem::is_directory(root, error))
      machine.folders[root.lexically_normal().string()] = sim::Folder{};
    std::filesystem::recursive_directory_iterator it(root, error), end;
    for (; it != end; it.increment(error)) {
      const std::string name = it->path().lexically_normal().string();
      if (it->is_symlink(error) && it->is_directory(error)) {
        sim::Folder link;
        link.linkTo = std::filesystem::canonical(it->path(), error).string();
        link.tag = IO_REPARSE_TAG_SYMLINK;
        machine.folders[name] = link;
      } else if (it->is_regular_file(error)) {
        serve(it->path());
        machine.files[name].symbolicLink = it->is_symlink(error);
      } else if (it->is_directory(error)) {
        machine.folders[name] = sim::Folder{};
      }
    }
  };
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--image-dir") serveTree(args[i + 1]);
    if (args[i] != "--image" && args[i] != "--image-list") continue;
    const std::filesystem::path named(args[i + 1]);
    for (const auto& entry : std::filesystem::directory_iterator(
             named.has_parent_path() ? named.parent_path() : ".", error))
      if (entry.is_regular_file(error)) serve(named.parent_path() / entry.path().filename());
  }
  std::string out, err;
  const bool count = std::getenv("TESSAREL_COUNT_READS") != nullptr;
  machine.keepLog = !count;  // the simulated machine's log is not the report's memory
  counting::ResetPeak();
  const size_t before = counting::LiveBytes();
  const int status = RunReport(
      args, {{"Drive", "Drv No", "Drive Name", "Offset"}, "NOT NT", "NO ACCESS"}, &out, &err);
  std::fputs(out.c_str(), stdout);
  std::fputs(err.c_str(), stderr);
  // What the check cost: the reads of the files, their bytes, and the most memory the report
  // held at once beyond what the machine held before it.
  // Every path the report asked the door to open, a line each.
  if (std::getenv("TESSAREL_LIST_OPENS") != nullptr)
    for (const sim::Call& open : machine.Calls("CreateFileA"))
      std::fprintf(stderr, "opened %s\n", open.path.c_str());
  if (count) {
    std::fprintf(stderr, "reads %llu bytes %llu memory %zu\n",
                 static_cast<unsigned long long>(machine.readCalls),
                 static_cast<unsigned long long>(machine.readBytes), counting::PeakBytes() - before);
  }
  return status;
}
