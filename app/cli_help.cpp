#include "app/cli_help.h"

#include <algorithm>
#include <sstream>

namespace snyltdyr {
namespace {

constexpr size_t kWidth = 80;  // of the help's lines

std::string UsageLine(const CliCommand& c) {
  return c.arguments.empty() ? c.name : c.name + " " + c.arguments;
}

std::string OptionLabel(const CliOption& o) {
  return o.value.empty() ? o.name : o.name + " " + o.value;
}

// `text` broken between words into lines of at most kWidth, each indented by `indent`;
// the first line continues `written` characters already on the line.
void WriteWrapped(std::ostream& out, const std::string& text, size_t indent, size_t written) {
  std::istringstream words(text);
  size_t column = written;
  bool line_empty = true;
  if (column < indent) {
    out << std::string(indent - column, ' ');
    column = indent;
  }
  for (std::string word; words >> word;) {
    if (!line_empty && column + 1 + word.size() > kWidth) {
      out << '\n' << std::string(indent, ' ');
      column = indent;
      line_empty = true;
    }
    if (!line_empty) {
      out << ' ';
      ++column;
    }
    out << word;
    column += word.size();
    line_empty = false;
  }
  out << '\n';
}

// An option and what it does: beside it when it is short, else on the lines below.
void WriteOption(std::ostream& out, const std::string& label, const std::string& help,
                 size_t indent, size_t column) {
  out << std::string(indent, ' ') << label;
  if (indent + label.size() + 2 <= column) {
    WriteWrapped(out, help, column, indent + label.size());
  } else {
    out << '\n';
    WriteWrapped(out, help, indent + 4, 0);
  }
}

// Every option once, with the commands that take it (options that several commands take,
// such as a selection, are written once).
void WriteAllOptions(std::ostream& out, const std::vector<CliCommand>& commands) {
  std::vector<std::pair<const CliOption*, std::string>> seen;  // option, its commands
  for (const CliCommand& c : commands) {
    for (const CliOption& o : c.options) {
      auto same = std::find_if(seen.begin(), seen.end(), [&](const auto& e) {
        return e.first->name == o.name && e.first->value == o.value && e.first->help == o.help;
      });
      if (same == seen.end()) {
        seen.emplace_back(&o, c.name);
      } else {
        same->second += ", " + c.name;
      }
    }
  }
  for (const auto& [option, users] : seen) {
    WriteOption(out, OptionLabel(*option), "(" + users + ") " + option->help, 2, 32);
  }
}

// Text as troff reads it: backslashes and minus signs escaped, and a line that would
// begin with a control character ("." or "'") protected.
std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

std::string ManCommands(const std::vector<CliCommand>& commands) {
  std::ostringstream page;
  for (const CliCommand& c : commands) {
    page << ".TP\n\\fB" << Roff(c.name) << "\\fR";
    if (!c.arguments.empty()) page << " \\fI" << Roff(c.arguments) << "\\fR";
    page << '\n' << Roff(c.summary) << '\n';
    if (c.options.empty()) continue;
    page << ".RS\n";
    for (const CliOption& o : c.options) {
      page << ".TP\n\\fB" << Roff(o.name) << "\\fR";
      if (!o.value.empty()) page << " \\fI" << Roff(o.value) << "\\fR";
      page << '\n' << Roff(o.help) << '\n';
    }
    page << ".RE\n";
  }
  return page.str();
}

}  // namespace

void WriteUsage(std::ostream& out, const std::vector<CliCommand>& commands) {
  out << "usage: " << kCliProgram << " COMMAND [ARGUMENTS]\n";
  for (const CliCommand& c : commands) out << "  " << UsageLine(c) << '\n';
  out << "Run '" << kCliProgram << " --help' for every command and option, or '"
      << kCliProgram << " help COMMAND' for one.\n";
}

void WriteHelp(std::ostream& out, const std::vector<CliCommand>& commands) {
  out << "usage: " << kCliProgram << " COMMAND [ARGUMENTS]\n"
      << "       " << kCliProgram << " --help | --version\n\n"
      << "The observation register for scripts and batch work: the same table, normaliser,\n"
         "filters and count as the window. DIR is the folder that holds SNYLTDYR.DBF.\n\n"
         "Commands:\n";
  for (const CliCommand& c : commands) {
    out << "  " << UsageLine(c) << '\n';
    WriteWrapped(out, c.summary, 6, 0);
  }
  out << "\nOptions:\n";
  WriteAllOptions(out, commands);
  out << "\nEvery command also takes --help. Exit status: 0 done, 1 failed (the reason on\n"
         "standard error), 2 a wrong command line.\n";
}

void WriteCommandHelp(std::ostream& out, const CliCommand& command) {
  out << "usage: " << kCliProgram << " " << UsageLine(command) << "\n\n";
  WriteWrapped(out, command.summary, 0, 0);
  if (command.options.empty()) return;
  out << "\nOptions:\n";
  for (const CliOption& o : command.options) WriteOption(out, OptionLabel(o), o.help, 2, 32);
}

std::string ManPage(const std::string& page, const std::vector<CliCommand>& commands,
                    const std::string& version) {
  std::istringstream lines(page);
  std::string out;
  for (std::string line; std::getline(lines, line);) {
    if (line == "@COMMANDS@") {
      out += ManCommands(commands);
      continue;
    }
    for (size_t at; (at = line.find("@VERSION@")) != std::string::npos;) {
      line.replace(at, 9, version);
    }
    out += line + '\n';
  }
  return out;
}

}  // namespace snyltdyr
