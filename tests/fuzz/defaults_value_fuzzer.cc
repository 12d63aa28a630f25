// Fuzzes the `defaults` command (defaults_tool::run) on argument vectors,
// against this process's own store directory, emptied before each input.
// The input, split at NUL bytes, is up to four commands; an argument that is
// exactly "\x01" ends one. A command "@file DOMAIN TEXT" puts TEXT in the
// domain's file directly, as a hand edit would. After every command it
// checks:
//   - the exit code is 0, 1 or 2; success prints no diagnostics; a failure
//     prints "defaults: ..." naming an argument, and a usage failure the
//     usage text;
//   - a domain file that does not parse is reported with its path, line and
//     column, and is left exactly as it was;
//   - a failed command, and any read, changes no file;
//   - `write D K VALUE` stores the parsed value, or else VALUE exactly as
//     given (and the typed flags their value), keeps every other key, and
//     leaves a file that reads back; `write D '{...}'` stores that
//     dictionary, and a dictionary that does not parse is reported with its
//     line and column; `delete` removes exactly what it names;
//   - what `read` prints parses back to what the store holds.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/DefaultsStore.h"
#include "Foundation/PropertyList.h"
#include "defaults_command.h"
#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;
using Args = std::vector<std::string>;

constexpr size_t kMaxCommands = 4;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every file of the store directory by name, with its contents.
// The store's domain files and their contents. A domain's lock file, which
// any command that writes creates and leaves for good, holds nothing.
Files snapshot() {
  Files files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fuzz::private_defaults_directory(), ec))
    if (entry.path().extension() != ".lock") files[entry.path().filename().string()] = slurp(entry.path());
  return files;
}

void empty_store() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fuzz::private_defaults_directory(), ec))
    fs::remove_all(entry.path(), ec);
}

std::string domain_of(const Args& args) {
  return args.size() < 2 ? "" : args[1] == "-g" ? "NSGlobalDomain" : args[1];
}

bool is_valid_domain(const std::string& name) {
  std::string why;
  return defaults_store::is_valid_domain_name(name, why);
}

std::string describe_command(const Args& args) {
  plist::Array words(args.begin(), args.end());
  return plist::write(plist::Value(std::move(words)), false);
}

// The diagnostics of a failed command: "defaults: PROBLEM\n", then the usage
// text for exit code 2. PROBLEM must name something the command was given.
void check_failure_message(const Args& args, int code, const std::string& err) {
  std::string context = describe_command(args) + " printed: " + err;
  fuzz::require(err.starts_with("defaults: ") && err.ends_with("\n"), "a failure is not reported as such",
                context);
  size_t end = err.size() - 1;
  if (code == 2) {
    end = err.rfind("\nusage: defaults");  // the last: an argument may hold the same text
    fuzz::require(end != std::string::npos, "no usage text", context);
  }
  std::string problem = err.substr(0, end);
  bool names_something = problem.find(domain_of(args)) != std::string::npos && !domain_of(args).empty();
  for (const std::string& arg : args)
    names_something |= !arg.empty() && problem.find(arg) != std::string::npos;
  // A long argument may be quoted by its first bytes: "PREFIX...".
  for (size_t end = problem.find("...\""); end != std::string::npos; end = problem.find("...\"", end + 1)) {
    size_t open = problem.rfind('"', end == 0 ? 0 : end - 1);
    if (open == std::string::npos || open + 1 >= end) continue;
    std::string prefix = problem.substr(open + 1, end - open - 1);
    for (const std::string& arg : args)
      names_something |= arg.size() > prefix.size() && arg.starts_with(prefix);
  }
  // `read` of every domain names the file of the one it could not read.
  names_something |= problem.find(fuzz::private_defaults_directory() + "/") != std::string::npos;
  // An empty argument can only be named as "" or as empty.
  bool has_empty = args.empty() || std::find(args.begin(), args.end(), "") != args.end();
  names_something |= has_empty && (problem.find("\"\"") != std::string::npos ||
                                   problem.find("empty") != std::string::npos || args.empty());
  fuzz::require(names_something, "a failure names none of the command's arguments", context);
}

