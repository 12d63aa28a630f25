// The sub-commands of `defaults`: read, read-type, write, delete, domains,
// export and import, over the persistent-domain store. Output is in the
// text property-list format.
#include "defaults_command.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <string>

#include "Foundation/DefaultsStore.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/PropertyList.h"
#include "corvane_version.h"
#include "exchange_file.h"

namespace defaults_tool {
namespace {

constexpr const char* kUsageText =
    "usage: defaults read [DOMAIN [KEY]]\n"
    "       defaults read-type DOMAIN KEY\n"
    "       defaults write DOMAIN KEY [-bool YES|NO | -int N | -string S | VALUE]\n"
    "       defaults write DOMAIN '{ KEY = VALUE; ... }'\n"
    "       defaults delete DOMAIN [KEY]\n"
    "       defaults domains\n"
    "       defaults export DOMAIN FILE|-\n"
    "       defaults import DOMAIN FILE|-\n"
    "       defaults --version\n"
    "DOMAIN may be -g for NSGlobalDomain. A VALUE that reads as a property list\n"
    "as a whole (\"(a, b)\", \"{ k = v; }\") is stored as one; anything else as\n"
    "the string typed. -bool takes YES, TRUE or 1 and NO, FALSE or 0, in any\n"
    "case. import replaces the whole domain with the dictionary in FILE.\n";

int usage(std::ostream& err, const std::string& problem) {
  err << "defaults: " << problem << "\n" << kUsageText;
  return kUsage;
}

std::string domain_argument(const std::string& arg) {
  return arg == "-g" ? defaults_store::kGlobalDomainName : arg;
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Prints a value pretty when that takes no more than a domain file may
// hold, else in the smallest text, which is never larger than the files it
// came from: deep or wide values cannot make the output balloon.
void print(std::ostream& out, const plist::Value& value) {
  std::string text;
  if (!plist::write_within(value, plist::kMaxFileSize, text))
    plist::write(value, plist::Style::kSmallest, SIZE_MAX, text);
  out << text;
}

// Loads a domain for reading; reports a broken one. Returns false if the
// domain cannot be used.
bool load_for_read(const std::string& domain, defaults_store::Loaded& loaded, std::ostream& err) {
  std::string why;
  if (!defaults_store::is_valid_domain_name(domain, why)) {
    err << "defaults: " << why << "\n";
    return false;
  }
  loaded = defaults_store::load(domain);
  if (loaded.state == defaults_store::Loaded::kBroken) {
    err << "defaults: " << loaded.error << "\n";
    return false;
  }
  return true;
}

// Like load_for_read, and a domain that does not exist is reported too.
bool load_existing(const std::string& domain, defaults_store::Loaded& loaded, std::ostream& err) {
  if (!load_for_read(domain, loaded, err)) return false;
  if (loaded.state != defaults_store::Loaded::kMissing) return true;
  err << "defaults: domain " << domain << " does not exist\n";
  return false;
}

int read(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() > 3) return usage(err, "too many arguments to read");
  if (args.size() == 1) {
    plist::Dictionary all;
    int code = kOk;
    for (const std::string& name : defaults_store::domain_names()) {
      defaults_store::Loaded loaded;
      if (!load_for_read(name, loaded, err)) {
        code = kNotFound;
        continue;
      }
      all.set(name, plist::Value(std::move(loaded.dictionary)));
    }
    print(out, plist::Value(std::move(all)));
    return code;
  }
  std::string domain = domain_argument(args[1]);
  defaults_store::Loaded loaded;
  if (!load_existing(domain, loaded, err)) return kNotFound;
  if (args.size() == 2) {
    print(out, plist::Value(std::move(loaded.dictionary)));
    return kOk;
  }
  const plist::Value* value = loaded.dictionary.find(args[2]);
  if (value == nullptr) {
    err << "defaults: key " << args[2] << " does not exist in domain " << domain << "\n";
    return kNotFound;
  }
  print(out, *value);
  return kOk;
}

// Turns the value arguments of write (a type flag and its value, or a bare
// value) into a property-list value. Returns false with a usage problem.
bool typed_value(const std::vector<std::string>& rest, plist::Value& value, std::string& problem) {
  if (rest.size() == 1 && (rest[0] == "-bool" || rest[0] == "-int" || rest[0] == "-string")) {
    problem = rest[0] + " needs a value";
    return false;
  }
  if (rest.size() == 1) {
    value = plist::parse_value_or_string(rest[0]);
    return true;
  }
  if (rest.size() != 2) {
    problem = rest.empty() ? "write needs a value" : "too many arguments to write";
    return false;
  }
  const std::string& flag = rest[0];
  const std::string& text = rest[1];
  if (flag == "-string") {
    value = plist::Value(text);
  } else if (flag == "-bool") {
    std::string word = lower(text);
    if (word == "yes" || word == "true" || word == "1") {
      value = plist::Value("YES");
    } else if (word == "no" || word == "false" || word == "0") {
      value = plist::Value("NO");
    } else {
      problem = "-bool takes YES, TRUE or 1 and NO, FALSE or 0 (in any case), not \"" + text + "\"";
      return false;
    }
  } else if (flag == "-int") {
    int32_t number = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
      problem = "-int takes a whole number between -2147483648 and 2147483647, not \"" + text + "\"";
      return false;
    }
    value = plist::Value(std::to_string(number));
  } else if (flag.empty() || flag[0] != '-') {
    problem = "too many arguments to write (quote a value that holds spaces)";
    return false;
  } else {
    problem = "unknown type flag " + flag + " (use -bool, -int or -string)";
    return false;
  }
  return true;
}

bool save(const std::string& domain, const plist::Dictionary& dictionary, std::ostream& err) {
  std::string why;
  if (defaults_store::save(domain, dictionary, why)) return true;
  err << "defaults: " << why << "\n";
  return false;
}

// A word typed as a plain value that looks like a yes or a no but is not
// one of the words -bool takes: it is stored as the string typed, and a
// switch reads it by the boolean rule, which takes "on" as NO. One note on
// err says how it reads.
void note_boolean_lookalike(const std::string& value, std::ostream& err) {
  static const char* const kLookalikes[] = {"on",     "off",     "y",       "n",
                                            "enable", "disable", "enabled", "disabled"};
  std::string word = lower(value);
  for (const char* lookalike : kLookalikes) {
    if (word != lookalike) continue;
    err << "defaults: note: \"" << value << "\" is stored as a string, which a boolean read takes as "
        << (NSUserDefaultsStringIsTrue(value) ? "YES" : "NO")
        << "; for a switch write -bool YES or -bool NO\n";
    return;
  }
}

int write(const std::vector<std::string>& args, std::ostream& err) {
  if (args.size() < 3) return usage(err, "write needs a domain and a key");
  std::string domain = domain_argument(args[1]);
  std::string why;
  if (!defaults_store::is_valid_domain_name(domain, why)) return usage(err, why);

  if (args.size() == 3) {
    // The whole domain at once, when the argument is a dictionary.
    plist::Value value;
    plist::ParseError error;
    if (!plist::parse(args[2], "", value, error) || !value.is_dictionary()) {
      // Text that opens with '{' was meant as the dictionary: say where it
      // went wrong rather than ask for a value.
      size_t first = args[2].find_first_not_of(" \t\r\n");
      if (first != std::string::npos && args[2][first] == '{')
        return usage(err, "the dictionary for domain " + domain + " does not parse: " + error.describe());
      return usage(err, "write needs a value after the key (or a whole dictionary in place of the key)");
    }
    return save(domain, value.dictionary(), err) ? kOk : kNotFound;
  }
  plist::Value value;
  std::string problem;
  if (!typed_value({args.begin() + 3, args.end()}, value, problem)) return usage(err, problem);
  // Read, changed and written under the domain's lock, so that concurrent
  // writers keep each other's keys.
  defaults_store::Loaded loaded;
  if (!defaults_store::update(
          domain,
          [&](plist::Dictionary& dictionary) {
            dictionary.set(args[2], std::move(value));
            return true;
          },
          loaded, why)) {
    if (loaded.state == defaults_store::Loaded::kBroken)
      err << "defaults: not writing: " << loaded.error << "\n";
    else
      err << "defaults: " << why << "\n";
    return kNotFound;
  }
  if (args.size() == 4) note_boolean_lookalike(args[3], err);
  return kOk;
}

int remove(const std::vector<std::string>& args, std::ostream& err) {
  if (args.size() < 2) return usage(err, "delete needs a domain");
  if (args.size() > 3) return usage(err, "too many arguments to delete");
  std::string domain = domain_argument(args[1]);
  defaults_store::Loaded loaded;
  if (!load_existing(domain, loaded, err)) return kNotFound;
  if (args.size() == 2) {
    std::string why;
    if (defaults_store::remove(domain, why)) return kOk;
    err << "defaults: " << why << "\n";
    return kNotFound;
  }
  bool found = false;
  std::string why;
  if (!defaults_store::update(
          domain, [&](plist::Dictionary& dictionary) { return found = dictionary.erase(args[2]); }, loaded,
          why)) {
    err << "defaults: " << why << "\n";
    return kNotFound;
  }
  if (!found) {
    err << "defaults: key " << args[2] << " does not exist in domain " << domain << "\n";
    return kNotFound;
  }
  return kOk;
}

int domains(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) return usage(err, "domains takes no arguments");
  plist::Array names;
  for (const std::string& name : defaults_store::domain_names()) names.emplace_back(name);
  out << plist::write(plist::Value(std::move(names)));
  return kOk;
}

