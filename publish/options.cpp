#include "publish/options.h"

#include <charconv>

namespace {
class arg_cursor {
 public:
  explicit arg_cursor(const std::vector<std::string>& args) : args_(args) {}
  bool done() const { return at_ >= args_.size(); }
  const std::string& next() { return args_[at_++]; }
  bool value(const std::string& option, std::string& out, std::string& error) {
    if (done()) {
      error = option + " needs a value";
      return false;
    }
    out = next();
    return true;
  }

 private:
  const std::vector<std::string>& args_;
  std::size_t at_ = 0;
};

template <typename T>
bool once(std::optional<T>& slot, const std::string& option, T value, std::string& error) {
  if (slot) {
    error = option + " is given twice";
    return false;
  }
  slot = std::move(value);
  return true;
}

bool once_path(std::filesystem::path& slot, const std::string& option, const std::string& value,
               std::string& error) {
  if (!slot.empty()) {
    error = option + " is given twice";
    return false;
  }
  if (value.empty()) {
    error = option + " needs a folder";
    return false;
  }
  slot = std::filesystem::u8path(value);
  return true;
}

bool whole_number(const std::string& text, long& value) {
  auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
  return problem == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool host_pair_value(const std::string& option, const std::string& text, host_pair& pair,
                     std::string& error) {
  std::size_t comma = text.find(',');
  if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) {
    error = option + " takes CLIENT,PRODUCT: two server locations and one comma";
    return false;
  }
  pair.client = text.substr(0, comma);
  pair.product = text.substr(comma + 1);
  return true;
}

std::vector<std::string> split_lines(std::string text) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    std::size_t feed = text.find('\n', start);
    std::string line = text.substr(start, feed - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (feed == std::string::npos) break;
    start = feed + 1;
  }
  return lines;
}

bool server_option(const std::string& option, arg_cursor& cursor, build_options& options,
                   bool& known, std::string& error) {
  server_info& info = options.info;
  std::string value;
  known = true;
  if (option == "--client-host" || option == "--product-host") {
    if (!cursor.value(option, value, error)) return false;
    std::string& slot = option == "--client-host" ? info.client_host : info.product_host;
    if (!slot.empty()) {
      error = option + " is given twice";
      return false;
    }
    slot = value;
    if (value.empty()) error = option + " needs a server location";
    return !value.empty();
  }
  if (option == "--header-hosts") {
    host_pair pair;
    return cursor.value(option, value, error) && host_pair_value(option, value, pair, error) &&
           once(info.header_hosts, option, pair, error);
  }
  if (option == "--mirror") {
    host_pair pair;
    if (!cursor.value(option, value, error) || !host_pair_value(option, value, pair, error)) return false;
    info.mirrors.push_back(pair);
    return true;
  }
  if (option == "--max-patch-mb") {
    long number = 0;
    if (!cursor.value(option, value, error)) return false;
    if (!whole_number(value, number) || number < 0) {
      error = option + " takes a whole number of megabytes";
      return false;
    }
    return once(info.max_patch_mb, option, static_cast<unsigned>(number > 1000000 ? 1000000 : number), error);
  }
  if (option == "--down") {
    if (!cursor.value(option, value, error)) return false;
    if (!info.down_lines.empty()) {
      error = option + " is given twice; put the notice's lines into one text";
      return false;
    }
    info.down_lines = split_lines(value);
    return true;
  }
  if (option == "--redirect") {
    return cursor.value(option, value, error) && once(info.redirect, option, value, error);
  }
  known = false;
  return true;
}

bool is_help(const std::string& option) { return option == "--help" || option == "-h"; }

bool server_options_need_info(const build_options& options, std::string& error) {
  const server_info& info = options.info;
  bool any = !info.client_host.empty() || !info.product_host.empty() || info.header_hosts ||
             !info.mirrors.empty() || info.max_patch_mb || !info.down_lines.empty() || info.redirect;
  if (!options.info_name) {
    if (any) error = "the server options describe the server information file; name it with --info";
    return !any;
  }
  if (info.client_host.empty() || info.product_host.empty()) {
    error = "--info needs --client-host and --product-host";
    return false;
  }
  return true;
}
}  // namespace

bool parse_build_options(const std::vector<std::string>& args, build_options& options, std::string& error) {
  arg_cursor cursor(args);
  while (!cursor.done()) {
    std::string option = cursor.next();
    std::string value;
    if (is_help(option)) {
      options.help = true;
      return true;
    }
    if (option == "--release" || option == "--out") {
      if (!cursor.value(option, value, error) ||
          !once_path(option == "--release" ? options.release : options.out, option, value, error))
        return false;
    } else if (option == "--client" || option == "--commands") {
      auto& slot = option == "--client" ? options.client : options.commands;
      if (!cursor.value(option, value, error) ||
          !once(slot, option, std::filesystem::u8path(value), error))
        return false;
    } else if (option == "--info") {
      if (!cursor.value(option, value, error) || !once(options.info_name, option, value, error)) return false;
    } else if (option == "--utc-offset") {
      long seconds = 0;
      if (!cursor.value(option, value, error)) return false;
      if (!whole_number(value, seconds) || seconds < -14 * 3600 || seconds > 14 * 3600) {
        error = "--utc-offset takes seconds east of UTC, from -50400 to 50400";
        return false;
      }
      if (!once(options.utc_offset, option, seconds, error)) return false;
    } else {
      bool known = false;
      if (!server_option(option, cursor, options, known, error)) return false;
      if (!known) {
        error = "unknown option " + option;
        return false;
      }
    }
  }
  if (options.release.empty() || options.out.empty()) {
    error = "build needs --release and --out";
    return false;
  }
  return server_options_need_info(options, error);
}

bool parse_verify_options(const std::vector<std::string>& args, verify_options& options, std::string& error) {
  arg_cursor cursor(args);
  while (!cursor.done()) {
    std::string option = cursor.next();
    std::string value;
    if (is_help(option)) {
      options.help = true;
      return true;
    }
    if (option != "--out") {
      error = "unknown option " + option;
      return false;
    }
    if (!cursor.value(option, value, error) || !once_path(options.out, option, value, error)) return false;
  }
  if (options.out.empty()) {
    error = "verify needs --out";
    return false;
  }
  return true;
}