// A broken domain file is reported with the error the reader gives for it:
// its path, and for a parse failure a line and column inside the file.
void check_broken_domain_report(const std::string& domain, const std::string& err) {
  defaults_store::Loaded loaded = defaults_store::load(domain);
  if (loaded.state != defaults_store::Loaded::kBroken) return;
  std::string path = defaults_store::domain_path(domain);
  fuzz::require(loaded.error.find(path) != std::string::npos,
                "a broken domain's error does not name its file", loaded.error);
  std::ifstream in(path, std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  plist::Value value;
  plist::ParseError error;
  if (in.is_open() && !plist::parse_file(text, path, value, error)) {
    // A file's leading byte-order mark is skipped: positions count from
    // after it.
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
    fuzz::check_error_position(text, path, error);
    fuzz::require(loaded.error == error.describe(), "the store reports a broken file differently",
                  loaded.error);
  }
  fuzz::require(err.find(loaded.error) != std::string::npos,
                "a broken domain is not reported with its position", err);
}

// What `write D K REST...` must have stored for K, given that it succeeded.
plist::Value expected_write_value(const Args& rest) {
  // A value that parses whole, comments not allowed, or else the argument
  // exactly as given.
  if (rest.size() == 1) return plist::parse_value_or_string(rest[0]);
  const std::string& flag = rest[0];
  const std::string& text = rest[1];
  if (flag == "-string") return plist::Value(text);
  if (flag == "-int") {
    int32_t number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return plist::Value(std::to_string(number));
  }
  fuzz::require(flag == "-bool", "write succeeded with an unknown flag", flag);
  std::string word;
  for (char c : text) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  bool yes = word == "yes" || word == "true" || word == "1";
  fuzz::require(yes || word == "no" || word == "false" || word == "0", "-bool took another word", text);
  return plist::Value(yes ? "YES" : "NO");
}

plist::Dictionary present_dictionary(const std::string& domain, const std::string& context) {
  defaults_store::Loaded loaded = defaults_store::load(domain);
  fuzz::require(loaded.state == defaults_store::Loaded::kPresent, "a written domain does not read back",
                context + ": " + loaded.error);
  return loaded.dictionary;
}

void check_success(const Args& args, const defaults_store::Loaded& before, const std::string& out) {
  std::string context = describe_command(args);
  const std::string& command = args[0];
  std::string domain = domain_of(args);
  if (command == "write" && args.size() == 3) {
    plist::Value value;
    plist::ParseError error;
    fuzz::require(plist::parse(args[2], "", value, error) && value.is_dictionary(),
                  "a whole-domain write succeeded without a dictionary", context);
    fuzz::require(present_dictionary(domain, context) == value.dictionary(),
                  "a whole-domain write stored something else", context);
  } else if (command == "write") {
    plist::Dictionary expected = before.dictionary;
    expected.set(args[2], expected_write_value(Args(args.begin() + 3, args.end())));
    fuzz::require(present_dictionary(domain, context) == expected, "write stored something else", context);
  } else if (command == "delete" && args.size() == 3) {
    plist::Dictionary expected = before.dictionary;
    fuzz::require(expected.erase(args[2]), "delete succeeded on a missing key", context);
    fuzz::require(present_dictionary(domain, context) == expected, "delete changed something else", context);
  } else if (command == "delete") {
    fuzz::require(defaults_store::load(domain).state == defaults_store::Loaded::kMissing,
                  "a deleted domain is still there", context);
  } else if (command == "read" && args.size() >= 2) {
    plist::Value printed;
    plist::ParseError error;
    fuzz::require(plist::parse(out, "", printed, error), "read printed text that does not parse",
                  context + ": " + error.describe());
    plist::Value held = args.size() == 2 ? plist::Value(before.dictionary) : *before.dictionary.find(args[2]);
    fuzz::require(printed == held, "read printed another value than the store holds", context);
  }
}

void run_command(const Args& args) {
  std::string domain = domain_of(args);
  if (!args.empty() && args[0] == "@file") {
    if (args.size() == 3 && is_valid_domain(domain))
      std::ofstream(defaults_store::domain_path(domain), std::ios::binary) << args[2];
    return;
  }
  // export and import name files outside the private store; the tool's
  // tests cover them.
  if (!args.empty() && (args[0] == "export" || args[0] == "import")) return;
  Files files_before = snapshot();
  defaults_store::Loaded before =
      is_valid_domain(domain) ? defaults_store::load(domain) : defaults_store::Loaded();

  std::ostringstream out, err;
  int code = defaults_tool::run(args, out, err);
  std::string context = describe_command(args);
  fuzz::require(
      code == defaults_tool::kOk || code == defaults_tool::kNotFound || code == defaults_tool::kUsage,
      "unknown exit code", context);
  bool reads = !args.empty() && args[0] != "write" && args[0] != "delete";
  if (code != defaults_tool::kOk || reads)
    fuzz::require(snapshot() == files_before, "a failed command or a read changed the store", context);
  if (code != defaults_tool::kOk) {
    check_failure_message(args, code, err.str());
    if (code == defaults_tool::kNotFound && before.state == defaults_store::Loaded::kBroken)
      check_broken_domain_report(domain, err.str());
    // A dictionary given whole that does not parse is reported with where.
    if (args.size() == 3 && args[0] == "write" && is_valid_domain(domain) &&
        args[2].find_first_not_of(" \t\r\n") != std::string::npos &&
        args[2][args[2].find_first_not_of(" \t\r\n")] == '{') {
      plist::Value value;
      plist::ParseError error;
      if (!plist::parse(args[2], "", value, error))
        fuzz::require(err.str().find(error.describe()) != std::string::npos,
                      "an unparsable dictionary is not reported with its line and column", err.str());
    }
    return;
  }
  // A write may add one note about a value that looks like a boolean.
  bool note = args[0] == "write" && err.str().starts_with("defaults: note: ") &&
              err.str().find('\n') == err.str().size() - 1;
  fuzz::require(err.str().empty() || note, "a successful command printed diagnostics",
                context + ": " + err.str());
  check_success(args, before, out.str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::private_defaults_directory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  empty_store();
  Args command;
  size_t commands = 0;
  for (std::string& arg : fuzz::split(std::string_view(reinterpret_cast<const char*>(data), size), '\0')) {
    if (arg != "\x01") {
      command.push_back(std::move(arg));
      continue;
    }
    run_command(command);
    command.clear();
    if (++commands == kMaxCommands) return 0;
  }
  run_command(command);
  return 0;
}
