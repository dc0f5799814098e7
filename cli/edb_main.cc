// tarvokline-edb: reads and maintains the organiser's record files.
#include <cstdio>
#include <iostream>
#include <string_view>

#include "cli/edb_tool.h"
#include "platform/gbk.h"
#include "store/errors.h"

namespace tarvok::edb {
namespace {

constexpr std::string_view kToolHelp =
    "Usage: tarvokline-edb COMMAND [OPTIONS] FILE ...\n"
    "\n"
    "Reads and maintains record files: a table file (.edb) and, for tables with\n"
    "a Memo or Bytes field, its companion file (.edt) beside it.\n"
    "\n"
    "Commands:\n"
    "  info FILE                         header, fields and companion counts (JSON)\n"
    "  dump FILE                         one JSON object per record slot\n"
    "  check FILE                        consistency check of both files\n"
    "  pack FILE                         remove the deleted records for good\n"
    "  set-password FILE                 set, change or remove the password\n"
    "  create FILE NAME:TYPE[:WIDTH]...  make an empty table\n"
    "\n"
    "Options of every command:\n"
    "  --password P        the table's password (a plain table has none)\n"
    "  --password-stdin    read the password from the first line of standard input\n"
    "  --help              this text; COMMAND --help tells about one command\n"
    "\n"
    "A FILE without extension gets \".EDB\". info, dump and check open the table\n"
    "read-only; pack and set-password for reading and writing.\n"
    "\n"
    "Exit status: 0 success; 1 check found problems; 2 a usage error or a store\n"
    "failure, whose code and message go to standard error.\n";

struct CommandHelp {
  std::string_view name;
  std::string_view text;
};

constexpr CommandHelp kCommandHelp[] = {
    {"info",
     "Usage: tarvokline-edb info [--password P | --password-stdin] FILE\n"
     "\n"
     "Prints the table as one JSON object: \"header\" (magic, version, created as a\n"
     "DateTime number, record_count, next_record_id, record_size, protected),\n"
     "\"fields\" (name, type, offset and width within the record), \"records\" (the\n"
     "record slots, deleted ones included) and, when the table has a companion\n"
     "file, \"companion\" (block_count, free_count, first_free).\n"},
    {"dump",
     "Usage: tarvokline-edb dump [--password P | --password-stdin] FILE\n"
     "\n"
     "Prints one JSON object per record slot and line:\n"
     "  {\"slot\":K,\"id\":ID,\"deleted\":BOOL,\"fields\":{\"NAME\":VALUE,...}}\n"
     "Slots count from 0 in file order. Numbers and DateTime values are numbers,\n"
     "Logical true or false, Text and Memo strings, Bytes hex strings; NaN and the\n"
     "infinities are the strings \"NaN\", \"Infinity\", \"-Infinity\". A value that\n"
     "cannot be read is null; its store error goes to standard error and the\n"
     "exit status is 2.\n"},
    {"check",
     "Usage: tarvokline-edb check [--password P | --password-stdin] FILE\n"
     "\n"
     "Checks the table file and its companion file: the file lengths, the fields'\n"
     "places in the record, the record identifiers, every Memo and Bytes chain,\n"
     "the free list, and blocks that are in two places or in none. Prints one line\n"
     "per problem (slots count from 0, fields from 1) and exits 1; exits 0 when\n"
     "the files are consistent. Unused space, which a write stopped part-way may\n"
     "leave (blocks neither free nor in a value, bytes past the last block), is\n"
     "no problem: it is printed in lines that begin with \"unused: \" and\n"
     "alone does not change the exit status. A table the store cannot open\n"
     "gives the store's error and exit status 2.\n"},
    {"pack",
     "Usage: tarvokline-edb pack [--password P | --password-stdin] FILE\n"
     "\n"
     "Removes the deleted records and frees their Memo and Bytes values; the\n"
     "next record id stays. Unused space that check lists is freed too, unless\n"
     "check finds damage in the values or the free list. Prints how many record\n"
     "slots were kept.\n"},
    {"set-password",
     "Usage: tarvokline-edb set-password [--password OLD] --new-password NEW FILE\n"
     "       tarvokline-edb set-password --password-stdin FILE\n"
     "\n"
     "Re-enciphers the table's files under NEW; an empty NEW removes the\n"
     "protection. With --password-stdin the first line of standard input is the\n"
     "old password (an empty line for a plain table) and the second line the new\n"
     "one, unless --new-password gives it.\n"},
    {"create",
     "Usage: tarvokline-edb create [--password P] FILE NAME:TYPE[:WIDTH]...\n"
     "\n"
     "Makes an empty table with the given fields in this order, and its companion\n"
     "file when a field is Memo or Bytes; protected when a password is given.\n"
     "Refuses to replace an existing file. TYPE is one of Byte Int16 Int32 Int64\n"
     "Float32 Float64 Logical DateTime CodeRef Text Bytes Memo (letter case does\n"
     "not matter); Text takes its width in bytes, NAME:Text:WIDTH. A NAME is at\n"
     "most 16 bytes in GBK (8 Chinese characters), and no two names may be equal\n"
     "without regard to letter case.\n"
     "\n"
     "Example: tarvokline-edb create rz35.edb 日期:DateTime 日志:Memo\n"},
};

const CommandHelp* FindCommand(std::string_view name) {
  for (const auto& c : kCommandHelp)
    if (c.name == name) return &c;
  return nullptr;
}

// Whether `arg` is `--name` or `--name=...`; sets *value for the latter.
bool IsOption(std::string_view arg, std::string_view name, std::optional<std::string>* value) {
  if (arg.substr(0, name.size()) != name) return false;
  if (arg.size() == name.size()) return true;
  if (arg[name.size()] != '=') return false;
  *value = std::string(arg.substr(name.size() + 1));
  return true;
}

}  // namespace

bool ParseArgs(const std::vector<std::string>& argv, Args* out, std::string* error) {
  *out = Args{};
  std::vector<std::string> operands;
  bool options_end = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      out->help = true;
      continue;
    }
    if (arg == "--password-stdin") {
      out->password_stdin = true;
      continue;
    }
    std::optional<std::string>* target = nullptr;
    std::optional<std::string> inline_value;
    std::string_view name;
    if (IsOption(arg, "--password", &inline_value)) {
      target = &out->password;
      name = "--password";
    } else if (IsOption(arg, "--new-password", &inline_value)) {
      target = &out->new_password;
      name = "--new-password";
    } else {
      *error = "unknown option " + arg;
      return false;
    }
    if (inline_value) {
      *target = std::move(inline_value);
    } else if (i + 1 < argv.size()) {
      *target = argv[++i];
    } else {
      *error = std::string(name) + " needs a value";
      return false;
    }
  }
  if (!operands.empty()) {
    out->command = operands.front();
    out->operands.assign(operands.begin() + 1, operands.end());
  }
  return true;
}