// read-type DOMAIN KEY: the kind of the stored value; for a string also how
// a boolean read takes it.
int read_type(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 3) return usage(err, "read-type needs a domain and a key");
  std::string domain = domain_argument(args[1]);
  defaults_store::Loaded loaded;
  if (!load_existing(domain, loaded, err)) return kNotFound;
  const plist::Value* value = loaded.dictionary.find(args[2]);
  if (value == nullptr) {
    err << "defaults: key " << args[2] << " does not exist in domain " << domain << "\n";
    return kNotFound;
  }
  if (value->is_string())
    out << "Type is string (a boolean read takes it as "
        << (NSUserDefaultsStringIsTrue(value->string()) ? "YES" : "NO") << ")\n";
  else
    out << "Type is "
        << (value->is_array()        ? "array"
            : value->is_dictionary() ? "dictionary"
                                     : "data")
        << "\n";
  return kOk;
}

// export DOMAIN FILE: the domain as it stands under its lock, written to
// FILE (or standard output for "-") only if it reads back the same.
int export_domain(const std::vector<std::string>& args, std::ostream& err) {
  if (args.size() != 3) return usage(err, "export needs a domain and a file (- for standard output)");
  std::string domain = domain_argument(args[1]);
  defaults_store::Loaded loaded;
  if (!load_existing(domain, loaded, err)) return kNotFound;
  plist::Dictionary held;
  std::string why;
  if (!defaults_store::update(
          domain,
          [&](plist::Dictionary& dictionary) {
            held = dictionary;
            return false;  // nothing changes
          },
          loaded, why)) {
    err << "defaults: " << why << "\n";
    return kNotFound;
  }
  std::string text = plist::write(plist::Value(held));
  plist::Value back;
  plist::ParseError error;
  if (!plist::parse(text, "", back, error) || !(back == plist::Value(held))) {
    err << "defaults: not exporting domain " << domain << ": it would not read back\n";
    return kNotFound;
  }
  if (!write_exchange_file(args[2], text, why)) {
    err << "defaults: " << why << "\n";
    return kNotFound;
  }
  return kOk;
}

