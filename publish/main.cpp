#include <cstdio>
#include <string>
#include <vector>

#include "publish/commands.h"
#include "publish/options.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(general_help, stderr);
    return exit_usage;
  }
  std::string command = args.front();
  args.erase(args.begin());
  if (command == "build") return run_build(args);
  if (command == "verify") return run_verify(args);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(general_help, stdout);
    return exit_done;
  }
  std::fprintf(stderr, "corvid-publish: unknown command \"%s\"\n\n%s", command.c_str(), general_help);
  return exit_usage;
}
