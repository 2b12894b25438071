#include "app/cli_arguments.h"

#include <cstdlib>

namespace snyltdyr {

std::string CliArguments::Value(const std::string& name, const std::string& fallback) const {
  auto it = values.find(name);
  return it == values.end() ? fallback : it->second;
}

namespace {

const CliOption* FindOption(const std::vector<CliOption>& options, const std::string& name) {
  for (const CliOption& o : options) {
    if (o.name == name) return &o;
  }
  return nullptr;
}

}  // namespace

CliArguments ParseArguments(const std::vector<std::string>& args, size_t from,
                            const std::vector<CliOption>& options) {
  CliArguments parsed;
  bool options_ended = false;
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_ended || a.size() < 2 || a[0] != '-') {
      parsed.positional.push_back(a);
    } else if (a == "--") {
      options_ended = true;
    } else if (a == "--help" || a == "-h") {
      parsed.flags.insert("--help");
    } else if (const CliOption* o = FindOption(options, a); o == nullptr) {
      throw UsageError("unknown option " + a);
    } else if (o->value.empty()) {
      parsed.flags.insert(a);
    } else if (i + 1 >= args.size()) {
      throw UsageError("option " + a + " needs a value");
    } else {
      parsed.values[a] = args[++i];
    }
  }
  return parsed;
}

void ExpectPositional(const CliArguments& a, size_t least, size_t most) {
  if (a.positional.size() < least || a.positional.size() > most) {
    throw UsageError("wrong number of arguments");
  }
}

int64_t NumberOption(const CliArguments& a, const std::string& name, int64_t fallback) {
  if (!a.Has(name)) return fallback;
  const std::string text = a.Value(name);
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 0) {
    throw UsageError(name + " takes a whole number of 0 or more, not '" + text + "'");
  }
  return value;
}

}  // namespace snyltdyr