bool FromUtf8(const std::string& utf8, std::string* gbk) {
  *gbk = Utf8ToGb18030(utf8);
  // Invalid UTF-8 turns into '?' on the way in, so it does not come back.
  return GbkToUtf8(*gbk) == utf8;
}

bool ResolvePasswords(const Args& args, bool wants_new, Passwords* out, std::string* error) {
  *out = Passwords{};
  if (args.password && args.password_stdin) {
    *error = "--password and --password-stdin exclude each other";
    return false;
  }
  if (args.new_password && !wants_new) {
    *error = "--new-password belongs to set-password";
    return false;
  }
  auto read_line = [&](const char* what, std::string* line) {
    if (!std::getline(std::cin, *line)) {
      *error = std::string("standard input ended before the ") + what;
      return false;
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
  };
  std::string old_utf8, new_utf8;
  if (args.password_stdin) {
    if (!read_line("password", &old_utf8)) return false;
  } else if (args.password) {
    old_utf8 = *args.password;
  }
  if (wants_new) {
    if (args.new_password) {
      new_utf8 = *args.new_password;
    } else if (args.password_stdin) {
      if (!read_line("new password", &new_utf8)) return false;
    } else {
      *error = "set-password needs --new-password NEW or --password-stdin";
      return false;
    }
    out->new_password.emplace();
    if (!FromUtf8(new_utf8, &*out->new_password)) {
      *error = "the new password is not UTF-8 text";
      return false;
    }
  }
  if (!FromUtf8(old_utf8, &out->old_password)) {
    *error = "the password is not UTF-8 text";
    return false;
  }
  return true;
}

int StoreFailure(const std::string& what, int code) {
  std::fprintf(stderr, "tarvokline-edb: %s: error %d: %s\n", what.c_str(), code,
               GbkToUtf8(store::ErrorMessage(code)).c_str());
  return kExitFailure;
}

int UsageFailure(const std::string& message) {
  std::fprintf(stderr, "tarvokline-edb: %s\n", message.c_str());
  return kExitFailure;
}

namespace {

int Main(const std::vector<std::string>& argv) {
  Args args;
  std::string error;
  if (!ParseArgs(argv, &args, &error)) return UsageFailure(error + " (see tarvokline-edb --help)");
  if (args.command.empty() || args.command == "help") {
    const CommandHelp* c = args.operands.empty() ? nullptr : FindCommand(args.operands.front());
    if (args.command.empty() && !args.help) {
      std::fputs(kToolHelp.data(), stderr);
      return kExitFailure;
    }
    std::fputs(c ? c->text.data() : kToolHelp.data(), stdout);
    return kExitOk;
  }
  const CommandHelp* command = FindCommand(args.command);
  if (command == nullptr)
    return UsageFailure("unknown command " + args.command + " (see tarvokline-edb --help)");
  if (args.help) {
    std::fputs(command->text.data(), stdout);
    return kExitOk;
  }
  const bool create = args.command == "create";
  if (args.operands.empty())
    return UsageFailure(args.command + " needs a FILE (see tarvokline-edb " + args.command + " --help)");
  if (create && args.operands.size() < 2)
    return UsageFailure("create needs at least one field NAME:TYPE[:WIDTH]");
  if (!create && args.operands.size() > 1)
    return UsageFailure(args.command + " takes one FILE; unexpected " + args.operands[1]);
  const std::string& shown = args.operands.front();
  std::string file;
  if (!FromUtf8(shown, &file)) return UsageFailure(shown + ": the file name is not UTF-8 text");
  Passwords pw;
  if (!ResolvePasswords(args, args.command == "set-password", &pw, &error)) return UsageFailure(error);

  if (args.command == "info") return RunInfo(file, shown, pw);
  if (args.command == "dump") return RunDump(file, shown, pw);
  if (args.command == "check") return RunCheck(file, shown, pw);
  if (args.command == "pack") return RunPack(file, shown, pw);
  if (args.command == "set-password") return RunSetPassword(file, shown, pw);
  return RunCreate(file, shown, {args.operands.begin() + 1, args.operands.end()}, pw);
}

}  // namespace
}  // namespace tarvok::edb

int main(int argc, char** argv) {
  return tarvok::edb::Main(std::vector<std::string>(argv + 1, argv + argc));
}
