#include "publish/commands.h"

int main(int argc, char** argv) {
  using namespace corvid::publish;
  command_line line;
  if (std::optional<int> ended = line.parse(argc, argv)) return *ended;
  if (line.build_chosen()) return run_build(line.build());
#ifdef CORVID_PUBLISH_HTTP
  if (!line.verify().url.empty()) return run_verify_url(line.verify());
#endif
  return run_verify(line.verify());
}