// import DOMAIN FILE: replaces the domain with the dictionary in FILE (or
// standard input for "-"), through the store's locked, read-back write.
int import_domain(const std::vector<std::string>& args, std::ostream& err) {
  if (args.size() != 3) return usage(err, "import needs a domain and a file (- for standard input)");
  std::string domain = domain_argument(args[1]);
  std::string why;
  if (!defaults_store::is_valid_domain_name(domain, why)) return usage(err, why);
  std::string text;
  if (!read_exchange_file(args[2], text, why)) {
    err << "defaults: " << why << "\n";
    return kNotFound;
  }
  plist::Value value;
  plist::ParseError error;
  if (!plist::parse_file(text, args[2] == "-" ? "(standard input)" : args[2], value, error)) {
    err << "defaults: not importing into " << domain << ": " << error.describe() << "\n";
    return kNotFound;
  }
  if (!value.is_dictionary()) {
    err << "defaults: not importing into " << domain << ": " << args[2] << " holds no dictionary\n";
    return kNotFound;
  }
  defaults_store::Loaded loaded;
  if (!defaults_store::update(
          domain,
          [&](plist::Dictionary& dictionary) {
            dictionary = std::move(value.dictionary());
            return true;
          },
          loaded, why)) {
    err << "defaults: " << why << "\n";
    return kNotFound;
  }
  return kOk;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return usage(err, "no command given");
  const std::string& command = args[0];
  if (command == "read") return read(args, out, err);
  if (command == "write") return write(args, err);
  if (command == "delete") return remove(args, err);
  if (command == "domains") return domains(args, out, err);
  if (command == "read-type") return read_type(args, out, err);
  if (command == "export") return export_domain(args, err);
  if (command == "import") return import_domain(args, err);
  if (command == "--version" || command == "-version") {
    out << "defaults (Corvane) " CORVANE_VERSION "\n";
    return kOk;
  }
  if (command == "-h" || command == "--help" || command == "help") {
    out << kUsageText;
    return kOk;
  }
  return usage(err, "unknown command \"" + command + "\"");
}

}  // namespace defaults_tool
