// The record-file tool: its command line and what the commands share.
//
// Texts on the command line and on standard input are UTF-8; the store takes
// GBK (GB18030 for what GBK cannot carry), so names, passwords and file
// names are converted on the way in and the store's texts on the way out.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvok::edb {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitProblems = 1;  // check found problems
inline constexpr int kExitFailure = 2;   // usage error or store failure

struct Args {
  std::string command;
  std::vector<std::string> operands;  // UTF-8, as given
  bool help = false;
  std::optional<std::string> password;      // --password, UTF-8
  bool password_stdin = false;
  std::optional<std::string> new_password;  // --new-password, UTF-8
};

// Splits the command line: the first operand is the command; options may
// stand anywhere ("--name value" or "--name=value"); "--" ends them. False
// with *error set for an unknown option or one without its value.
bool ParseArgs(const std::vector<std::string>& argv, Args* out, std::string* error);

// The passwords of a command, GB18030 bytes.
struct Passwords {
  std::string old_password;
  std::optional<std::string> new_password;
};

// Takes the passwords from the options and, with --password-stdin, from the
// lines of standard input (the first is the password; for set-password the
// second is the new one unless --new-password gave it). A trailing "\r" of
// a line is dropped. False with *error set when a line is missing or a text
// is not UTF-8.
bool ResolvePasswords(const Args& args, bool wants_new, Passwords* out, std::string* error);

// UTF-8 to GB18030; false when the text is not valid UTF-8.
bool FromUtf8(const std::string& utf8, std::string* gbk);

// "tarvokline-edb: <what>: error <code>: <message>" on standard error, the
// store's message in UTF-8; returns kExitFailure.
int StoreFailure(const std::string& what, int code);
// "tarvokline-edb: <message>" on standard error; returns kExitFailure.
int UsageFailure(const std::string& message);

// The commands. `file` is the table's path as the store takes it (GBK),
// `shown` the same path as given on the command line.
int RunInfo(const std::string& file, const std::string& shown, const Passwords& pw);
int RunDump(const std::string& file, const std::string& shown, const Passwords& pw);
int RunCheck(const std::string& file, const std::string& shown, const Passwords& pw);
int RunPack(const std::string& file, const std::string& shown, const Passwords& pw);
int RunSetPassword(const std::string& file, const std::string& shown, const Passwords& pw);
// `specs` are the NAME:TYPE[:WIDTH] operands, UTF-8.
int RunCreate(const std::string& file, const std::string& shown, const std::vector<std::string>& specs,
              const Passwords& pw);

}  // namespace tarvok::edb
